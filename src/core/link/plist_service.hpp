#pragma once

#include "link/byte_stream.hpp"
#include "base/celvio_error.hpp"
#include "plist/plist.hpp"

#include <memory>
#include <optional>

namespace celvio {

/// The message channel of a device service: each message is a property-list dictionary
/// behind a 4-byte big-endian length. The stream can be swapped (plain to TLS).
/// Each send starts a new exchange on the stream, so a request and its reply share one
/// time-out. Once the stream has failed, or a length left the framing unknown, every
/// later send and receive throws that error at once and nothing more goes out: a late
/// reply can never be taken for the answer to the next request.
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
    /// Whether the channel has failed and refuses further messages.
    bool failed() const noexcept { return failure_.has_value(); }

private:
    template <typename Step>
    auto guarded(Step step);

    std::shared_ptr<ByteStream> stream_;
    std::optional<CelvioError> failure_;
};

}  // namespace celvio
