#pragma once

#include "platform/power_supplies.hpp"
#include "plist.hpp"

#include <optional>
#include <vector>

namespace celvio {

/// The battery registry dictionary that the battery reader understands, made from the
/// power supplies as read: the first system battery's attributes converted from sysfs
/// units (µAh, µWh, µV, µA, µW, tenths of °C, seconds) to the registry's (mAh, mV, mA,
/// hundredths of °C, minutes), the adapter from the external supplies, and every
/// original battery attribute under "PowerSupply". Absent without a system battery.
std::optional<PlistDict> batteryRegistry(const std::vector<PowerSupply>& supplies);

}  // namespace celvio
