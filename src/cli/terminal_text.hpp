#pragma once

#include "utf8.hpp"

#include <cstdio>
#include <string>
#include <string_view>

namespace celvio::cli {

/// Text from a device, the daemon or the system as it may reach a terminal: control
/// characters (C0, DEL, C1) become visible escapes such as \u{1b}, so a device name
/// cannot move the cursor, clear the screen or break a line of our output.
inline std::string visible(std::string_view text) {
    const ByteView bytes = utf8Bytes(text);
    std::string out;
    out.reserve(text.size());
    bool valid = true;
    for (std::size_t i = 0; i < bytes.size();) {
        const char32_t c = nextCodePoint(bytes, i, valid);
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            char escape[16];
            std::snprintf(escape, sizeof(escape), "\\u{%x}", static_cast<unsigned>(c));
            out += escape;
        } else {
            appendUTF8(out, c);
        }
    }
    return out;
}

}  // namespace celvio::cli
