#include "base/uuid.hpp"

#include <openssl/rand.h>

#include <cstring>
#include <random>

namespace celvio {
namespace {

constexpr std::size_t kHyphens[] = {8, 13, 18, 23};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

/// Random bytes drawn in blocks: an import makes one identifier per row, and one
/// RAND_bytes call per identifier would cost more than the row itself.
class RandomPool {
public:
    void fill(std::uint8_t* out, std::size_t count) {
        if (used_ + count > pool_.size()) refill();
        std::memcpy(out, pool_.data() + used_, count);
        used_ += count;
    }

private:
    void refill() {
        if (RAND_bytes(pool_.data(), static_cast<int>(pool_.size())) != 1) {
            // Only without any entropy source; unlikely, and uniqueness is all we need.
            std::random_device device;
            for (auto& byte : pool_) byte = static_cast<std::uint8_t>(device());
        }
        used_ = 0;
    }

    std::array<std::uint8_t, 4096> pool_{};
    std::size_t used_ = pool_.size();
};

}  // namespace

UUID UUID::random() {
    thread_local RandomPool pool;
    UUID uuid;
    pool.fill(uuid.bytes.data(), uuid.bytes.size());
    uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x40);  // version 4
    uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return uuid;
}

std::optional<UUID> UUID::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    UUID uuid;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == kHyphens[0] || i == kHyphens[1] || i == kHyphens[2] || i == kHyphens[3]) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        uuid.bytes[byte++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return uuid;
}

std::string UUID::text() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace celvio

std::size_t std::hash<celvio::UUID>::operator()(const celvio::UUID& uuid) const noexcept {
    // The bytes are random already; any eight of them make a good hash.
    std::uint64_t value = 0;
    std::memcpy(&value, uuid.bytes.data(), sizeof value);
    return static_cast<std::size_t>(value);
}
