#pragma once

#include "display/sections.hpp"
#include "base/utf8.hpp"

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

/// The label padded to `width` characters (not bytes: "Wi‑Fi" holds a three-byte hyphen).
inline std::string padded(const std::string& label, std::size_t width) {
    std::size_t characters = 0;
    for (const char c : label) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return label + std::string(width > characters ? width - characters : 0, ' ');
}

/// Each section's title, then its rows as aligned label and value.
inline void printSections(const std::vector<Sections::Section>& sections) {
    for (const auto& section : sections) {
        std::printf("%s\n", section.title.c_str());
        for (const auto& [label, value] : section.rows)
            std::printf("  %s %s\n", padded(label, 22).c_str(), visible(value).c_str());
    }
}

/// "Raw Values (N)" and a "key = value" line per row.
inline void printRawValues(const std::vector<std::pair<std::string, std::string>>& rows) {
    std::printf("Raw Values (%zu)\n", rows.size());
    for (const auto& [key, value] : rows) std::printf("  %s = %s\n", visible(key).c_str(), visible(value).c_str());
}

}  // namespace celvio::cli
