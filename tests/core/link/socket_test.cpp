#include "link/socket.hpp"

#include "test_support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <pthread.h>     // pthread_kill to interrupt a blocked call
#include <sys/socket.h>
#include <sys/un.h>  // sockaddr_un for the listener at the path limit
#include <unistd.h>

using namespace celvio;
using celvio::test::bytesOf;
using celvio::test::expectError;

namespace {

constexpr double kShort = 0.2;
constexpr int kSmallBuffer = 4096;

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

std::pair<int, int> socketPair() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) throw std::runtime_error("socketpair");
    return {fds[0], fds[1]};
}

std::atomic<int> interrupts{0};
extern "C" void countInterrupt(int) { ++interrupts; }

/// Installs a SIGUSR1 handler without SA_RESTART, so blocked socket calls see EINTR.
struct InterruptHandler {
    struct sigaction old {};
    InterruptHandler() {
        struct sigaction action {};  // no flags, an empty mask
        action.sa_handler = countInterrupt;
        sigaction(SIGUSR1, &action, &old);
    }
    ~InterruptHandler() { sigaction(SIGUSR1, &old, nullptr); }
};

}  // namespace

TEST(Socket, ConnectFailuresNameTheAddressAndLeaveNothingOpen) {
    test::TempDir dir;
    std::string path = (dir / "s").string();
    path += std::string(Socket::maxUnixPathLength() - path.size(), 'x');
    ASSERT_EQ(path.size(), 107u);
    const int probe = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(probe);  // the lowest free descriptor, which a leaked socket would hold
    expectError([&] { Socket s(path, kShort); }, "Socket: connect(" + path + ") failed: No such file or directory");
    EXPECT_FALSE(isOpen(probe));

    const int port = test::LoopbackListener().port;  // closed again at once
    expectError([&] { Socket s("127.0.0.1", static_cast<std::uint16_t>(port), kShort); },
                "Socket: connect(127.0.0.1:" + std::to_string(port) + ") failed: Connection refused");
    EXPECT_FALSE(isOpen(probe));

    // Unix paths up to the address field connect; one byte more used to be cut off, which
    // named this very socket.
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    EXPECT_NO_THROW(Socket s(path, kShort));
    expectError([&] { Socket s(path + "y", kShort); }, "Socket: connect(" + path + "y) failed: File name too long");
    ::close(listener);
}

// A peer hanging up mid-read is the daemon's test (USBMux), through the whole connection.
TEST(Socket, WritingToAClosedPeerRaisesNoSignal) {
    auto [c, d] = socketPair();
    Socket writer(c, kShort);
    ::close(d);
    // The default SIGPIPE action would end this process; reaching the check is the test.
    expectError([&] { writer.write(bytesOf("hello")); }, "Socket: send failed: Broken pipe");
}

// A reply trickling in within each wait but beyond the exchange's deadline is the daemon's
// test (USBMux, "slow"), through the whole connection.
TEST(Socket, AFailureStaysAndEachExchangeGetsTheWholeTimeout) {
    auto [a, b] = socketPair();
    Socket s(a, kShort);
    expectError([&] { s.read(16); }, "The device did not respond in time.");
    ASSERT_EQ(::send(b, "late", 4, 0), 4);
    // The bytes now waiting are never taken for an answer, not even in a new exchange.
    s.startExchange();
    expectError([&] { s.read(1); }, "The device did not respond in time.");
    expectError([&] { s.write(bytesOf("next")); }, "The device did not respond in time.");
    ::close(b);

    // Each exchange gets the whole time-out again.
    auto [c, d] = socketPair();
    Socket fresh(c, kShort);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(::send(d, "ok", 2, 0), 2);
    fresh.startExchange();
    EXPECT_EQ(fresh.read(2), bytesOf("ok"));
    ::close(d);
}

TEST(Socket, InterruptedCallsCarryOn) {
    InterruptHandler handler;
    interrupts = 0;
    auto [a, b] = socketPair();
    Socket s(a, 5.0);
    // Shrink the buffers so that the large write blocks until the peer drains it.
    for (const auto& [fd, option] : {std::pair{a, SO_SNDBUF}, {b, SO_RCVBUF}})
        setsockopt(fd, SOL_SOCKET, option, &kSmallBuffer, sizeof(kSmallBuffer));
    const Bytes big(1 << 20, 0x5A);
    Bytes readBack;
    std::atomic<bool> done{false};
    std::thread thread([&] {
        s.write(big);
        readBack = s.read(3);
        done = true;
    });
    const pthread_t worker = thread.native_handle();
    // Interrupt the blocked write, drain it, then interrupt the blocked read, then answer.
    auto interruptFor = [&](std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
            pthread_kill(worker, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    interruptFor(std::chrono::milliseconds(100));
    std::size_t drained = 0;
    char buffer[65536];
    while (drained < big.size()) {
        const ssize_t n = recv(b, buffer, sizeof(buffer), 0);
        ASSERT_GT(n, 0);
        drained += static_cast<std::size_t>(n);
        if (drained % 8 == 0) pthread_kill(worker, SIGUSR1);
    }
    const int before = interrupts;
    interruptFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(interrupts > before && !done);
    ASSERT_EQ(::send(b, "end", 3, 0), 3);
    thread.join();
    EXPECT_EQ(std::tuple(readBack, drained), std::tuple(bytesOf("end"), big.size()));
    ::close(b);
}

TEST(Socket, CloseTwiceClosesOnce) {
    auto [a, b] = socketPair();
    Socket s(a, kShort);
    s.close();
    EXPECT_FALSE(isOpen(a));
    // The number is free again; whoever gets it next must keep it after a second close.
    const int reused = dup2(b, a);
    ASSERT_EQ(reused, a);
    s.close();
    EXPECT_TRUE(isOpen(reused));
    EXPECT_EQ(s.fd(), -1);
    // On a closed socket any system call would fail, so success shows none was made.
    EXPECT_TRUE(s.read(0).empty());
    EXPECT_NO_THROW(s.write({}));
    ::close(reused);
    ::close(b);
}
