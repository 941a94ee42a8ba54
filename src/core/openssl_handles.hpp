#pragma once

#include <openssl/types.h>  // the handle types, incomplete here

#include <memory>

// types.h leaves this one to x509.h; declaring it here keeps x509.h out of the header.
using X509_EXTENSION = struct X509_extension_st;

namespace celvio {

/// Frees any OpenSSL handle the core owns, each with its own free function.
struct OpenSSLFree {
    void operator()(X509* p) const noexcept;
    void operator()(EVP_PKEY* p) const noexcept;
    void operator()(SSL_CTX* p) const noexcept;
    void operator()(SSL* p) const noexcept;
    void operator()(BIO* p) const noexcept;
    void operator()(X509_EXTENSION* p) const noexcept;
};

template <typename T>
using OpenSSLPtr = std::unique_ptr<T, OpenSSLFree>;

}  // namespace celvio
