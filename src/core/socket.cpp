#include "socket.hpp"

#include "celvio_error.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include <netdb.h>       // getaddrinfo
#include <sys/socket.h>
#include <sys/time.h>    // timeval for SO_RCVTIMEO
#include <sys/un.h>      // sockaddr_un
#include <unistd.h>

namespace celvio {
namespace {

std::string errorText(int error) { return std::strerror(error); }

bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

struct AddrInfoFree {
    void operator()(addrinfo* info) const noexcept { freeaddrinfo(info); }
};

}  // namespace

Socket::Socket(const std::string& unixPath, double timeoutSeconds) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw CelvioError::socket("socket() failed: " + errorText(errno));

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // The last byte is never written, so a path cut here stays terminated.
    std::memcpy(address.sun_path, unixPath.data(), std::min(unixPath.size(), sizeof(address.sun_path) - 1));

    configure(timeoutSeconds);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const std::string text = errorText(errno);
        close();
        throw CelvioError::socket("connect(" + unixPath + ") failed: " + text);
    }
}

Socket::Socket(const std::string& host, std::uint16_t port, double timeoutSeconds) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    std::unique_ptr<addrinfo, AddrInfoFree> results(found);
    if (status != 0 || !results) throw CelvioError::socket("cannot resolve " + host);

    const addrinfo* first = results.get();
    fd_ = ::socket(first->ai_family, first->ai_socktype | SOCK_CLOEXEC, first->ai_protocol);
    if (fd_ < 0) throw CelvioError::socket("socket() failed");

    // Set before connecting: Linux bounds connect() by the send time-out, so an
    // unreachable host fails after the time-out instead of the kernel's minutes.
    configure(timeoutSeconds);
    if (::connect(fd_, first->ai_addr, first->ai_addrlen) != 0) {
        const std::string text = errorText(errno);
        close();
        throw CelvioError::socket("connect(" + host + ":" + service + ") failed: " + text);
    }
}

Socket::Socket(int connectedFD, double timeoutSeconds) : fd_(connectedFD) { configure(timeoutSeconds); }

Socket::~Socket() { close(); }

void Socket::configure(double timeoutSeconds) noexcept {
    // Linux has no SO_NOSIGPIPE; every send passes MSG_NOSIGNAL instead.
    const double whole = std::trunc(timeoutSeconds);
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(whole);
    tv.tv_usec = static_cast<suseconds_t>(static_cast<std::int32_t>((timeoutSeconds - std::floor(timeoutSeconds)) * 1'000'000));
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

void Socket::write(ByteView bytes) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t sent = ::send(fd_, bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
        if (sent >= 0) {
            offset += static_cast<std::size_t>(sent);
            continue;
        }
        const int error = errno;
        if (error == EINTR) continue;
        if (wouldBlock(error)) throw CelvioError::timeout();
        throw CelvioError::socket("send failed: " + errorText(error));
    }
}

Bytes Socket::read(std::size_t count) {
    Bytes buffer(count);
    std::size_t offset = 0;
    while (offset < count) {
        const ssize_t received = ::recv(fd_, buffer.data() + offset, count - offset, 0);
        if (received > 0) {
            offset += static_cast<std::size_t>(received);
            continue;
        }
        if (received == 0) throw CelvioError::connectionClosed();
        const int error = errno;
        if (error == EINTR) continue;
        if (wouldBlock(error)) throw CelvioError::timeout();
        throw CelvioError::socket("recv failed: " + errorText(error));
    }
    return buffer;
}

void Socket::close() noexcept {
    if (fd_ < 0) return;
    // Never retried: after EINTR the descriptor is already released on Linux.
    ::close(fd_);
    fd_ = -1;
}

}  // namespace celvio
