#pragma once

#include "history/history_entry.hpp"
#include "test_support.hpp"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>

namespace celvio::test {

/// Sets TZ (a POSIX rule such as "CET-1CEST,M3.5.0,M10.5.0/3", so no zone files are
/// needed) for one test and restores the old zone afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::string& zone) : env_(std::in_place, "TZ", zone) { tzset(); }
    ~ScopedTimeZone() {
        env_.reset();
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<ScopedEnv> env_;
};

/// A date from UTC text "2024-01-31T23:30:00Z" plus a fraction of a second.
inline HistoryEntry::Date utc(const std::string& text, double fraction = 0.0) {
    const auto date = parseInternetDate(text);
    if (!date) throw std::invalid_argument("not a date: " + text);
    return *date + HistoryEntry::Date::duration(fraction);
}

/// A date from local wall-clock time in the current TZ.
inline HistoryEntry::Date local(int year, int month, int day, int hour, int minute, int second = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return HistoryEntry::Date(HistoryEntry::Date::duration(static_cast<double>(std::mktime(&tm))));
}

/// An entry of an iPhone with capacities 2950/3279 unless changed afterwards.
inline HistoryEntry phoneEntry(std::string serial, HistoryEntry::Date date) {
    return HistoryEntry{
        .id = UUID::random(),
        .date = date,
        .kind = HistoryEntry::Kind::ios,
        .deviceSerial = std::move(serial),
        .deviceName = "Anna's iPhone",
        .modelIdentifier = "iPhone15,2",
        .osVersion = "17.4.1",
        .batterySerial = std::nullopt,
        .cycleCount = 412,
        .fullChargeCapacity = 2950,
        .designCapacity = 3279,
        .source = std::nullopt,
    };
}

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace celvio::test
