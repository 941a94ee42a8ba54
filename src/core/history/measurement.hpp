#pragma once

#include "history/history_entry.hpp"
#include "reading/ios_device_info.hpp"
#include "reading/mac_battery_info.hpp"
#include "reading/mac_system_info.hpp"

#include <chrono>
#include <optional>

/// A battery read made into the history entry that records it (fresh id, no source).
/// Without capacities in mAh, or with a design capacity below 1, an entry would say
/// nothing about health: there is none then.
namespace celvio::Measurement {

/// The attached device's entry, dated when the read completed; an unknown cycle count
/// is 0.
std::optional<HistoryEntry> ofDevice(const IOSDeviceInfo& info);

/// The computer's entry at `date`, named after `system`: its serial number as the device
/// serial, else its model identifier.
std::optional<HistoryEntry> ofMac(const MacBatteryInfo& battery, const MacSystemInfo& system,
                                  std::chrono::system_clock::time_point date);

}  // namespace celvio::Measurement
