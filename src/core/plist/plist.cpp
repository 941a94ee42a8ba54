#include "plist/plist.hpp"

#include "plist/binary_plist.hpp"
#include "base/celvio_error.hpp"
#include "base/utf8.hpp"
#include "plist/xml_plist.hpp"

#include <plist/plist.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <memory>

namespace celvio {
namespace {

struct PlistFree {
    void operator()(void* node) const noexcept { plist_free(node); }
};
using PlistNode = std::unique_ptr<void, PlistFree>;

plist_t toNode(const PlistValue& value) {
    struct Visitor {
        plist_t operator()(const std::string& v) const { return plist_new_string(v.c_str()); }
        plist_t operator()(std::int64_t v) const { return plist_new_uint(static_cast<std::uint64_t>(v)); }
        plist_t operator()(double v) const { return plist_new_real(v); }
        plist_t operator()(bool v) const { return plist_new_bool(v ? 1 : 0); }
        plist_t operator()(const Bytes& v) const {
            return plist_new_data(reinterpret_cast<const char*>(v.data()), v.size());
        }
        plist_t operator()(const PlistDate& v) const {
            const double whole = std::floor(v.secondsSince2001);
            return plist_new_date(static_cast<std::int32_t>(whole),
                                  static_cast<std::int32_t>((v.secondsSince2001 - whole) * 1e6));
        }
        plist_t operator()(const PlistArray& v) const {
            PlistNode array(plist_new_array());
            for (const auto& item : v) plist_array_append_item(array.get(), toNode(item));
            return array.release();
        }
        plist_t operator()(const PlistDict& v) const {
            PlistNode dict(plist_new_dict());
            for (const auto& [key, item] : v) plist_dict_set_item(dict.get(), key.c_str(), toNode(item));
            return dict.release();
        }
    };
    return std::visit(Visitor{}, value.storage());
}

const PlistValue* find(const PlistDict& dict, std::string_view key) {
    auto it = dict.find(key);
    return it == dict.end() ? nullptr : &it->second;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return std::nullopt;
    // Accumulate toward the negative end, which holds one more value than the positive.
    std::int64_t result = 0;
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (result < (min + digit) / 10) return std::nullopt;
        result = result * 10 - digit;
    }
    if (!negative) {
        if (result == min) return std::nullopt;
        result = -result;
    }
    return result;
}

std::optional<double> parseDouble(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    auto format = std::chars_format::general;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        format = std::chars_format::hex;
        text.remove_prefix(2);
    }
    // from_chars takes no sign of its own here, and no blanks.
    if (text.empty() || text[0] == '+' || text[0] == '-') return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, format);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return negative ? -value : value;
}

// Unicode general categories Cc and Cf (Unicode 15), the platform's control characters.
bool isControl(char32_t c) {
    struct Range { char32_t lo, hi; };
    static constexpr Range ranges[] = {
        {0x0000, 0x001F}, {0x007F, 0x009F}, {0x00AD, 0x00AD}, {0x0600, 0x0605}, {0x061C, 0x061C},
        {0x06DD, 0x06DD}, {0x070F, 0x070F}, {0x0890, 0x0891}, {0x08E2, 0x08E2}, {0x180E, 0x180E},
        {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x2066, 0x206F}, {0xFEFF, 0xFEFF},
        {0xFFF9, 0xFFFB}, {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F},
        {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
    };
    for (const auto& r : ranges) {
        if (c < r.lo) return false;
        if (c <= r.hi) return true;
    }
    return false;
}

}  // namespace

std::string encodeXML(const PlistValue& value) {
    PlistNode node(toNode(value));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node.get(), &xml, &length);
    if (!xml) throw PropertyListError("The data couldn’t be written because it isn’t in the correct format.");
    std::string out(xml, length);
    plist_to_xml_free(xml);
    return out;
}

Bytes encodeBinary(const PlistValue& value) {
    PlistNode node(toNode(value));
    char* bin = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node.get(), &bin, &length);
    if (!bin) throw PropertyListError("The data couldn’t be written because it isn’t in the correct format.");
    const auto* p = reinterpret_cast<const std::uint8_t*>(bin);
    Bytes out(p, p + length);
    plist_to_bin_free(bin);
    return out;
}

PlistValue decodePlist(ByteView bytes) {
    // Read here rather than by libplist: its 2.2 reader aborts the process on a binary
    // key holding a NUL byte, and turns dictionaries into our type in quadratic time.
    return isBinaryPlist(bytes) ? readBinaryPlist(bytes) : readXMLPlist(bytes);
}

std::optional<std::int64_t> intValue(const PlistDict& dict, std::string_view key) {
    const PlistValue* v = find(dict, key);
    if (!v) return std::nullopt;
    if (const auto* i = v->get<std::int64_t>()) return *i;
    if (const auto* b = v->get<bool>()) return *b ? 1 : 0;
    if (const auto* d = v->get<double>()) {
        // 2^63 is exactly representable; anything at or beyond it has no int64 value.
        if (!std::isfinite(*d) || *d >= 9223372036854775808.0 || *d < -9223372036854775808.0) return std::nullopt;
        return static_cast<std::int64_t>(*d);
    }
    if (const auto* s = v->get<std::string>()) return parseInteger(*s);
    return std::nullopt;
}

std::optional<double> doubleValue(const PlistDict& dict, std::string_view key) {
    const PlistValue* v = find(dict, key);
    if (!v) return std::nullopt;
    if (const auto* d = v->get<double>()) return *d;
    if (const auto* i = v->get<std::int64_t>()) return static_cast<double>(*i);
    if (const auto* b = v->get<bool>()) return *b ? 1.0 : 0.0;
    if (const auto* s = v->get<std::string>()) return parseDouble(*s);
    return std::nullopt;
}

std::optional<bool> boolValue(const PlistDict& dict, std::string_view key) {
    const PlistValue* v = find(dict, key);
    if (!v) return std::nullopt;
    if (const auto* b = v->get<bool>()) return *b;
    if (const auto* i = v->get<std::int64_t>()) return *i != 0;
    if (const auto* d = v->get<double>()) return *d != 0;
    return std::nullopt;
}

std::optional<std::string> stringValue(const PlistDict& dict, std::string_view key) {
    const PlistValue* v = find(dict, key);
    if (!v) return std::nullopt;
    if (const auto* s = v->get<std::string>()) return *s;
    if (const auto* data = v->get<Bytes>()) {
        const std::u32string decoded = decodeUTF8(*data);
        std::size_t begin = 0, end = decoded.size();
        while (begin < end && isControl(decoded[begin])) ++begin;
        while (end > begin && isControl(decoded[end - 1])) --end;
        std::string out;
        out.reserve(end - begin);
        for (std::size_t i = begin; i < end; ++i) appendUTF8(out, decoded[i]);
        return out;
    }
    return std::nullopt;
}

const PlistDict* dictValue(const PlistDict& dict, std::string_view key) {
    const PlistValue* v = find(dict, key);
    return v ? v->get<PlistDict>() : nullptr;
}

}  // namespace celvio
