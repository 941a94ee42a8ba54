#pragma once

#include "link/byte_stream.hpp"
#include "base/celvio_error.hpp"
#include "lockdown/openssl_handles.hpp"
#include "link/socket.hpp"
#include "lockdown/tls_identity.hpp"

#include <memory>
#include <optional>

namespace celvio {

/// The client side of TLS 1.0 to 1.2 over a connected socket, presenting the pairing
/// identity. The device's certificate is not verified: devices present self-signed ones.
/// Blocking, bounded by the socket's deadline per exchange. Closing it closes the socket.
/// Once a read or write has failed, every later one throws the same error at once:
/// OpenSSL forbids further I/O on a connection after a fatal error.
class TLSStream final : public ByteStream {
public:
    /// Runs the handshake. On failure throws `tls` "Handshake failed (CODE): TEXT" with
    /// OpenSSL's SSL_get_error code, and the socket is closed.
    TLSStream(std::shared_ptr<Socket> socket, std::shared_ptr<const TLSIdentity::Identity> identity);
    ~TLSStream() override;

    TLSStream(const TLSStream&) = delete;
    TLSStream& operator=(const TLSStream&) = delete;

    /// Throws `tls` "Write failed (CODE)".
    void write(ByteView bytes) override;
    /// Throws `connectionClosed` when the peer hangs up first, otherwise `tls`
    /// "Read failed (CODE)", which is also how a time-out shows here.
    Bytes read(std::size_t count) override;
    /// Sends the close notification once, then closes the socket.
    void close() noexcept override;
    void startExchange() noexcept override { socket_->startExchange(); }

    /// What the socket beneath reported last; the BIO callbacks fill it in.
    struct Transport {
        Socket* socket = nullptr;
        bool peerClosed = false;
        int error = 0;  ///< errno of the last failed send or receive
    };

private:
    [[noreturn]] void fail(const char* what, int code);
    [[noreturn]] void fail(CelvioError error);

    std::shared_ptr<Socket> socket_;
    std::shared_ptr<const TLSIdentity::Identity> identity_;
    Transport transport_;
    OpenSSLPtr<SSL> ssl_;
    bool fatal_ = false;  // OpenSSL forbids a shutdown after a fatal error
    std::optional<CelvioError> failure_;
    bool closed_ = false;
};

}  // namespace celvio
