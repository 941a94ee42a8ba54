#pragma once

#include "plist/plist.hpp"  // Bytes, ByteView

#include <algorithm>
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
    /// Starts the time allowed for one request and its reply: every read and write until
    /// the next call shares it. A stream without a time-out ignores it.
    virtual void startExchange() noexcept {}
};

/// Reads exactly `count` bytes through `readSome(data, size)`, which moves at most `size`
/// bytes (0 to try again) or throws. The buffer grows as bytes arrive, so a peer that
/// announces a large message must send it before we hold that much memory.
template <typename ReadSome>
Bytes readExactly(std::size_t count, ReadSome readSome) {
    constexpr std::size_t firstChunk = 64 * 1024;
    Bytes buffer(std::min(count, firstChunk));
    std::size_t offset = 0;
    while (offset < count) {
        if (offset == buffer.size()) buffer.resize(std::min(count, buffer.size() * 2));
        offset += readSome(buffer.data() + offset, buffer.size() - offset);
    }
    return buffer;
}

}  // namespace celvio
