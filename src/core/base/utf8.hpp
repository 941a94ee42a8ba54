#pragma once

#include "plist/plist.hpp"  // ByteView

#include <string>
#include <string_view>

namespace celvio {

/// The code point at `i`, moving `i` past it. A maximal invalid subsequence (the longest
/// prefix of a well-formed sequence, or one stray byte) gives U+FFFD and clears `valid`.
inline char32_t nextCodePoint(ByteView bytes, std::size_t& i, bool& valid) {
    const std::size_t n = bytes.size();
    const std::uint8_t b = bytes[i++];
    if (b < 0x80) return b;
    int need = 0;
    std::uint8_t lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        cp = b & 0x1F;
    } else if (b == 0xE0) {
        need = 2;
        lo = 0xA0;
        cp = b & 0x0F;
    } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
        need = 2;
        cp = b & 0x0F;
    } else if (b == 0xED) {
        need = 2;
        hi = 0x9F;
        cp = b & 0x0F;
    } else if (b == 0xF0) {
        need = 3;
        lo = 0x90;
        cp = b & 0x07;
    } else if (b >= 0xF1 && b <= 0xF3) {
        need = 3;
        cp = b & 0x07;
    } else if (b == 0xF4) {
        need = 3;
        hi = 0x8F;
        cp = b & 0x07;
    }
    for (int k = 0; k < need; ++k, ++i) {
        if (i >= n || bytes[i] < lo || bytes[i] > hi) need = 0;
        if (need == 0) break;
        cp = (cp << 6) | (bytes[i] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    if (need == 0) {
        valid = false;
        return 0xFFFD;
    }
    return cp;
}

/// Decodes UTF-8, replacing each maximal invalid subsequence with one U+FFFD.
inline std::u32string decodeUTF8(ByteView bytes) {
    std::u32string out;
    out.reserve(bytes.size());
    bool valid = true;
    for (std::size_t i = 0; i < bytes.size();) out.push_back(nextCodePoint(bytes, i, valid));
    return out;
}

/// Appends one code point as UTF-8.
inline void appendUTF8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

/// The text's bytes, as the decoder takes them.
inline ByteView utf8Bytes(std::string_view text) {
    return ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

/// True when the text is well-formed UTF-8.
inline bool isValidUTF8(std::string_view text) {
    const ByteView bytes = utf8Bytes(text);
    bool valid = true;
    for (std::size_t i = 0; i < bytes.size() && valid;) {
        if (bytes[i] < 0x80)
            ++i;
        else
            nextCodePoint(bytes, i, valid);
    }
    return valid;
}

/// The text with each maximal invalid UTF-8 subsequence replaced by one U+FFFD; valid
/// text comes back unchanged.
inline std::string repairedUTF8(std::string_view text) {
    const ByteView bytes = utf8Bytes(text);
    std::string out;
    out.reserve(text.size());
    bool valid = true;
    for (std::size_t i = 0; i < bytes.size();) appendUTF8(out, nextCodePoint(bytes, i, valid));
    return out;
}

}  // namespace celvio
