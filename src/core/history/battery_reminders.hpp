#pragma once

#include "history/history_grouping.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace celvio {

/// The charge limits the reminders watch, percent.
struct ChargeLimits {
    std::int64_t upper = 80;  ///< reminded while charging: unplug
    std::int64_t lower = 20;  ///< reminded while discharging: plug in

    bool operator==(const ChargeLimits&) const = default;
};

/// One reading of a battery's charge.
struct ChargeReading {
    std::int64_t percent = 0;
    bool charging = false;

    bool operator==(const ChargeReading&) const = default;
};

enum class ChargeReminder { upperReached, lowerReached };

/// Decides, reading by reading, when a battery reaches a charge limit. A limit counts only
/// when a reading crosses it (the previous reading of the same battery was on the other
/// side), in the right direction, and at most once per charge or discharge: a gauge that
/// wobbles around the limit, or refreshes that repeat the same value, bring no second
/// reminder. The first reading of a battery only sets where it stands.
class ChargeReminders {
public:
    /// The reminder this reading of `battery` brings, if any.
    std::optional<ChargeReminder> update(const std::string& battery, ChargeReading reading, ChargeLimits limits);
    /// Forgets every battery, so the next readings start afresh (reminders turned on again).
    void reset() { batteries_.clear(); }

private:
    struct Battery {
        ChargeReading last;
        bool upperSent = false;  ///< in the current charge
        bool lowerSent = false;  ///< in the current discharge
    };
    std::map<std::string, Battery> batteries_;
};

/// True when the group's newest entry is the first whose health is below 80 %: the entry
/// before it had 80 % or more. One reading does not show a fall, so a single entry never
/// counts.
bool healthFellBelow80(const HistoryDeviceGroup& group);

}  // namespace celvio
