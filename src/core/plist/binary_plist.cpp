#include "plist/binary_plist.hpp"

#include "plist/plist_decoding.hpp"
#include "base/utf8.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

// The format: an 8-byte signature, the objects, a table of their offsets and a 32-byte
// trailer naming the table, the integer widths and the top object. Each object starts
// with a marker byte: type in the high nibble, size or count in the low one.

namespace celvio {
namespace {

using plist_decoding::corrupt;

constexpr std::string_view kSignature = "bplist00";
constexpr std::size_t kTrailerSize = 32;

class Reader {
public:
    explicit Reader(ByteView bytes) : bytes_(bytes), budget_(bytes.size()) {
        if (bytes.size() < kSignature.size() + kTrailerSize) corrupt();
        const std::size_t trailer = bytes.size() - kTrailerSize;
        offsetSize_ = bytes[trailer + 6];
        refSize_ = bytes[trailer + 7];
        const std::uint64_t objectCount = readUnsigned(trailer + 8, 8);
        topObject_ = readUnsigned(trailer + 16, 8);
        tableOffset_ = readUnsigned(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) corrupt();
        if (objectCount == 0 || topObject_ >= objectCount || tableOffset_ < kSignature.size() || tableOffset_ > trailer)
            corrupt();
        if (objectCount > (trailer - tableOffset_) / offsetSize_) corrupt();
        objectCount_ = objectCount;
    }

    // Containers pay for their elements, so only the top value is charged here.
    PlistValue read() {
        budget_.chargeValues(1);
        return object(topObject_, 0);
    }

private:
    std::uint64_t readUnsigned(std::size_t at, std::size_t width) const {
        if (at > bytes_.size() || width > bytes_.size() - at) corrupt();
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < width; ++i) v = (v << 8) | bytes_[at + i];
        return v;
    }

    std::size_t offsetOf(std::uint64_t index) const {
        if (index >= objectCount_) corrupt();
        const std::uint64_t offset = readUnsigned(tableOffset_ + index * offsetSize_, offsetSize_);
        if (offset < kSignature.size() || offset >= tableOffset_) corrupt();
        return offset;
    }

    /// Bytes [at, at + count × width) must lie before the offset table.
    void need(std::size_t at, std::uint64_t count, std::size_t width = 1) const {
        if (at > tableOffset_ || count > (tableOffset_ - at) / width) corrupt();
    }

    /// The element count of a marker at `at`; moves `at` past the marker and any count object.
    std::uint64_t count(std::size_t& at) const {
        const std::uint8_t low = bytes_[at] & 0x0F;
        ++at;
        if (low != 0x0F) return low;
        need(at, 1);
        const std::uint8_t marker = bytes_[at];
        if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3) corrupt();
        const std::size_t width = std::size_t{1} << (marker & 0x0F);
        ++at;
        need(at, width);
        const std::uint64_t n = readUnsigned(at, width);
        at += width;
        return n;
    }

