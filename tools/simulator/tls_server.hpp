#pragma once

#include "link/byte_stream.hpp"
#include "lockdown/openssl_handles.hpp"
#include "pairing_records.hpp"

#include <openssl/ssl.h>

#include <cstddef>

namespace celvio::sim {

/// The device side of TLS over a connected descriptor that stays owned by the caller.
/// Blocking. The engine works on memory buffers and this class moves the bytes itself,
/// so that no write raises SIGPIPE and a reply can be cut short on purpose.
class TlsServerStream final : public ByteStream {
public:
    /// Runs the server handshake with the device certificate and key of `material` and
    /// requires the peer to present the host certificate of `material`. TLS 1.0 to 1.2,
    /// or 1.3 only. Throws CelvioError: `tls`, or `connectionClosed` when the peer hangs up.
    TlsServerStream(int fd, const PairingMaterial& material, bool tls13Only);

    TlsServerStream(const TlsServerStream&) = delete;
    TlsServerStream& operator=(const TlsServerStream&) = delete;

    /// Failures: `connectionClosed` when the peer is gone, otherwise `tls` or `socket`.
    void write(ByteView bytes) override;
    Bytes read(std::size_t count) override;
    /// Stops using the connection; sends nothing (the descriptor's owner hangs up).
    void close() noexcept override;

    /// Encrypts `bytes` as `write` would but sends only the first `keep` bytes of the
    /// resulting records (never all of them).
    void writeTruncated(ByteView bytes, std::size_t keep);

private:
    bool fill();
    void flush();
    void encrypt(ByteView bytes);

    int fd_;
    OpenSSLPtr<SSL> ssl_;
    BIO* incoming_ = nullptr;  // owned by ssl_
    BIO* outgoing_ = nullptr;  // owned by ssl_
    bool closed_ = false;
};

}  // namespace celvio::sim
