#include "openssl_handles.hpp"

#include <openssl/bio.h>
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

}  // namespace celvio
