#pragma once

#include "plist.hpp"  // ByteView

#include <string>
#include <string_view>

namespace celvio {

/// Decodes UTF-8, replacing each maximal invalid subsequence with one U+FFFD.
inline std::u32string decodeUTF8(ByteView bytes) {
    std::u32string out;
    out.reserve(bytes.size());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = bytes[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int need = 0;
        std::uint8_t lo = 0x80, hi = 0xBF;
        char32_t cp = 0;
        if (b >= 0xC2 && b <= 0xDF) { need = 1; cp = b & 0x1F; }
        else if (b == 0xE0) { need = 2; lo = 0xA0; cp = b & 0x0F; }
        else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) { need = 2; cp = b & 0x0F; }
        else if (b == 0xED) { need = 2; hi = 0x9F; cp = b & 0x0F; }
        else if (b == 0xF0) { need = 3; lo = 0x90; cp = b & 0x07; }
        else if (b >= 0xF1 && b <= 0xF3) { need = 3; cp = b & 0x07; }
        else if (b == 0xF4) { need = 3; hi = 0x8F; cp = b & 0x07; }
        else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        // Replace the maximal valid prefix of a broken sequence with one U+FFFD.
        std::size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n || bytes[j] < lo || bytes[j] > hi) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (bytes[j] & 0x3F);
            lo = 0x80;
            hi = 0xBF;
        }
        out.push_back(ok ? cp : 0xFFFD);
        i = j;
    }
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

/// The text with each maximal invalid UTF-8 subsequence replaced by one U+FFFD; valid
/// text comes back unchanged.
inline std::string repairedUTF8(std::string_view text) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    std::string out;
    out.reserve(text.size());
    for (const char32_t cp : decodeUTF8(ByteView(data, text.size()))) appendUTF8(out, cp);
    return out;
}

}  // namespace celvio
