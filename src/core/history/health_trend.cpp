#include "history/health_trend.hpp"

#include "history/local_calendar.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

namespace celvio {
namespace {

constexpr double kDaySeconds = 86400.0;
constexpr double kMonthDays = 365.2425 / 12;  // the mean Gregorian month
constexpr double kWindowDays = 365;
constexpr double kHorizonDays = 5 * 365.2425;
constexpr double kMinimumSpanDays = 60;
constexpr std::size_t kMinimumDays = 5;
constexpr double kThreshold = 80;

/// The battery an entry was measured on, as far as the entry tells.
struct Battery {
    std::string_view serial;  // empty: unknown
    std::int64_t designCapacity;

    explicit Battery(const HistoryEntry& entry)
        : serial(entry.batterySerial ? std::string_view(*entry.batterySerial) : std::string_view()),
          designCapacity(entry.designCapacity) {}

    /// A different battery for sure: another design capacity, or another serial where
    /// both serials are known.
    bool differsFrom(const Battery& other) const {
        return designCapacity != other.designCapacity ||
               (!serial.empty() && !other.serial.empty() && serial != other.serial);
    }
};

/// The index of the first entry of the current battery.
std::size_t currentBatteryStart(const std::vector<const HistoryEntry*>& entries) {
    if (entries.empty()) return 0;
    std::size_t start = 0;
    Battery current(*entries[0]);
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const Battery candidate(*entries[i]);
        if (candidate.differsFrom(current)) {
            // Only a change the next entry repeats, and not merely by knowing no serial:
            // one odd reading, high or low, is no new battery.
            const bool repeated = i + 1 < entries.size() && !Battery(*entries[i + 1]).differsFrom(candidate) &&
                                  Battery(*entries[i + 1]).differsFrom(current);
            if (repeated) {
                start = i;
                current = candidate;
            }
        } else if (current.serial.empty() && !candidate.serial.empty()) {
            // Imported entries may lack the serial our own readings carry.
            current = candidate;
        }
    }
    return start;
}

double median(std::vector<double>& values) {
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
    return (lower + upper) / 2;
}

struct DayPoint {
    double day;     // days from `now`, negative in the past
    double health;  // percent
};

/// One point per local calendar day: the mean date and the mean health of its entries.
std::vector<DayPoint> dayPoints(const std::vector<const HistoryEntry*>& entries, HistoryEntry::Date now) {
    std::vector<DayPoint> points;
    std::size_t first = 0;
    for (std::size_t i = 1; i <= entries.size(); ++i) {
        if (i < entries.size() && LocalCalendar::sameDay(entries[first]->date, entries[i]->date)) continue;
        double days = 0;
        double health = 0;
        for (std::size_t k = first; k < i; ++k) {
            days += (entries[k]->date - now).count() / kDaySeconds;
            health += entries[k]->health();
        }
        const auto count = static_cast<double>(i - first);
        points.push_back({days / count, health / count});
        first = i;
    }
    return points;
}

std::string monthName(int month) {
    static constexpr const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return names[(month - 1) % 12];
}

std::optional<YearMonth> monthOf(HistoryEntry::Date date) {
    LocalCalendar::Months months;
    const int number = months.month(date);
    if (number < 0) return std::nullopt;
    return YearMonth{number / 12, number % 12 + 1};
}

}  // namespace

std::string yearMonthText(YearMonth month) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d", month.year, month.month);
    return text;
}

std::optional<HealthTrend> healthTrend(const HistoryDeviceGroup& group, HistoryEntry::Date now) {
    // An entry without a design capacity has no health, and one after `now` is not yet.
    std::vector<const HistoryEntry*> valid;
    for (const auto& entry : group.entries)
        if (entry.designCapacity >= 1 && entry.date <= now) valid.push_back(&entry);
    std::stable_sort(valid.begin(), valid.end(), [](const auto* a, const auto* b) { return a->date < b->date; });

    const HistoryEntry::Date windowStart = now - HistoryEntry::Date::duration(kWindowDays * kDaySeconds);
    std::vector<const HistoryEntry*> used;
    for (std::size_t i = currentBatteryStart(valid); i < valid.size(); ++i)
        if (valid[i]->date > windowStart) used.push_back(valid[i]);
    if (used.empty() || (used.back()->date - used.front()->date).count() < kMinimumSpanDays * kDaySeconds)
        return std::nullopt;
    const std::vector<DayPoint> points = dayPoints(used, now);
    if (points.size() < kMinimumDays) return std::nullopt;

    std::vector<double> values;
    values.reserve(points.size() * (points.size() - 1) / 2);
    for (std::size_t i = 0; i < points.size(); ++i)
        for (std::size_t j = i + 1; j < points.size(); ++j)
            values.push_back((points[j].health - points[i].health) / (points[j].day - points[i].day));
    const double perDay = median(values);
    values.clear();
    for (const auto& point : points) values.push_back(point.health - perDay * point.day);
    const double healthNow = median(values);

    HealthTrend trend{perDay * kMonthDays, healthNow, std::nullopt};
    if (healthNow <= kThreshold) {
        trend.reaches80 = monthOf(now);
    } else if (perDay < 0) {
        const double days = (kThreshold - healthNow) / perDay;
        if (days <= kHorizonDays) trend.reaches80 = monthOf(now + HistoryEntry::Date::duration(days * kDaySeconds));
    }
    return trend;
}

std::string healthTrendText(const HealthTrend& trend, std::string_view decimalPoint) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.1f", std::fabs(trend.perMonth));
    std::string rate = digits;
    const bool zero = rate == "0.0";
    rate.replace(rate.find('.'), 1, decimalPoint);
    // A true minus sign (U+2212), as typeset text has it; no sign for a rate that shows as zero.
    std::string text = zero ? "" : trend.perMonth < 0 ? "\u2212" : "+";
    text += rate + " % a month \u00b7 ";
    if (trend.healthNow <= kThreshold) return text + "below 80 %";
    if (!trend.reaches80) return text + "80 % not within 5 years";
    return text + "80 % around " + monthName(trend.reaches80->month) + " " + std::to_string(trend.reaches80->year);
}

}  // namespace celvio
