#include "lockdown/tls_identity.hpp"

#include "base/celvio_error.hpp"
#include "lockdown/pem.hpp"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace celvio::TLSIdentity {
namespace {

/// The oldest error OpenSSL queued on this thread, or "unknown".
std::string openSSLText() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown";
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof(buffer));
    return buffer;
}

/// An RSA private key from PKCS#1 DER.
EVP_PKEY* rsaKey(const Bytes& der) {
    const unsigned char* data = der.data();
    return d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &data, static_cast<long>(der.size()));
}

OpenSSLPtr<SSL_CTX> clientContext(X509* certificate, EVP_PKEY* key) {
    OpenSSLPtr<SSL_CTX> context(SSL_CTX_new(TLS_client_method()));
    if (!context) return nullptr;
    SSL_CTX_set_min_proto_version(context.get(), TLS1_VERSION);
    SSL_CTX_set_max_proto_version(context.get(), TLS1_2_VERSION);
    // Devices still present 1024-bit keys and SHA-1 signatures, and older ones are servers
    // without secure renegotiation (RFC 5746), which OpenSSL 3 refuses unless told. Neither
    // weakens us: any device certificate is accepted anyway.
    SSL_CTX_set_security_level(context.get(), 0);
    SSL_CTX_set_options(context.get(), SSL_OP_LEGACY_SERVER_CONNECT);
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    if (SSL_CTX_use_certificate(context.get(), certificate) != 1 || SSL_CTX_use_PrivateKey(context.get(), key) != 1)
        return nullptr;
    return context;
}

}  // namespace

std::shared_ptr<const Identity> make(ByteView certificatePEM, ByteView privateKeyPEM) {
    const auto invalidCertificate = [] { return CelvioError::pairing("The pairing record contains an invalid host certificate."); };
    const auto certificateBlock = PEM::decode(certificatePEM);
    if (!certificateBlock) throw invalidCertificate();
    const unsigned char* p = certificateBlock->der.data();
    OpenSSLPtr<X509> certificate(d2i_X509(nullptr, &p, static_cast<long>(certificateBlock->der.size())));
    if (!certificate) {
        ERR_clear_error();
        throw invalidCertificate();
    }

    auto keyBlock = PEM::decode(privateKeyPEM);
    if (!keyBlock) throw CelvioError::pairing("The pairing record contains an invalid private key.");
    const CleanseOnExit wipeBlock(keyBlock->der);
    std::optional<Bytes> inner;
    if (keyBlock->label.find("RSA") == std::string::npos) inner = PEM::pkcs8ToPKCS1(keyBlock->der);
    Bytes unwrapped = inner ? std::move(*inner) : Bytes();
    const CleanseOnExit wipeUnwrapped(unwrapped);
    ERR_clear_error();
    OpenSSLPtr<EVP_PKEY> key(rsaKey(inner ? unwrapped : keyBlock->der));
    if (!key) throw CelvioError::pairing("Could not load the host private key: " + openSSLText());

    // What the platform's identity constructor refuses: a key that is not the certificate's.
    if (X509_check_private_key(certificate.get(), key.get()) != 1) {
        ERR_clear_error();
        throw CelvioError::tls("Could not create TLS identity from pairing record.");
    }
    auto context = clientContext(certificate.get(), key.get());
    if (!context) {
        ERR_clear_error();
        throw CelvioError::tls("Could not create TLS context");
    }
    return std::make_shared<const Identity>(std::move(certificate), std::move(key), std::move(context));
}

}  // namespace celvio::TLSIdentity
