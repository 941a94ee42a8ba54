#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace celvio {

/// A 128-bit universally unique identifier (RFC 4122).
struct UUID {
    std::array<std::uint8_t, 16> bytes{};

    /// A fresh random (version 4) identifier.
    static UUID random();
    /// Reads the 36-character 8-4-4-4-12 form; hex digits in either case. Absent for
    /// anything else.
    static std::optional<UUID> parse(std::string_view text);
    /// The canonical 36-character form with upper-case hex digits.
    std::string text() const;

    auto operator<=>(const UUID&) const = default;
};

}  // namespace celvio

template <>
struct std::hash<celvio::UUID> {
    std::size_t operator()(const celvio::UUID& uuid) const noexcept;
};
