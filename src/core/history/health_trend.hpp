#pragma once

#include "history/history_entry.hpp"
#include "history/history_grouping.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace celvio {

/// A local calendar month.
struct YearMonth {
    int year;
    int month;  ///< 1 to 12

    bool operator==(const YearMonth&) const = default;
};

/// "2028-03".
std::string yearMonthText(YearMonth month);

/// How fast one battery's health falls, and when it is expected to reach 80 %, the usual
/// replacement threshold.
struct HealthTrend {
    /// Health points per month (365.2425 / 12 days); negative when health falls.
    double perMonth;
    /// Health on the fitted line at the `now` the trend was made for, percent.
    double healthNow;
    /// The local month in which the fitted line crosses 80 %. Absent when it does not
    /// within five years of `now` (a flat or rising line never does). When the line is
    /// already at or below 80 % at `now`, the month of `now`: the threshold is reached,
    /// and a crossing dated back from the data would claim more than they show.
    std::optional<YearMonth> reaches80;

    bool operator==(const HealthTrend&) const = default;
};

/// The robust trend of the group's health over the 365 days up to `now`: the Theil–Sen
/// slope (the median of the pairwise slopes), which one odd reading does not bend, over
/// one value per local calendar day, the mean of that day's healths. Own and imported
/// entries count alike; entries without a design capacity (below 1 mAh) and entries
/// dated after `now` do not count.
///
/// A battery replacement restarts the trend: only entries from the last change of the
/// battery serial (when both entries know one) or of the design capacity count. A change
/// is a replacement only when the next entry confirms it, so one odd reading is not one.
///
/// Absent unless the entries used span at least 60 days and fall on at least 5 days:
/// never a guess from too little.
std::optional<HealthTrend> healthTrend(const HistoryDeviceGroup& group, HistoryEntry::Date now);

/// "−0.4 % a month · 80 % around Mar 2028", "+0.1 % a month · 80 % not within 5 years"
/// or "−0.4 % a month · below 80 %", the rate with one fraction digit and
/// `decimalPoint` as its separator.
std::string healthTrendText(const HealthTrend& trend, std::string_view decimalPoint = ".");

}  // namespace celvio
