#pragma once

#include <openssl/types.h>  // the handle types, incomplete here

#include <memory>

namespace celvio {

/// Frees any OpenSSL handle the core owns, each with its own free function.
struct OpenSSLFree {
    void operator()(X509* p) const noexcept;
    void operator()(EVP_PKEY* p) const noexcept;
    void operator()(SSL_CTX* p) const noexcept;
    void operator()(SSL* p) const noexcept;
};

template <typename T>
using OpenSSLPtr = std::unique_ptr<T, OpenSSLFree>;

}  // namespace celvio