    PlistValue object(std::uint64_t index, int depth) {
        if (depth > plist_decoding::kMaxDepth) corrupt();
        std::size_t at = offsetOf(index);
        const std::uint8_t marker = bytes_[at];
        switch (marker >> 4) {
            case 0x0:
                if (marker == 0x08) return PlistValue(false);
                if (marker == 0x09) return PlistValue(true);
                corrupt();
            case 0x1: {
                const unsigned power = marker & 0x0F;
                if (power > 4) corrupt();
                const std::size_t width = std::size_t{1} << power;
                need(at + 1, width);
                // 16-byte integers carry unsigned values beyond the signed range; the low
                // eight bytes keep their bit pattern, like every 8-byte integer here.
                const std::size_t take = std::min<std::size_t>(width, 8);
                return PlistValue(static_cast<std::int64_t>(readUnsigned(at + 1 + width - take, take)));
            }
            case 0x2:
            case 0x3: {
                const unsigned power = marker & 0x0F;
                if (power != 2 && power != 3) corrupt();
                if ((marker >> 4) == 0x3 && power != 3) corrupt();
                const std::size_t width = std::size_t{1} << power;
                need(at + 1, width);
                const std::uint64_t raw = readUnsigned(at + 1, width);
                const double value = width == 4 ? double(std::bit_cast<float>(static_cast<std::uint32_t>(raw)))
                                                : std::bit_cast<double>(raw);
                if ((marker >> 4) == 0x3) return PlistValue(PlistDate{value});
                return PlistValue(value);
            }
            case 0x4: {
                const std::uint64_t n = count(at);
                need(at, n);
                budget_.charge(n);
                return PlistValue(Bytes(bytes_.begin() + at, bytes_.begin() + at + n));
            }
            case 0x5:
            case 0x6:
                return PlistValue(string(at));
            case 0x8: {
                const std::size_t width = (marker & 0x0F) + 1u;
                if (width > 8) corrupt();
                need(at + 1, width);
                return PlistValue(static_cast<std::int64_t>(readUnsigned(at + 1, width)));
            }
            case 0xA:
            case 0xC: {
                const std::uint64_t n = count(at);
                need(at, n, refSize_);
                budget_.chargeValues(n);
                enter(index);
                PlistArray array;
                array.reserve(n);
                for (std::uint64_t i = 0; i < n; ++i)
                    array.push_back(object(readUnsigned(at + i * refSize_, refSize_), depth + 1));
                leave();
                return PlistValue(std::move(array));
            }
            case 0xD: {
                const std::uint64_t n = count(at);
                need(at, n, 2 * std::size_t{refSize_});
                budget_.chargeValues(2 * n);  // keys and values
                enter(index);
                PlistDict dict;
                for (std::uint64_t i = 0; i < n; ++i) {
                    const std::uint64_t keyRef = readUnsigned(at + i * refSize_, refSize_);
                    const std::uint64_t valueRef = readUnsigned(at + (n + i) * refSize_, refSize_);
                    std::size_t keyAt = offsetOf(keyRef);
                    const std::uint8_t keyType = bytes_[keyAt] >> 4;
                    if (keyType != 0x5 && keyType != 0x6) corrupt();
                    std::string key = string(keyAt);
                    dict.insert_or_assign(std::move(key), object(valueRef, depth + 1));
                }
                leave();
                return PlistValue(std::move(dict));
            }
            default:
                corrupt();
        }
    }

    /// An ASCII (0x5) or UTF-16 big-endian (0x6) string at `at`, as valid UTF-8.
    std::string string(std::size_t at) {
        std::string out = text(at);
        budget_.charge(out.size());
        return out;
    }

    std::string text(std::size_t at) const {
        const bool wide = (bytes_[at] >> 4) == 0x6;
        const std::uint64_t n = count(at);
        need(at, n, wide ? 2 : 1);
        if (!wide) {
            // ASCII by the format, but hostile bytes must not leave here as invalid text.
            const std::string_view narrow(reinterpret_cast<const char*>(bytes_.data() + at), n);
            return isValidUTF8(narrow) ? std::string(narrow) : repairedUTF8(narrow);
        }
        std::string out;
        out.reserve(n);
        for (std::uint64_t i = 0; i < n; ++i) {
            char32_t c = static_cast<char32_t>(readUnsigned(at + 2 * i, 2));
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
                const auto low = static_cast<char32_t>(readUnsigned(at + 2 * (i + 1), 2));
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
            if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // an unpaired surrogate
            appendUTF8(out, c);
        }
        return out;
    }

    // A container that contains itself would never end.
    void enter(std::uint64_t index) {
        if (std::find(open_.begin(), open_.end(), index) != open_.end()) corrupt();
        open_.push_back(index);
    }
    void leave() { open_.pop_back(); }

    ByteView bytes_;
    std::size_t offsetSize_ = 0;
    std::size_t refSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t topObject_ = 0;
    std::uint64_t tableOffset_ = 0;
    plist_decoding::Budget budget_;
    std::vector<std::uint64_t> open_;
};

}  // namespace

bool isBinaryPlist(ByteView bytes) noexcept {
    return bytes.size() >= kSignature.size() && std::memcmp(bytes.data(), kSignature.data(), kSignature.size()) == 0;
}

PlistValue readBinaryPlist(ByteView bytes) { return Reader(bytes).read(); }

}  // namespace celvio
