#pragma once

#include "byte_stream.hpp"
#include "plist.hpp"

#include <memory>

namespace celvio {

/// The message channel of a device service: each message is a property-list dictionary
/// behind a 4-byte big-endian length. The stream can be swapped (plain to TLS).
class PlistService {
public:
    /// Largest payload accepted from a peer (just under 64 MiB).
    static constexpr std::uint32_t maxMessageLength = 67'108'863;

    explicit PlistService(std::shared_ptr<ByteStream> stream) : stream_(std::move(stream)) {}

    const std::shared_ptr<ByteStream>& stream() const noexcept { return stream_; }
    /// Replaces the transport; the old one is not closed here.
    void setStream(std::shared_ptr<ByteStream> stream) { stream_ = std::move(stream); }

    /// Sends length and XML payload in one write.
    void send(const PlistDict& message);
    PlistDict receive();
    PlistDict request(const PlistDict& message);
    void close() noexcept;

private:
    std::shared_ptr<ByteStream> stream_;
};

}  // namespace celvio
