#pragma once

#include <string_view>

namespace celvio {

/// The blanks of the C locale's isspace.
inline constexpr std::string_view kBlanks = " \t\n\r\v\f";

/// The text without leading and trailing `blanks`; empty when nothing else is left.
inline std::string_view trimmed(std::string_view text, std::string_view blanks = kBlanks) {
    const auto begin = text.find_first_not_of(blanks);
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

}  // namespace celvio
