// TLS against peers we did not write (openssl s_server) and the simulator's device side
// for the failures s_server cannot stage.

#include "lockdown/tls_stream.hpp"

#include "pairing_records.hpp"
#include "tls_server.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <regex>
#include <thread>

using namespace celvio;
using celvio::test::bytesOf;
using celvio::test::expectError;

namespace {

const sim::PairingMaterial& material() { return sim::pairingMaterial("00008110-TLSTEST", false); }

std::shared_ptr<const TLSIdentity::Identity> hostIdentity() {
    return TLSIdentity::make(bytesOf(material().hostCertificatePEM), bytesOf(material().hostPrivateKeyPEM));
}

/// `openssl s_server` on an ephemeral loopback port with the given certificate and key files,
/// asking for a client certificate. Its output goes to a file for the checks.
class SServer {
public:
    SServer(const std::pair<std::string, std::string>& credential, const std::string& args) {
        // The shell leaves its number for the kill and becomes s_server, whose input stays open:
        // s_server ends when its input does.
        input_ = popen(("echo $$ >" + (dir_ / "pid").string() + "; exec openssl s_server -accept 127.0.0.1:0 -cert " +
                        credential.first + " -key " + credential.second + " -Verify 1 -naccept 1 " + args + " >" +
                        (dir_ / "out").string() + " 2>&1")
                           .c_str(),
                       "we");
        const std::regex accept("ACCEPT 127\\.0\\.0\\.1:(\\d+)\n");
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::string text;
        std::smatch found;
        while (!std::regex_search(text = output(), found, accept) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!found.empty()) port_ = static_cast<std::uint16_t>(std::stoi(found[1]));
        pid_ = std::atoi(test::readText(dir_ / "pid").c_str());  // 0 if missing: no kill
    }
    ~SServer() {
        if (pid_ > 0) kill(pid_, SIGTERM);
        if (input_) pclose(input_);
    }

    std::shared_ptr<Socket> connect(double timeout) const {
        return std::make_shared<Socket>("127.0.0.1", port_, timeout);
    }

    /// Output so far, waiting until `expected` shows up or a second passes.
    std::string output(const std::string& expected = "") const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        for (;;) {
            const std::string text = test::readText(dir_ / "out");
            if (text.find(expected) != std::string::npos || std::chrono::steady_clock::now() > end) return text;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

private:
    test::TempDir dir_;
    FILE* input_ = nullptr;
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

/// The device's certificate and key as files in `dir`.
std::pair<std::string, std::string> deviceCredential(const test::TempDir& dir) {
    test::writeText(dir / "cert.pem", material().deviceCertificatePEM);
    test::writeText(dir / "key.pem", material().devicePrivateKeyPEM);
    return {(dir / "cert.pem").string(), (dir / "key.pem").string()};
}

/// A self-signed RSA-1024 certificate signed with SHA-1 and its PKCS#1 key, as old pairing
/// records and old devices hold them.
std::pair<std::string, std::string> oldCredential(const test::TempDir& dir) {
    const std::string cert = (dir / "old.pem").string(), key = (dir / "old.key").string();
    const std::string command = "openssl req -x509 -newkey rsa:1024 -sha1 -nodes -subj /CN=old -days 1 -keyout " +
                                key + " -out " + cert + " && openssl rsa -traditional -in " + key + " -out " + key;
    EXPECT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0);
    return {cert, key};
}

/// The simulator's device side of TLS on a loopback port; after the handshake it runs
/// `after` (to break a record or stay silent), then hangs up.
class DeviceServer {
public:
    explicit DeviceServer(std::function<void(int fd, sim::TlsServerStream& tls)> after) {
        thread_ = std::thread([this, after] {
            const int fd = accept(listener_.fd, nullptr, nullptr);
            try {
                sim::TlsServerStream tls(fd, material(), false);
                after(fd, tls);
            } catch (const CelvioError&) {
            }
            ::close(fd);
        });
    }
    ~DeviceServer() { finish(); }
    /// Waits until the server has closed its side.
    void finish() { if (thread_.joinable()) thread_.join(); }
    std::shared_ptr<Socket> connect(double timeout = 2.0) const {
        return std::make_shared<Socket>("127.0.0.1", listener_.port, timeout);
    }

private:
    test::LoopbackListener listener_;
    std::thread thread_;
};

}  // namespace

TEST(TLSStream, TalksEveryVersionToOpenSSLWithOldCertificatesToo) {
    test::TempDir dir;
    const auto old = oldCredential(dir);
    const auto oldIdentity = TLSIdentity::make(bytesOf(test::readText(old.first)), bytesOf(test::readText(old.second)));
    // Servers without secure renegotiation (RFC 5746) are let through, as the platform's
    // client does; OpenSSL's own servers always offer it, so only the setting can be seen.
    EXPECT_NE(SSL_CTX_get_options(oldIdentity->clientContext()) & SSL_OP_LEGACY_SERVER_CONNECT, 0u);
    const struct {
        const char* option;
        const char* version;
        bool old;
    } rows[] = {{"-tls1", "TLSv1", true}, {"-tls1_1", "TLSv1.1", true}, {"-tls1_2", "TLSv1.2", true},
                {"-rev", "TLSv1.2", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.option);
        // s_server's -Verify fails the handshake unless the client presents its one certificate.
        SServer server(row.old ? old : deviceCredential(dir),
                       std::string(row.option) + " -cipher DEFAULT@SECLEVEL=0 -rev");
        auto socket = server.connect(2.0);
        TLSStream stream(socket, row.old ? oldIdentity : hostIdentity());
        stream.write(bytesOf("old\n"));
        EXPECT_EQ(stream.read(4), bytesOf("dlo\n"));
        const std::string& output = server.output("Peer certificate");
        EXPECT_NE(output.find(std::string("Protocol version: ") + row.version + "\n"), std::string::npos) << output;
        EXPECT_EQ(output.find("Peer certificate: CN = old") != std::string::npos, row.old) << output;
        // No engine call for empty transfers, so these work even on a closed stream.
        stream.close();
        EXPECT_TRUE(stream.read(0).empty());
        EXPECT_NO_THROW(stream.write({}));
        EXPECT_EQ(socket->fd(), -1);
    }
}

// A cut record, a silent device and a late reply are the lockdown client's tests, through
// the whole connection.
TEST(TLSStream, AResetConnectionFailsTheWriteAndStays) {
    // The server resets the connection (SO_LINGER 0) right after the handshake.
    DeviceServer server([](int fd, sim::TlsServerStream&) {
        const linger reset{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
    });
    TLSStream stream(server.connect(), hostIdentity());
    server.finish();
    expectError([&] { stream.write(bytesOf("hello")); }, "TLS: Write failed (5)");
    expectError([&] { stream.read(1); }, "TLS: Write failed (5)");
}

TEST(TLSStream, CloseTwiceSendsOneNotification) {
    unsigned char received = 0;
    std::shared_ptr<Socket> socket;
    {
        // close_notify is an alert record (type 21); its header is readable without the keys.
        DeviceServer server([&](int fd, sim::TlsServerStream&) { ::recv(fd, &received, 1, MSG_WAITALL); });
        socket = server.connect();
        TLSStream stream(socket, hostIdentity());
        stream.close();
        stream.close();  // a freed descriptor closed once only is the socket's test
    }
    EXPECT_EQ(received, 21);
    EXPECT_EQ(socket->fd(), -1);
}
