#include "link/socket.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include <netdb.h>       // getaddrinfo
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>    // timeval for SO_RCVTIMEO
#include <sys/un.h>      // sockaddr_un
#include <unistd.h>

namespace celvio {
namespace {

using Clock = std::chrono::steady_clock;

// Longer time-outs are taken as this, which keeps the deadline arithmetic far from overflow.
constexpr double kLongestTimeout = 24 * 60 * 60;

std::string errorText(int error) { return std::strerror(error); }

bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

struct AddrInfoFree {
    void operator()(addrinfo* info) const noexcept { freeaddrinfo(info); }
};

}  // namespace

std::size_t Socket::maxUnixPathLength() noexcept { return sizeof(sockaddr_un::sun_path) - 1; }

Socket::Socket(const std::string& unixPath, double timeoutSeconds) {
    // A cut path would name another socket, so a long one is refused before anything opens.
    if (unixPath.size() > maxUnixPathLength())
        throw CelvioError::socket("connect(" + unixPath + ") failed: " + errorText(ENAMETOOLONG));
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw CelvioError::socket("socket() failed: " + errorText(errno));

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, unixPath.data(), unixPath.size());

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

    if (timeoutSeconds > 0) {
        const std::chrono::duration<double> seconds(std::min(timeoutSeconds, kLongestTimeout));
        timeout_ = std::max(Clock::duration(1), std::chrono::duration_cast<Clock::duration>(seconds));
    }
    startExchange();
}

void Socket::startExchange() noexcept { deadline_ = Clock::now() + timeout_; }

int Socket::waitFor(short events) const noexcept {
    if (fd_ < 0) return EBADF;
    for (;;) {
        int milliseconds = -1;
        if (timeout_ != Clock::duration::zero()) {
            const auto left = deadline_ - Clock::now();
            if (left <= Clock::duration::zero()) return EAGAIN;
            milliseconds = static_cast<int>(
                std::min<std::int64_t>(std::chrono::ceil<std::chrono::milliseconds>(left).count(), INT_MAX));
        }
        pollfd entry{fd_, events, 0};
        const int ready = ::poll(&entry, 1, milliseconds);
        if (ready > 0) return 0;
        if (ready < 0 && errno != EINTR) return errno;
    }
}

ssize_t Socket::sendSome(const std::uint8_t* data, std::size_t size) noexcept {
    for (;;) {
        if (const int error = waitFor(POLLOUT)) {
            errno = error;
            return -1;
        }
        const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0 || (errno != EINTR && !wouldBlock(errno))) return sent;
    }
}

ssize_t Socket::receiveSome(std::uint8_t* data, std::size_t size) noexcept {
    for (;;) {
        if (const int error = waitFor(POLLIN)) {
            errno = error;
            return -1;
        }
        const ssize_t received = ::recv(fd_, data, size, MSG_DONTWAIT);
        if (received >= 0 || (errno != EINTR && !wouldBlock(errno))) return received;
    }
}

void Socket::fail(CelvioError error) {
    failure_ = error;
    throw error;
}

void Socket::write(ByteView bytes) {
    if (bytes.empty()) return;
    if (failure_) throw *failure_;
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t sent = sendSome(bytes.data() + offset, bytes.size() - offset);
        if (sent >= 0) {
            offset += static_cast<std::size_t>(sent);
            continue;
        }
        const int error = errno;
        fail(wouldBlock(error) ? CelvioError::timeout() : CelvioError::socket("send failed: " + errorText(error)));
    }
}

Bytes Socket::read(std::size_t count) {
    if (count == 0) return {};
    if (failure_) throw *failure_;
    return readExactly(count, [this](std::uint8_t* data, std::size_t size) {
        const ssize_t received = receiveSome(data, size);
        if (received > 0) return static_cast<std::size_t>(received);
        if (received == 0) fail(CelvioError::connectionClosed());
        const int error = errno;
        fail(wouldBlock(error) ? CelvioError::timeout() : CelvioError::socket("recv failed: " + errorText(error)));
    });
}

void Socket::close() noexcept {
    if (fd_ < 0) return;
    // Never retried: after EINTR the descriptor is already released on Linux.
    ::close(fd_);
    fd_ = -1;
}

}  // namespace celvio
