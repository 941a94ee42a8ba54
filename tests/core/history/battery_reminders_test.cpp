#include "history/battery_reminders.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace celvio;
using namespace celvio::test;

namespace {

constexpr auto up = ChargeReminder::upperReached;
constexpr auto down = ChargeReminder::lowerReached;

struct Step {
    std::int64_t percent;
    bool charging;
    std::optional<ChargeReminder> expected;
};

TEST(ChargeRemindersTest, EachLimitOncePerChargeOrDischarge) {
    const std::pair<const char*, std::vector<Step>> cases[] = {
        {"charging across the upper limit",
         {{78, true, {}}, {79, true, {}}, {80, true, up}, {81, true, {}}, {100, true, {}}}},
        {"a refresh repeating the value", {{79, true, {}}, {80, true, up}, {80, true, {}}, {80, true, {}}}},
        {"a gauge wobbling around the limit", {{79, true, {}}, {80, true, up}, {79, true, {}}, {80, true, {}}}},
        {"the charge flag flapping at the limit",
         {{79, true, {}}, {80, true, up}, {80, false, {}}, {80, true, {}}, {80, false, {}}}},
        {"a jump over the limit counts", {{60, true, {}}, {95, true, up}}},
        {"the next charge reminds again",
         {{79, true, {}}, {80, true, up}, {75, false, {}}, {76, true, {}}, {80, true, up}}},
        {"discharging across the upper limit is no reminder", {{79, false, {}}, {81, false, {}}}},
        {"the first reading only sets where it stands", {{85, true, {}}, {86, true, {}}, {25, false, {}}}},
        {"discharging across the lower limit",
         {{22, false, {}}, {21, false, {}}, {20, false, down}, {19, false, {}}, {5, false, {}}}},
        {"a wobble at the lower limit", {{21, false, {}}, {20, false, down}, {21, false, {}}, {20, false, {}}}},
        {"charging across the lower limit is no reminder", {{21, true, {}}, {20, true, {}}, {19, true, {}}}},
        {"the next discharge reminds again",
         {{21, false, {}}, {20, false, down}, {30, true, {}}, {21, false, {}}, {20, false, down}}},
        {"unplugged right at the lower limit", {{21, true, {}}, {20, false, down}}}};
    for (const auto& [name, steps] : cases) {
        ChargeReminders reminders;
        for (std::size_t i = 0; i < steps.size(); ++i)
            EXPECT_EQ(reminders.update("BAT0", {steps[i].percent, steps[i].charging}, {}), steps[i].expected)
                << name << ", reading " << i;
    }
}

TEST(ChargeRemindersTest, BatteriesAndLimitsAreTheirOwn) {
    ChargeReminders reminders;
    const ChargeLimits limits{.upper = 90, .lower = 10};
    EXPECT_EQ(reminders.update("mac", {89, true}, limits), std::nullopt);
    EXPECT_EQ(reminders.update("phone", {95, true}, limits), std::nullopt) << "a phone's first reading";
    EXPECT_EQ(reminders.update("mac", {90, true}, limits), up);
    EXPECT_EQ(reminders.update("phone", {96, true}, limits), std::nullopt);
    reminders.reset();
    EXPECT_EQ(reminders.update("mac", {89, true}, limits), std::nullopt);
    EXPECT_EQ(reminders.update("mac", {90, true}, limits), up) << "forgotten after a reset";
}

TEST(HealthFellBelow80Test, OnlyTheFirstEntryBelowAfterOneAbove) {
    // Full charges of a 1000 mAh design, ascending date.
    const std::pair<std::vector<std::int64_t>, bool> cases[] = {
        {{}, false}, {{790}, false}, {{820, 800}, false}, {{820, 801, 799}, true}, {{820, 799, 795}, false},
        {{799, 800, 790}, true}, {{820, 500}, true}};
    for (const auto& [fullCharges, expected] : cases) {
        HistoryDeviceGroup group;
        int day = 1;
        for (const std::int64_t fcc : fullCharges) {
            HistoryEntry entry = phoneEntry("F2LX", utc("2026-01-0" + std::to_string(day++) + "T12:00:00Z"));
            entry.designCapacity = 1000;
            entry.fullChargeCapacity = fcc;
            group.entries.push_back(entry);
        }
        EXPECT_EQ(healthFellBelow80(group), expected) << ::testing::PrintToString(fullCharges);
    }
}

}  // namespace
