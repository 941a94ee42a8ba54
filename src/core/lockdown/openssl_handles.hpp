#pragma once

#include <openssl/types.h>  // the handle types, incomplete here

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

/// Overwrites a buffer that held key material with OPENSSL_cleanse, which the compiler
/// may not leave out, and empties it.
void cleanse(std::vector<std::uint8_t>& bytes) noexcept;
void cleanse(std::u32string& text) noexcept;

/// Cleanses a buffer when the scope ends, on every path out of it.
template <typename Buffer>
class CleanseOnExit {
public:
    explicit CleanseOnExit(Buffer& buffer) noexcept : buffer_(buffer) {}
    ~CleanseOnExit() { cleanse(buffer_); }
    CleanseOnExit(const CleanseOnExit&) = delete;
    CleanseOnExit& operator=(const CleanseOnExit&) = delete;

private:
    Buffer& buffer_;
};

}  // namespace celvio
