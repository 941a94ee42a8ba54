#pragma once

#include "plist/plist.hpp"  // ByteView

#include "lockdown/openssl_handles.hpp"

#include <memory>

/// The TLS client credential made from a pairing record's host certificate and key.
namespace celvio::TLSIdentity {

/// A certificate and its RSA private key, and the client TLS context that presents them.
/// Immutable once made; shared by the streams that use it (OpenSSL allows SSL_new on one
/// context from several threads).
class Identity {
public:
    Identity(OpenSSLPtr<X509> certificate, OpenSSLPtr<EVP_PKEY> privateKey, OpenSSLPtr<SSL_CTX> context) noexcept
        : certificate_(std::move(certificate)), privateKey_(std::move(privateKey)), context_(std::move(context)) {}

    X509* certificate() const noexcept { return certificate_.get(); }
    EVP_PKEY* privateKey() const noexcept { return privateKey_.get(); }
    /// TLS 1.0 to 1.2, security level 0, servers without secure renegotiation allowed, no
    /// peer verification, this identity as client certificate. Made once: a context costs
    /// more to build than a handshake.
    SSL_CTX* clientContext() const noexcept { return context_.get(); }

private:
    OpenSSLPtr<X509> certificate_;
    OpenSSLPtr<EVP_PKEY> privateKey_;
    OpenSSLPtr<SSL_CTX> context_;
};

/// Builds the identity from PEM (or bare DER) bytes. The key may be PKCS#1 ("RSA" in
/// its label) or PKCS#8. Throws CelvioError (`pairing` for unusable input, `tls` when
/// the key does not belong to the certificate or no TLS context can be made).
/// Every decoded copy of the key is wiped before it returns.
std::shared_ptr<const Identity> make(ByteView certificatePEM, ByteView privateKeyPEM);

}  // namespace celvio::TLSIdentity
