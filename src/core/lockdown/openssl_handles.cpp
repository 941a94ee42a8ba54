#include "lockdown/openssl_handles.hpp"

#include <openssl/bio.h>
#include <openssl/crypto.h>  // OPENSSL_cleanse
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace celvio {

void OpenSSLFree::operator()(X509* p) const noexcept { X509_free(p); }
void OpenSSLFree::operator()(EVP_PKEY* p) const noexcept { EVP_PKEY_free(p); }
void OpenSSLFree::operator()(SSL_CTX* p) const noexcept { SSL_CTX_free(p); }
void OpenSSLFree::operator()(SSL* p) const noexcept { SSL_free(p); }
void OpenSSLFree::operator()(BIO* p) const noexcept { BIO_free(p); }
void OpenSSLFree::operator()(X509_EXTENSION* p) const noexcept { X509_EXTENSION_free(p); }

void cleanse(std::vector<std::uint8_t>& bytes) noexcept {
    // The whole capacity: bytes past the size may be left over from a shorter earlier use.
    bytes.resize(bytes.capacity());
    OPENSSL_cleanse(bytes.data(), bytes.size());
    bytes.clear();
}

void cleanse(std::u32string& text) noexcept {
    OPENSSL_cleanse(text.data(), text.size() * sizeof(char32_t));
    text.clear();
}

}  // namespace celvio
