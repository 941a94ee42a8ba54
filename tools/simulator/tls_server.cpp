#include "tls_server.hpp"

#include "base/celvio_error.hpp"
#include "lockdown/openssl_handles.hpp"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace celvio::sim {

namespace {

// OpenSSL's queued errors as one line; the queue is emptied.
std::string queuedErrors() {
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        std::array<char, 256> line{};
        ERR_error_string_n(code, line.data(), line.size());
        text += text.empty() ? "" : "; ";
        text += line.data();
    }
    return text.empty() ? "unknown" : text;
}

[[noreturn]] void tlsFailure(const std::string& what) { throw CelvioError::tls(what + ": " + queuedErrors()); }

OpenSSLPtr<BIO> pemBio(const std::string& pem) {
    OpenSSLPtr<BIO> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) tlsFailure("BIO_new_mem_buf");
    return bio;
}

OpenSSLPtr<X509> certificate(const std::string& pem) {
    auto bio = pemBio(pem);
    OpenSSLPtr<X509> cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!cert) tlsFailure("Reading a certificate");
    return cert;
}

OpenSSLPtr<EVP_PKEY> privateKey(const std::string& pem) {
    auto bio = pemBio(pem);
    OpenSSLPtr<EVP_PKEY> key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key) tlsFailure("Reading a private key");
    return key;
}

// The host's identity is checked against the pairing record after the handshake, not
// by chain building: the pairing root is no trusted authority.
int acceptAnyChain(int, X509_STORE_CTX*) { return 1; }

OpenSSLPtr<SSL_CTX> serverContext(const PairingMaterial& material, bool tls13Only) {
    OpenSSLPtr<SSL_CTX> ctx(SSL_CTX_new(TLS_server_method()));
    if (!ctx) tlsFailure("Could not create TLS context");
    // Level 0 lets TLS 1.0 and SHA-1 through, as older hosts need.
    SSL_CTX_set_security_level(ctx.get(), 0);
    const int lowest = tls13Only ? TLS1_3_VERSION : TLS1_VERSION;
    const int highest = tls13Only ? TLS1_3_VERSION : TLS1_2_VERSION;
    if (SSL_CTX_set_min_proto_version(ctx.get(), lowest) != 1 ||
        SSL_CTX_set_max_proto_version(ctx.get(), highest) != 1) {
        tlsFailure("Setting the protocol versions");
    }
    // Every connection starts afresh, so tickets would only add bytes.
    SSL_CTX_set_options(ctx.get(), SSL_OP_NO_TICKET);
    SSL_CTX_set_num_tickets(ctx.get(), 0);
    SSL_CTX_set_session_cache_mode(ctx.get(), SSL_SESS_CACHE_OFF);

    auto cert = certificate(material.deviceCertificatePEM);
    auto key = privateKey(material.devicePrivateKeyPEM);
    if (SSL_CTX_use_certificate(ctx.get(), cert.get()) != 1) tlsFailure("SSL_CTX_use_certificate");
    if (SSL_CTX_use_PrivateKey(ctx.get(), key.get()) != 1) tlsFailure("SSL_CTX_use_PrivateKey");
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, acceptAnyChain);
    return ctx;
}

// One context per pairing and protocol range, made on first use: building it (and reading
// the PEM key) costs more than a handshake.
SSL_CTX* cachedServerContext(const PairingMaterial& material, bool tls13Only) {
    static std::mutex mutex;
    static std::map<std::pair<const PairingMaterial*, bool>, OpenSSLPtr<SSL_CTX>> cache;
    std::lock_guard lock(mutex);
    OpenSSLPtr<SSL_CTX>& slot = cache[{&material, tls13Only}];
    if (!slot) slot = serverContext(material, tls13Only);
    return slot.get();
}

bool peerGone(int error) { return error == EPIPE || error == ECONNRESET || error == ENOTCONN; }

void sendAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        const int error = errno;
        if (error == EINTR) continue;
        if (peerGone(error)) throw CelvioError::connectionClosed();
        throw CelvioError::socket(std::string("send failed: ") + std::strerror(error));
    }
}

