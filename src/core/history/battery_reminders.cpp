#include "history/battery_reminders.hpp"

namespace celvio {

std::optional<ChargeReminder> ChargeReminders::update(const std::string& battery, ChargeReading reading,
                                                      ChargeLimits limits) {
    const auto [found, first] = batteries_.try_emplace(battery, Battery{.last = reading});
    Battery& state = found->second;
    if (first) return std::nullopt;

    const ChargeReading last = state.last;
    state.last = reading;
    // A change of direction starts a new charge or discharge.
    if (!reading.charging) state.upperSent = false;
    if (reading.charging) state.lowerSent = false;

    if (reading.charging && !state.upperSent && last.percent < limits.upper && reading.percent >= limits.upper) {
        state.upperSent = true;
        return ChargeReminder::upperReached;
    }
    if (!reading.charging && !state.lowerSent && last.percent > limits.lower && reading.percent <= limits.lower) {
        state.lowerSent = true;
        return ChargeReminder::lowerReached;
    }
    return std::nullopt;
}

bool healthFellBelow80(const HistoryDeviceGroup& group) {
    const auto& entries = group.entries;
    if (entries.size() < 2) return false;
    return entries.back().health() < 80 && entries[entries.size() - 2].health() >= 80;
}

}  // namespace celvio
