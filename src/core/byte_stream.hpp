#pragma once

#include "plist.hpp"  // Bytes, ByteView

#include <cstddef>

namespace celvio {

/// A blocking byte stream: a plain socket or TLS over one. Shared by std::shared_ptr.
class ByteStream {
public:
    virtual ~ByteStream() = default;

    /// Sends all of `bytes` or throws CelvioError.
    virtual void write(ByteView bytes) = 0;
    /// Returns exactly `count` bytes or throws CelvioError (`connectionClosed` when the
    /// peer hangs up first).
    virtual Bytes read(std::size_t count) = 0;
    /// Releases the connection; idempotent, never fails.
    virtual void close() noexcept = 0;
};

}  // namespace celvio
