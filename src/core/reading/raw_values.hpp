#pragma once

#include "plist/plist.hpp"

#include <string>
#include <utility>
#include <vector>

namespace celvio {

/// One row of the raw values sheet: the dot-separated key ("BatteryData.Lifetime.X") and
/// the value's text.
using RawRow = std::pair<std::string, std::string>;

}  // namespace celvio

/// A battery's raw registry dictionary as (key, text) rows for the raw values sheet.
namespace celvio::RawValues {

/// The rows of `dict` in ascending key order (code-point order: "A", "a", "b"), keys
/// prefixed with `prefix` and ".". Dictionaries met at depths 0 and 1 are expanded into
/// their own rows; deeper ones show as "{…}". Callers start with the defaults.
std::vector<RawRow> flatten(const PlistDict& dict, const std::string& prefix = "", int depth = 0);

/// One value as text:
/// - booleans "true" / "false"; integers in decimal; reals in their shortest form that
///   reads back exactly ("31.25", "0.1", "3", "1e+20");
/// - strings unchanged;
/// - data as lower-case hex in angle brackets, "<0a1b>", at most 24 bytes of it:
///   longer data ends "… 100 bytes>";
/// - arrays "[1, x, {…}]", at most 8 elements, longer ones end ", … (12)]";
/// - dictionaries "{…}";
/// - dates in UTC, whole seconds, "2024-02-29 12:30:05 +0000" (the shape of a default
///   date description on Apple platforms); a date beyond years ±9999 or not finite
///   shows its seconds since 2001 as a real.
std::string describe(const PlistValue& value);

}  // namespace celvio::RawValues
