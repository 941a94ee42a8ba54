#pragma once

#include "base/uuid.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace celvio {

/// One stored battery measurement of one device: the computer itself or an attached
/// iPhone or iPad. A plain value, compared over all twelve fields, identified by `id`.
struct HistoryEntry {
    enum class Kind { mac, ios };

    /// Seconds since 1970-01-01 00:00:00 UTC as a double, like the platform date of the
    /// original design; a system_clock::time_point converts implicitly.
    using Date = std::chrono::time_point<std::chrono::system_clock, std::chrono::duration<double>>;

    UUID id;
    Date date;
    Kind kind = Kind::ios;
    std::string deviceSerial;
    std::string deviceName;
    std::string modelIdentifier;  ///< may be empty
    std::optional<std::string> osVersion;
    std::optional<std::string> batterySerial;
    std::int64_t cycleCount = 0;
    std::int64_t fullChargeCapacity = 0;  ///< mAh
    std::int64_t designCapacity = 0;      ///< mAh
    /// Absent for the application's own measurements; "coconutBattery" for imported ones.
    std::optional<std::string> source;

    /// Full-charge over design capacity times 100, unclamped; 0 when the design capacity
    /// is below 1.
    double health() const noexcept;

    bool operator==(const HistoryEntry&) const = default;
};

/// The entry as the history file can hold it: its date moved into the storable range
/// (see storableDate) and each maximal invalid UTF-8 sequence in its texts replaced by
/// U+FFFD.
HistoryEntry storable(HistoryEntry entry);

/// "mac" or "ios".
std::string_view rawValue(HistoryEntry::Kind kind) noexcept;
/// The kind for exactly "mac" or "ios" (case-sensitive); absent otherwise.
std::optional<HistoryEntry::Kind> kindFromRawValue(std::string_view text) noexcept;

/// The earliest and latest dates the file's four-digit-year form can hold
/// (0000-01-01T00:00:00Z and 9999-12-31T23:59:59Z).
HistoryEntry::Date earliestStorableDate() noexcept;
HistoryEntry::Date latestStorableDate() noexcept;
/// The date moved into the storable range; not-a-number becomes the earliest date.
HistoryEntry::Date storableDate(HistoryEntry::Date date) noexcept;

/// yyyy-MM-dd'T'HH:mm:ss'Z' in UTC, sub-seconds dropped (rounded towards the past).
/// Dates outside the storable range are first moved into it.
std::string internetDateText(HistoryEntry::Date date);
/// Appends the same 20 characters.
void appendInternetDate(std::string& out, HistoryEntry::Date date);
/// Reads an RFC 3339 internet date-time with whole seconds: "Z" or a "+hh:mm"/"-hh:mm"
/// offset. Absent for a fractional-seconds part, an impossible date or one outside the
/// storable range.
std::optional<HistoryEntry::Date> parseInternetDate(std::string_view text) noexcept;

}  // namespace celvio

template <>
struct std::hash<celvio::HistoryEntry> {
    std::size_t operator()(const celvio::HistoryEntry& entry) const noexcept;
};
