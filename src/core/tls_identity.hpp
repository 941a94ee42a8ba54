#pragma once

#include "plist.hpp"  // ByteView

#include "openssl_handles.hpp"

#include <memory>

/// The TLS client credential made from a pairing record's host certificate and key.
namespace celvio::TLSIdentity {

/// A certificate and its RSA private key. Immutable; shared by the streams that use it.
class Identity {
public:
    Identity(OpenSSLPtr<X509> certificate, OpenSSLPtr<EVP_PKEY> privateKey) noexcept
        : certificate_(std::move(certificate)), privateKey_(std::move(privateKey)) {}

    X509* certificate() const noexcept { return certificate_.get(); }
    EVP_PKEY* privateKey() const noexcept { return privateKey_.get(); }

private:
    OpenSSLPtr<X509> certificate_;
    OpenSSLPtr<EVP_PKEY> privateKey_;
};

/// Builds the identity from PEM (or bare DER) bytes. The key may be PKCS#1 ("RSA" in
/// its label) or PKCS#8. Throws CelvioError (`pairing` for unusable input, `tls` when
/// the key does not belong to the certificate).
std::shared_ptr<const Identity> make(ByteView certificatePEM, ByteView privateKeyPEM);

}  // namespace celvio::TLSIdentity
