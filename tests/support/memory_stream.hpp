#pragma once

#include "link/byte_stream.hpp"
#include "base/celvio_error.hpp"

#include <vector>

namespace celvio::test {

/// A stream over a fixed input that records what is written and asked for. Running dry
/// is a hang-up, as on a socket.
class MemoryStream final : public ByteStream {
public:
    explicit MemoryStream(Bytes input = {}) : input_(std::move(input)) {}
    MemoryStream(const std::uint8_t* data, std::size_t size) : input_(data, data + size) {}

    void write(ByteView bytes) override { writes.emplace_back(bytes.begin(), bytes.end()); }
    Bytes read(std::size_t count) override {
        readRequests.push_back(count);
        if (input_.size() - offset_ < count) {
            offset_ = input_.size();
            throw CelvioError::connectionClosed();
        }
        const auto begin = input_.begin() + static_cast<std::ptrdiff_t>(offset_);
        offset_ += count;
        return Bytes(begin, begin + static_cast<std::ptrdiff_t>(count));
    }
    void close() noexcept override { ++closeCalls; }

    std::vector<Bytes> writes;
    std::vector<std::size_t> readRequests;
    int closeCalls = 0;

private:
    Bytes input_;
    std::size_t offset_ = 0;
};

}  // namespace celvio::test
