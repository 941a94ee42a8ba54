#include "history/health_trend.hpp"
#include "history/history_grouping.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace celvio;
using namespace celvio::test;

namespace {

using Entries = std::vector<HistoryEntry>;

constexpr double kMonthDays = 365.2425 / 12;

HistoryEntry::Date now() { return utc("2026-06-15T12:00:00Z"); }

/// Measurements every `step` days from `first` to `last` (days before now, negative) on
/// a line through `healthNow` at now, with design capacity 10000 mAh so that health has
/// two exact fraction digits; `noise` adds up to that many points either way.
Entries line(int first, int last, int step, double healthNow, double perMonth,
             std::optional<std::string> battery = "B1", double noise = 0) {
    std::mt19937 random(17);
    std::uniform_real_distribution<double> jitter(-noise, noise);
    Entries entries;
    for (int day = first; day <= last; day += step) {
        HistoryEntry entry = phoneEntry("F2LX", now() + HistoryEntry::Date::duration(day * 86400.0));
        entry.designCapacity = 10000;
        const double health = healthNow + perMonth * day / kMonthDays + (noise > 0 ? jitter(random) : 0);
        entry.fullChargeCapacity = std::llround(health * 100);
        entry.batterySerial = battery;
        entries.push_back(entry);
    }
    return entries;
}

Entries joined(Entries a, const Entries& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/// The line with the entry nearest `day` changed by `change`.
template <typename Change>
Entries with(Entries entries, int day, Change change) {
    const auto at = now() + HistoryEntry::Date::duration(day * 86400.0);
    auto nearest = std::min_element(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
        return std::abs((a.date - at).count()) < std::abs((b.date - at).count());
    });
    change(*nearest);
    return entries;
}

/// The entries each changed by `change`.
template <typename Change>
Entries each(Entries entries, Change change) {
    for (auto& entry : entries) change(entry);
    return entries;
}

const auto imported = [](HistoryEntry& e) {
    e.source = "coconutBattery";
    e.batterySerial.reset();
};
const auto laterImported = [](HistoryEntry& e) {  // the same readings, imported six hours later
    imported(e), e.date += HistoryEntry::Date::duration(21600.0);
};
const auto doubled = [](HistoryEntry& e) { e.designCapacity *= 2, e.fullChargeCapacity *= 2; };

}  // namespace

TEST(HealthTrend, FitsTheCurrentBatterysLastYear) {
    ScopedEnv zone("TZ", "UTC0");
    const Entries decline = line(-150, -1, 5, 90, -1);
    const std::string apr27 = "\u22121.0 % a month \u00b7 80 % around Apr 2027 | 2027-04";
    const std::string oct29 = "\u22120.5 % a month \u00b7 80 % around Oct 2029 | 2029-10";
    const struct {
        const char* what;
        Entries entries;
        std::optional<double> perMonth;  // absent: no trend
        double tolerance;
        std::string shown;  // the trend's text | the month it reaches 80 %, when there is a trend
    } rows[] = {
        {"a noisy linear decline", line(-120, -1, 1, 85, -0.5, "B1", 0.5), -0.5, 0.05,
         "\u22120.5 % a month \u00b7 80 % around Apr 2027 | 2027-04"},
        {"one low outlier", with(decline, -140, [](auto& e) { e.fullChargeCapacity = 5000; }), -1, 0.001, apr27},
        {"one high outlier on the newest day", with(decline, 0, [](auto& e) { e.fullChargeCapacity = 10400; }), -1,
         0.001, apr27},
        {"a new battery serial restarts the trend",
         joined(line(-300, -101, 5, 60, -3, "B1"), line(-100, -1, 5, 100, -0.5, "B2")), -0.5, 0.001, oct29},
        {"a new design capacity restarts the trend",
         joined(line(-300, -101, 5, 60, -3, std::nullopt),
                each(line(-100, -1, 5, 100, -0.5, std::nullopt), doubled)),
         -0.5, 0.001, oct29},
        {"a new battery 59 days ago leaves no trend yet",
         joined(line(-300, -60, 5, 60, -3, "B1"), line(-59, 0, 1, 100, -0.5, "B2")), std::nullopt, 0, ""},
        {"one odd serial is no replacement", with(decline, -20, [](auto& e) { e.batterySerial = "B9"; }), -1, 0.001,
         apr27},
        {"one odd serial before an entry without one is no replacement",
         with(with(decline, -20, [](auto& e) { e.batterySerial = "B9"; }), -15,
              [](auto& e) { e.batterySerial.reset(); }),
         -1, 0.001, apr27},
        {"one odd design capacity is no replacement", with(decline, -20, [](auto& e) { e.designCapacity = 12000; }), -1,
         0.001, apr27},
        {"imported and own entries count together",
         joined(each(line(-150, -100, 10, 90, -1), imported), line(-58, -1, 10, 90, -1)), -1, 0.001, apr27},
        {"60 days", line(-61, -1, 1, 90, -1), -1, 0.001, apr27},
        {"4 days over 90", line(-91, -1, 30, 90, -1), std::nullopt, 0, ""},
        {"a flat history", line(-200, -1, 7, 92, 0), 0, 0.001, "0.0 % a month \u00b7 80 % not within 5 years | "},
        {"a decline past five years", line(-200, -1, 7, 95, -0.2), -0.2, 0.001,
         "\u22120.2 % a month \u00b7 80 % not within 5 years | "},
        {"a rise", line(-200, -1, 7, 95, 0.3), 0.3, 0.001, "+0.3 % a month \u00b7 80 % not within 5 years | "},
        {"already below 80 %", line(-200, -1, 7, 75, -1), -1, 0.001, "\u22121.0 % a month \u00b7 below 80 % | 2026-06"},
        {"readings more than a year old do not count", joined(line(-700, -366, 5, 100, 0), decline), -1, 0.001, apr27},
        {"two readings a day count as one",
         joined(line(-91, -1, 30, 90, -1), each(line(-91, -1, 30, 91, -1), laterImported)), std::nullopt, 0, ""},
        {"readings without a design capacity are left out",
         with(with(decline, -20, [](auto& e) { e.designCapacity = 0; }), -15, [](auto& e) { e.designCapacity = 0; }),
         -1, 0.001, apr27}};
    for (const auto& row : rows) {
        const auto groups = groupHistory(row.entries);
        ASSERT_EQ(groups.size(), 1u) << row.what;
        const auto trend = healthTrend(groups[0], now());
        EXPECT_EQ(trend.has_value(), row.perMonth.has_value()) << row.what;
        if (!trend || !row.perMonth) continue;
        EXPECT_NEAR(trend->perMonth, *row.perMonth, row.tolerance) << row.what;
        EXPECT_EQ(healthTrendText(*trend) + " | " + (trend->reaches80 ? yearMonthText(*trend->reaches80) : ""),
                  row.shown)
            << row.what;
    }
}