Bytes takePending(BIO* bio) {
    Bytes out(BIO_ctrl_pending(bio));
    if (!out.empty()) {
        int n = BIO_read(bio, out.data(), static_cast<int>(out.size()));
        out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    return out;
}

}  // namespace

TlsServerStream::TlsServerStream(int fd, const PairingMaterial& material, bool tls13Only) : fd_(fd) {
    ERR_clear_error();
    ssl_.reset(SSL_new(cachedServerContext(material, tls13Only)));
    if (!ssl_) tlsFailure("SSL_new");
    OpenSSLPtr<BIO> incoming(BIO_new(BIO_s_mem()));
    OpenSSLPtr<BIO> outgoing(BIO_new(BIO_s_mem()));
    if (!incoming || !outgoing) tlsFailure("BIO_new");
    incoming_ = incoming.release();
    outgoing_ = outgoing.release();
    SSL_set_bio(ssl_.get(), incoming_, outgoing_);
    SSL_set_accept_state(ssl_.get());

    for (;;) {
        const int result = SSL_do_handshake(ssl_.get());
        const int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(ssl_.get(), result);
        // Alerts too: the client should learn why its handshake failed.
        try {
            flush();
        } catch (const CelvioError&) {
            if (error == SSL_ERROR_NONE || error == SSL_ERROR_WANT_READ) throw;
        }
        if (error == SSL_ERROR_NONE) break;
        if (error == SSL_ERROR_WANT_READ) {
            if (!fill()) throw CelvioError::connectionClosed();
            continue;
        }
        tlsFailure("Handshake failed");
    }

    OpenSSLPtr<X509> peer(SSL_get1_peer_certificate(ssl_.get()));
    auto host = certificate(material.hostCertificatePEM);
    if (!peer || X509_cmp(peer.get(), host.get()) != 0) {
        throw CelvioError::tls("The peer did not present the pairing record's host certificate");
    }
}

bool TlsServerStream::fill() {
    std::array<std::uint8_t, 16384> buffer{};
    for (;;) {
        ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            if (BIO_write(incoming_, buffer.data(), static_cast<int>(n)) != n) tlsFailure("BIO_write");
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        // A reset or a shutdown by the simulator ends the stream like a hang-up.
        return false;
    }
}

void TlsServerStream::flush() {
    auto bytes = takePending(outgoing_);
    sendAll(fd_, bytes.data(), bytes.size());
}

void TlsServerStream::encrypt(ByteView bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - done, INT_MAX));
        ERR_clear_error();
        const int n = SSL_write(ssl_.get(), bytes.data() + done, chunk);
        if (n <= 0) tlsFailure("Write failed");
        done += static_cast<std::size_t>(n);
    }
}

void TlsServerStream::write(ByteView bytes) {
    if (closed_) throw CelvioError::connectionClosed();
    if (bytes.empty()) return;
    encrypt(bytes);
    flush();
}

void TlsServerStream::writeTruncated(ByteView bytes, std::size_t keep) {
    if (closed_) throw CelvioError::connectionClosed();
    flush();
    encrypt(bytes);
    auto records = takePending(outgoing_);
    records.resize(std::min(keep, records.empty() ? 0 : records.size() - 1));
    sendAll(fd_, records.data(), records.size());
}

Bytes TlsServerStream::read(std::size_t count) {
    if (closed_) throw CelvioError::connectionClosed();
    Bytes out(count);
    std::size_t done = 0;
    while (done < count) {
        const int chunk = static_cast<int>(std::min<std::size_t>(count - done, INT_MAX));
        ERR_clear_error();
        const int n = SSL_read(ssl_.get(), out.data() + done, chunk);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        const int error = SSL_get_error(ssl_.get(), n);
        // Reading may produce records to send (alerts, key updates).
        flush();
        if (error == SSL_ERROR_WANT_READ) {
            if (!fill()) throw CelvioError::connectionClosed();
            continue;
        }
        if (error == SSL_ERROR_ZERO_RETURN) throw CelvioError::connectionClosed();
        tlsFailure("Read failed");
    }
    return out;
}

void TlsServerStream::close() noexcept { closed_ = true; }

}  // namespace celvio::sim
