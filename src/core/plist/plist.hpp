#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace celvio {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

/// A property-list date: seconds since 2001-01-01 00:00:00 UTC, the format's own epoch.
struct PlistDate {
    double secondsSince2001 = 0;
    bool operator==(const PlistDate&) const = default;
};

class PlistValue;
using PlistArray = std::vector<PlistValue>;
/// Keys in byte order, which for UTF-8 is code-point order.
using PlistDict = std::map<std::string, PlistValue, std::less<>>;

/// One property-list value. Integers are signed 64-bit: an unsigned value beyond the
/// signed range keeps its bit pattern (18446744073709551209 is -407).
class PlistValue {
public:
    using Storage = std::variant<std::string, std::int64_t, double, bool, Bytes, PlistDate, PlistArray, PlistDict>;

    PlistValue() = default;
    PlistValue(std::string v) : storage_(std::move(v)) {}
    PlistValue(const char* v) : storage_(std::string(v)) {}
    PlistValue(std::string_view v) : storage_(std::string(v)) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    PlistValue(T v) : storage_(static_cast<std::int64_t>(v)) {}
    PlistValue(double v) : storage_(v) {}
    PlistValue(bool v) : storage_(v) {}
    PlistValue(Bytes v) : storage_(std::move(v)) {}
    PlistValue(PlistDate v) : storage_(v) {}
    PlistValue(PlistArray v) : storage_(std::move(v)) {}
    PlistValue(PlistDict v) : storage_(std::move(v)) {}

    /// The value as T, or null when it holds another type.
    template <typename T>
    const T* get() const noexcept { return std::get_if<T>(&storage_); }
    template <typename T>
    T* get() noexcept { return std::get_if<T>(&storage_); }
    const Storage& storage() const noexcept { return storage_; }

    bool operator==(const PlistValue&) const = default;

private:
    Storage storage_;
};

/// XML property list, version 1.0 (written by libplist). Throws PropertyListError.
std::string encodeXML(const PlistValue& value);
/// Binary property list ("bplist00"). Throws PropertyListError.
Bytes encodeBinary(const PlistValue& value);
/// Decodes an XML or binary property list, whichever the bytes are. Throws
/// PropertyListError when they are neither.
PlistValue decodePlist(ByteView bytes);

// Typed accessors: never throw; absent for a missing key or a type they do not accept.
// Integers, reals and booleans all count as numbers.

/// A number (reals truncated toward zero, booleans 0 or 1) or a string that is, as a
/// whole, an optionally signed run of ASCII digits within the signed 64-bit range.
std::optional<std::int64_t> intValue(const PlistDict& dict, std::string_view key);
/// A number, or a string that is as a whole a floating-point literal.
std::optional<double> doubleValue(const PlistDict& dict, std::string_view key);
/// A boolean, or any other number as "non-zero"; strings are not accepted.
std::optional<bool> boolValue(const PlistDict& dict, std::string_view key);
/// A string unchanged, or data decoded as UTF-8 (invalid sequences become U+FFFD) with
/// control and format characters trimmed from both ends.
std::optional<std::string> stringValue(const PlistDict& dict, std::string_view key);
/// A dictionary, or null. Points into `dict`.
const PlistDict* dictValue(const PlistDict& dict, std::string_view key);

}  // namespace celvio
