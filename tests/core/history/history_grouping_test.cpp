#include "history/history_grouping.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

using namespace celvio;
using namespace celvio::test;
using Period = HistoryDeviceGroup::Period;

namespace {

HistoryEntry measured(std::string serial, HistoryEntry::Date date, std::int64_t full, std::int64_t cycles) {
    HistoryEntry entry = phoneEntry(std::move(serial), date);
    entry.fullChargeCapacity = full;
    entry.designCapacity = 4000;
    entry.cycleCount = cycles;
    return entry;
}

HistoryEntry computer(std::string serial, HistoryEntry::Date date) {
    HistoryEntry entry = phoneEntry(std::move(serial), date);
    entry.kind = HistoryEntry::Kind::mac;
    entry.deviceName = "Desk";
    entry.modelIdentifier = "MacBookPro18,3";
    return entry;
}

}  // namespace

TEST(HistoryGrouping, LocalMonthsAveragesAndHighestCycles) {
    ScopedEnv zone("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    // 22:30 and 23:30 UTC on 31 January: both January in UTC, but 23:30 and 00:30 here.
    const std::vector<HistoryEntry> edge = {measured("S", utc("2024-01-31T22:30:00Z"), 3200, 10),
                                            measured("S", utc("2024-01-31T23:30:00Z"), 3000, 11)};
    EXPECT_EQ(groupHistory(edge)[0].periods, (std::vector<Period>{{"2024-01", 80.0, 10}, {"2024-02", 75.0, 11}}));
    ScopedEnv utcZone("TZ", "UTC0");
    EXPECT_EQ(groupHistory(edge)[0].periods, (std::vector<Period>{{"2024-01", 77.5, 11}}));

    const std::vector<HistoryEntry> entries = {
        measured("S", utc("2024-01-03T10:00:00Z"), 3200, 100),  // 80 %
        measured("S", utc("2024-01-02T10:00:00Z"), 3280, 103),  // 82 %
        measured("S", utc("2024-01-20T10:00:00Z"), 3360, 101),  // 84 %
        measured("S", utc("2024-03-01T00:00:00Z"), 4000, 120),  // 100 %
        measured("S", utc("2024-03-31T23:59:59Z"), 0, 90),      // 0 %
        measured("S", utc("2023-12-31T23:59:59Z"), 5000, 99),   // 125 %
    };
    EXPECT_TRUE(groupHistory({}).empty());
    const auto groups = groupHistory(entries);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].periods,
              (std::vector<Period>{{"2023-12", 125.0, 99}, {"2024-01", 82.0, 103}, {"2024-03", 50.0, 120}}));
    EXPECT_EQ(groups[0].entries,
              (std::vector<HistoryEntry>{entries[5], entries[1], entries[0], entries[2], entries[3], entries[4]}))
        << "ascending date";
}

TEST(HistoryGrouping, TitlesKindsAndOrder) {
    ScopedEnv zone("TZ", "UTC0");
    HistoryEntry renamed = phoneEntry("PHONE", utc("2024-02-01T10:00:00Z"));
    renamed.deviceName = "Anna's new iPhone";
    HistoryEntry unknownModel = phoneEntry("PAD", utc("2024-02-03T10:00:00Z"));
    unknownModel.deviceName = "Office Phone";
    unknownModel.modelIdentifier = "XYZ1,1";
    const auto groups = groupHistory({
        phoneEntry("PHONE", utc("2024-01-01T10:00:00Z")),
        computer("OLDMAC", utc("2023-06-01T10:00:00Z")),
        computer("PAD", utc("2023-01-01T10:00:00Z")),  // kind, name and model come from the latest entry
        unknownModel,
        renamed,
        computer("NEWMAC", utc("2024-01-15T10:00:00Z")),
    });
    std::vector<std::string> seen;
    for (const auto& g : groups)
        seen.push_back(g.serial + "|" + g.title + "|" + (g.kind == HistoryEntry::Kind::mac ? "mac" : "ios") + "|" +
                       g.modelIdentifier + "|" + std::to_string(g.entries.size()));
    EXPECT_EQ(seen, (std::vector<std::string>{"NEWMAC|Desk (MacBook Pro (14-inch, 2021))|mac|MacBookPro18,3|1",
                                              "OLDMAC|Desk (MacBook Pro (14-inch, 2021))|mac|MacBookPro18,3|1",
                                              "PAD|Office Phone (XYZ1,1)|ios|XYZ1,1|2",
                                              "PHONE|Anna's new iPhone (iPhone 14 Pro)|ios|iPhone15,2|2"}));
    EXPECT_EQ(groups.at(3).entries[0].deviceName, "Anna's iPhone") << "older entries keep their name";
}
