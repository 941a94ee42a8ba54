#pragma once

#include "link/byte_stream.hpp"
#include "base/celvio_error.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <sys/types.h>  // ssize_t

namespace celvio {

/// A connected, blocking stream socket. Its time-out bounds each exchange as a whole:
/// every read and write until the next startExchange() shares one deadline, so a peer
/// that trickles bytes cannot stretch it. Construction starts the first exchange.
/// Construction connects or throws CelvioError; nothing stays open after a failure.
/// Once a read or write has failed, every later one throws the same error at once.
class Socket final : public ByteStream {
public:
    /// Connects to a Unix-domain socket. A path longer than the address field holds
    /// fails; it is never cut.
    Socket(const std::string& unixPath, double timeoutSeconds);
    /// Connects over TCP to the first address the resolver gives for host and port.
    Socket(const std::string& host, std::uint16_t port, double timeoutSeconds);
    /// Takes ownership of a descriptor that is already connected. A time-out of 0 or
    /// less waits without limit.
    Socket(int connectedFD, double timeoutSeconds);
    ~Socket() override;

    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    void write(ByteView bytes) override;
    Bytes read(std::size_t count) override;
    void close() noexcept override;
    void startExchange() noexcept override;

    /// One send or receive of at most `size` bytes within the exchange's deadline, for
    /// a layer above that maps errors itself: the count moved (0 from receiveSome when
    /// the peer has closed), or -1 with errno set, EAGAIN once the deadline has passed.
    ssize_t sendSome(const std::uint8_t* data, std::size_t size) noexcept;
    ssize_t receiveSome(std::uint8_t* data, std::size_t size) noexcept;

    /// The descriptor; -1 once closed.
    int fd() const noexcept { return fd_; }
    /// The longest Unix socket path the address field holds, in bytes.
    static std::size_t maxUnixPathLength() noexcept;

private:
    void configure(double timeoutSeconds) noexcept;
    int waitFor(short events) const noexcept;
    [[noreturn]] void fail(CelvioError error);

    int fd_ = -1;
    std::chrono::steady_clock::duration timeout_{};  // zero: no limit
    std::chrono::steady_clock::time_point deadline_{};
    std::optional<CelvioError> failure_;
};

}  // namespace celvio
