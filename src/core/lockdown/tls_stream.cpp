#include "lockdown/tls_stream.hpp"

#include "base/celvio_error.hpp"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace celvio {
namespace {

using Transport = TLSStream::Transport;

// A BIO over the socket: it moves bytes through the socket's own deadline, never reports
// "retry" (would-block means the exchange's time is up), and sends with MSG_NOSIGNAL.

int transportWrite(BIO* bio, const char* data, int length) {
    auto* transport = static_cast<Transport*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    int offset = 0;
    while (offset < length) {
        const ssize_t sent = transport->socket->sendSome(bytes + offset, static_cast<std::size_t>(length - offset));
        if (sent < 0) {
            transport->error = errno;
            return -1;
        }
        offset += static_cast<int>(sent);
    }
    return length;
}

int transportRead(BIO* bio, char* out, int length) {
    auto* transport = static_cast<Transport*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (length <= 0) return 0;
    const ssize_t received =
        transport->socket->receiveSome(reinterpret_cast<std::uint8_t*>(out), static_cast<std::size_t>(length));
    if (received == 0) transport->peerClosed = true;
    if (received < 0) transport->error = errno;
    return static_cast<int>(received);
}

long transportControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int transportCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* transportMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "celvio socket");
        BIO_meth_set_write(m, transportWrite);
        BIO_meth_set_read(m, transportRead);
        BIO_meth_set_ctrl(m, transportControl);
        BIO_meth_set_create(m, transportCreate);
        return m;
    }();
    return method;
}

/// OpenSSL's reason for the failure, else the system's text for the transport, else "unknown".
std::string failureText(const Transport& transport) {
    if (const unsigned long code = ERR_peek_error(); code != 0) {
        if (const char* reason = ERR_reason_error_string(code)) return reason;
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof(buffer));
        return buffer;
    }
    if (transport.error != 0) return std::strerror(transport.error);
    if (transport.peerClosed) return "connection closed by the peer";
    return "unknown";
}

}  // namespace

TLSStream::TLSStream(std::shared_ptr<Socket> socket, std::shared_ptr<const TLSIdentity::Identity> identity)
    : socket_(std::move(socket)), identity_(std::move(identity)) {
    transport_.socket = socket_.get();
    // The handshake is one exchange of its own.
    socket_->startExchange();
    ERR_clear_error();
    ssl_.reset(SSL_new(identity_->clientContext()));
    BIO* bio = ssl_ ? BIO_new(transportMethod()) : nullptr;
    if (!bio) {
        ERR_clear_error();
        throw CelvioError::tls("Could not create TLS context");
    }
    BIO_set_data(bio, &transport_);
    SSL_set_bio(ssl_.get(), bio, bio);  // the SSL owns the BIO from here

    const int result = SSL_connect(ssl_.get());
    if (result != 1) {
        const int code = SSL_get_error(ssl_.get(), result);
        const std::string text = failureText(transport_);
        ERR_clear_error();
        fatal_ = true;
        close();
        throw CelvioError::tls("Handshake failed (" + std::to_string(code) + "): " + text);
    }
}

TLSStream::~TLSStream() { close(); }

void TLSStream::fail(CelvioError error) {
    ERR_clear_error();
    failure_ = error;
    throw error;
}

void TLSStream::fail(const char* what, int code) {
    if (code == SSL_ERROR_SYSCALL || code == SSL_ERROR_SSL) fatal_ = true;
    fail(CelvioError::tls(std::string(what) + " failed (" + std::to_string(code) + ")"));
}

void TLSStream::write(ByteView bytes) {
    if (bytes.empty()) return;
    if (failure_) throw *failure_;
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        ERR_clear_error();
        std::size_t written = 0;
        const int result = SSL_write_ex(ssl_.get(), bytes.data() + offset, bytes.size() - offset, &written);
        offset += written;
        if (result == 1) continue;
        const int code = SSL_get_error(ssl_.get(), result);
        if (code == SSL_ERROR_WANT_WRITE || code == SSL_ERROR_WANT_READ) continue;
        fail("Write", code);
    }
}

Bytes TLSStream::read(std::size_t count) {
    if (count == 0) return {};
    if (failure_) throw *failure_;
    return readExactly(count, [this](std::uint8_t* data, std::size_t size) {
        ERR_clear_error();
        std::size_t got = 0;
        const int result = SSL_read_ex(ssl_.get(), data, size, &got);
        if (result == 1) return got;
        const int code = SSL_get_error(ssl_.get(), result);
        if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) return got;
        // A close notification, or the socket ending without one, before we had it all.
        if (code == SSL_ERROR_ZERO_RETURN || transport_.peerClosed) {
            fatal_ = fatal_ || code != SSL_ERROR_ZERO_RETURN;
            fail(CelvioError::connectionClosed());
        }
        fail("Read", code);
    });
}

void TLSStream::close() noexcept {
    if (closed_) return;
    closed_ = true;
    if (ssl_ && !fatal_) {
        SSL_shutdown(ssl_.get());
        ERR_clear_error();
    }
    socket_->close();
}

}  // namespace celvio
