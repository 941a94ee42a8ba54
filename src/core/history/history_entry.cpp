#include "history/history_entry.hpp"

#include "base/utf8.hpp"

#include <cmath>

namespace celvio {
namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;
// Days from 1970-01-01 to 0000-01-01 and to 10000-01-01 (proleptic Gregorian).
constexpr std::int64_t kFirstDay = -719'528;
constexpr std::int64_t kEndDay = 2'932'897;

// Howard Hinnant's days_from_civil and civil_from_days
// (https://howardhinnant.github.io/date_algorithms.html).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146'097 + static_cast<std::int64_t>(doe) - 719'468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

Civil civilFromDays(std::int64_t z) noexcept {
    z += 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const auto doe = static_cast<unsigned>(z - era * 146'097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

unsigned daysInMonth(std::int64_t year, unsigned month) noexcept {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
}

void appendDigits(std::string& out, std::int64_t value, int width) {
    char digits[8];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<std::size_t>(width));
}

/// The value of `count` decimal digits at `text[at]`, or -1.
int readDigits(std::string_view text, std::size_t at, int count) noexcept {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[at + static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

void repair(std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            text = repairedUTF8(text);
            return;
        }
    }
}

void repair(std::optional<std::string>& text) {
    if (text) repair(*text);
}

HistoryEntry::Date fromSeconds(double seconds) noexcept {
    return HistoryEntry::Date(HistoryEntry::Date::duration(seconds));
}

}  // namespace

double HistoryEntry::health() const noexcept {
    if (designCapacity < 1) return 0.0;
    return static_cast<double>(fullChargeCapacity) / static_cast<double>(designCapacity) * 100.0;
}

HistoryEntry storable(HistoryEntry entry) {
    entry.date = storableDate(entry.date);
    repair(entry.deviceSerial);
    repair(entry.deviceName);
    repair(entry.modelIdentifier);
    repair(entry.osVersion);
    repair(entry.batterySerial);
    repair(entry.source);
    return entry;
}

std::string_view rawValue(HistoryEntry::Kind kind) noexcept { return kind == HistoryEntry::Kind::mac ? "mac" : "ios"; }

std::optional<HistoryEntry::Kind> kindFromRawValue(std::string_view text) noexcept {
    if (text == "mac") return HistoryEntry::Kind::mac;
    if (text == "ios") return HistoryEntry::Kind::ios;
    return std::nullopt;
}

HistoryEntry::Date earliestStorableDate() noexcept {
    return fromSeconds(static_cast<double>(kFirstDay * kSecondsPerDay));
}

HistoryEntry::Date latestStorableDate() noexcept {
    return fromSeconds(static_cast<double>(kEndDay * kSecondsPerDay - 1));
}

HistoryEntry::Date storableDate(HistoryEntry::Date date) noexcept {
    if (std::isnan(date.time_since_epoch().count()) || date < earliestStorableDate()) return earliestStorableDate();
    if (date > latestStorableDate()) return latestStorableDate();
    return date;
}

void appendInternetDate(std::string& out, HistoryEntry::Date date) {
    const auto seconds = static_cast<std::int64_t>(std::floor(storableDate(date).time_since_epoch().count()));
    const std::int64_t day = seconds >= 0 ? seconds / kSecondsPerDay : (seconds - kSecondsPerDay + 1) / kSecondsPerDay;
    const std::int64_t secondOfDay = seconds - day * kSecondsPerDay;
    const Civil civil = civilFromDays(day);
    appendDigits(out, civil.year, 4);
    out += '-';
    appendDigits(out, civil.month, 2);
    out += '-';
    appendDigits(out, civil.day, 2);
    out += 'T';
    appendDigits(out, secondOfDay / 3600, 2);
    out += ':';
    appendDigits(out, secondOfDay / 60 % 60, 2);
    out += ':';
    appendDigits(out, secondOfDay % 60, 2);
    out += 'Z';
}

std::string internetDateText(HistoryEntry::Date date) {
    std::string out;
    out.reserve(20);
    appendInternetDate(out, date);
    return out;
}

std::optional<HistoryEntry::Date> parseInternetDate(std::string_view text) noexcept {
    // yyyy-MM-ddTHH:mm:ss then Z or ±hh:mm
    if (text.size() != 20 && text.size() != 25) return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':') return std::nullopt;
    const int year = readDigits(text, 0, 4);
    const int month = readDigits(text, 5, 2);
    const int day = readDigits(text, 8, 2);
    const int hour = readDigits(text, 11, 2);
    const int minute = readDigits(text, 14, 2);
    const int second = readDigits(text, 17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return std::nullopt;
    if (static_cast<unsigned>(day) > daysInMonth(year, static_cast<unsigned>(month))) return std::nullopt;

    std::int64_t offset = 0;
    if (text.size() == 20) {
        if (text[19] != 'Z') return std::nullopt;
    } else {
        const char sign = text[19];
        const int offsetHours = readDigits(text, 20, 2);
        const int offsetMinutes = readDigits(text, 23, 2);
        if ((sign != '+' && sign != '-') || text[22] != ':' || offsetHours < 0 || offsetHours > 23 ||
            offsetMinutes < 0 || offsetMinutes > 59)
            return std::nullopt;
        offset = (offsetHours * 3600 + offsetMinutes * 60) * (sign == '+' ? 1 : -1);
    }
    const std::int64_t seconds =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * kSecondsPerDay + hour * 3600 +
        minute * 60 + second - offset;
    const HistoryEntry::Date date = fromSeconds(static_cast<double>(seconds));
    // An offset can carry a date just past either end, where it would not survive a save.
    if (date < earliestStorableDate() || date > latestStorableDate()) return std::nullopt;
    return date;
}

}  // namespace celvio

std::size_t std::hash<celvio::HistoryEntry>::operator()(const celvio::HistoryEntry& entry) const noexcept {
    std::size_t seed = std::hash<celvio::UUID>{}(entry.id);
    const auto mix = [&seed](std::size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
    mix(std::hash<double>{}(entry.date.time_since_epoch().count()));
    mix(static_cast<std::size_t>(entry.kind));
    mix(std::hash<std::string>{}(entry.deviceSerial));
    mix(std::hash<std::string>{}(entry.deviceName));
    mix(std::hash<std::string>{}(entry.modelIdentifier));
    mix(std::hash<std::optional<std::string>>{}(entry.osVersion));
    mix(std::hash<std::optional<std::string>>{}(entry.batterySerial));
    mix(std::hash<std::int64_t>{}(entry.cycleCount));
    mix(std::hash<std::int64_t>{}(entry.fullChargeCapacity));
    mix(std::hash<std::int64_t>{}(entry.designCapacity));
    mix(std::hash<std::optional<std::string>>{}(entry.source));
    return seed;
}
