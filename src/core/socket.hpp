#pragma once

#include "byte_stream.hpp"

#include <cstdint>
#include <string>

namespace celvio {

/// A connected, blocking stream socket with a per-call send and receive time-out.
/// Construction connects or throws CelvioError; nothing stays open after a failure.
class Socket final : public ByteStream {
public:
    /// Connects to a Unix-domain socket. The path is cut to the address field's size.
    Socket(const std::string& unixPath, double timeoutSeconds);
    /// Connects over TCP to the first address the resolver gives for host and port.
    Socket(const std::string& host, std::uint16_t port, double timeoutSeconds);
    /// Takes ownership of a descriptor that is already connected.
    Socket(int connectedFD, double timeoutSeconds);
    ~Socket() override;

    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    void write(ByteView bytes) override;
    Bytes read(std::size_t count) override;
    void close() noexcept override;

    /// The descriptor; -1 once closed.
    int fd() const noexcept { return fd_; }

private:
    void configure(double timeoutSeconds) noexcept;

    int fd_ = -1;
};

}  // namespace celvio
