#include "history/local_calendar.hpp"

#include <cmath>
#include <cstdio>

namespace celvio::LocalCalendar {
namespace {

std::optional<std::tm> localTime(HistoryEntry::Date date) noexcept {
    const double seconds = std::floor(storableDate(date).time_since_epoch().count());
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return std::nullopt;
    return tm;
}

// No zone's UTC offset moves by more than this within a month (offsets span -12 h to
// +14 h), so an estimate from the wall clock is off by at most this much.
constexpr std::time_t kLargestOffsetChange = 26 * 3600;

constexpr std::time_t daysInMonth(int year, int month) noexcept {
    constexpr std::time_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 1 && leap ? 29 : kDays[month];
}

}  // namespace

bool sameDay(HistoryEntry::Date a, HistoryEntry::Date b) noexcept {
    // No two instants more than two days apart share a local day, whatever the zone.
    if (std::abs((a - b).count()) >= 2 * 86'400.0) return false;
    const auto ta = localTime(a);
    const auto tb = localTime(b);
    return ta && tb && ta->tm_year == tb->tm_year && ta->tm_yday == tb->tm_yday;
}

int Months::month(HistoryEntry::Date date) noexcept {
    const auto t = static_cast<std::time_t>(std::floor(storableDate(date).time_since_epoch().count()));
    if (t >= start_ && t < end_) return month_;
    const auto tm = localTime(date);
    if (!tm) {
        start_ = 1;
        end_ = 0;
        return -1;
    }
    const int year = tm->tm_year + 1900;
    month_ = year * 12 + tm->tm_mon;
    // The month's bounds estimated from the wall clock, shrunk by the largest offset
    // change: what lies inside is certainly this month. Cheaper than mktime, which
    // rereads the zone file on every call.
    const std::time_t intoMonth =
        (tm->tm_mday - 1) * std::time_t{86'400} + tm->tm_hour * 3600 + tm->tm_min * 60 + tm->tm_sec;
    const std::time_t estimatedStart = t - intoMonth;
    start_ = estimatedStart + kLargestOffsetChange;
    end_ = estimatedStart + daysInMonth(year, tm->tm_mon) * 86'400 - kLargestOffsetChange;
    return month_;
}

std::string Months::label(int month) {
    if (month < 0) return "0000-00";
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d", month / 12, month % 12 + 1);
    return text;
}

}  // namespace celvio::LocalCalendar
