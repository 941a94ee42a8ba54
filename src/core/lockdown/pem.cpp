#include "lockdown/pem.hpp"

#include "lockdown/openssl_handles.hpp"  // cleanse
#include "base/utf8.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace celvio::PEM {
namespace {

// Unicode White_Space: PEM bodies may be wrapped with any of these.
bool isWhitespace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

int base64Digit(char32_t c) {
    if (c >= 'A' && c <= 'Z') return static_cast<int>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<int>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

/// Standard Base64 with its padding; any other character fails.
std::optional<Bytes> decodeBase64(const std::u32string& text) {
    if (text.size() % 4 != 0) return std::nullopt;
    Bytes out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int pad = 0;
        if (last && text[i + 3] == '=') pad = text[i + 2] == '=' ? 2 : 1;
        std::uint32_t group = 0;
        for (int k = 0; k < 4; ++k) {
            const int digit = k >= 4 - pad ? 0 : base64Digit(text[i + k]);
            if (digit < 0) {
                cleanse(out);
                return std::nullopt;
            }
            group = (group << 6) | static_cast<std::uint32_t>(digit);
        }
        out.push_back(static_cast<std::uint8_t>(group >> 16));
        if (pad < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
        if (pad < 1) out.push_back(static_cast<std::uint8_t>(group));
    }
    return out;
}

std::optional<Block> bareDER(ByteView bytes) {
    if (bytes.empty() || bytes[0] != 0x30) return std::nullopt;
    return Block{"DER", Bytes(bytes.begin(), bytes.end())};
}

}  // namespace

std::optional<Block> decode(ByteView bytes) {
    // The input may be a private key: its decoded copies are wiped on the way out.
    std::u32string text = decodeUTF8(bytes);
    const CleanseOnExit wipeText(text);
    static const std::u32string begin = U"-----BEGIN ", dashes = U"-----", end = U"-----END ";
    const auto beginAt = text.find(begin);
    if (beginAt == std::u32string::npos) return bareDER(bytes);
    const auto labelAt = beginAt + begin.size();
    const auto dashesAt = text.find(dashes, labelAt);
    if (dashesAt == std::u32string::npos) return bareDER(bytes);
    const auto bodyAt = dashesAt + dashes.size();
    const auto endAt = text.find(end, bodyAt);
    if (endAt == std::u32string::npos) return std::nullopt;

    std::u32string body;
    const CleanseOnExit wipeBody(body);
    for (auto i = bodyAt; i < endAt; ++i)
        if (!isWhitespace(text[i])) body.push_back(text[i]);
    auto der = decodeBase64(body);
    if (!der) return std::nullopt;
    std::string label;
    for (auto i = labelAt; i < dashesAt; ++i) appendUTF8(label, text[i]);
    return Block{std::move(label), std::move(*der)};
}

namespace {

/// One DER element: its tag and the content's byte range [start, end).
struct TLV {
    std::uint8_t tag;
    std::size_t start;
    std::size_t end;
};

/// Reads the element at `position` and moves `position` past it. Definite lengths of
/// up to four bytes only.
std::optional<TLV> readTLV(ByteView der, std::size_t& position) {
    if (position > der.size() || der.size() - position < 2) return std::nullopt;
    std::size_t at = position;
    const std::uint8_t tag = der[at];
    const std::uint8_t first = der[at + 1];
    at += 2;
    std::size_t length = first;
    if (first >= 0x80) {
        const std::size_t n = first & 0x7F;
        if (n == 0 || n > 4 || der.size() - at < n) return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < n; ++i) length = (length << 8) | der[at + i];
        at += n;
    }
    if (length > der.size() - at) return std::nullopt;
    position = at + length;
    return TLV{tag, at, at + length};
}

}  // namespace

std::optional<Bytes> pkcs8ToPKCS1(ByteView der) {
    std::size_t position = 0;
    const auto outer = readTLV(der, position);
    if (!outer || outer->tag != 0x30) return std::nullopt;
    position = outer->start;
    for (std::uint8_t expected : {std::uint8_t{0x02}, std::uint8_t{0x30}}) {
        const auto element = readTLV(der, position);
        if (!element || element->tag != expected) return std::nullopt;
    }
    const auto key = readTLV(der, position);
    if (!key || key->tag != 0x04) return std::nullopt;
    return Bytes(der.begin() + static_cast<std::ptrdiff_t>(key->start), der.begin() + static_cast<std::ptrdiff_t>(key->end));
}

}  // namespace celvio::PEM
