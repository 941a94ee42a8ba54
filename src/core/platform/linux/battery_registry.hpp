#pragma once

#include "platform/linux/power_supplies.hpp"
#include "plist/plist.hpp"

#include <optional>
#include <vector>

namespace celvio {

/// The battery registry dictionary that the battery reader understands, made from the
/// power supplies as read: the present system batteries as one (capacities, energies and
/// currents summed, the highest cycle count, charging when any pack charges), converted
/// from sysfs units (µAh, µWh, µV, µA, µW, tenths of °C, seconds) to the registry's (mAh,
/// mV, mA, hundredths of °C, minutes); the adapter from the external supplies; and every
/// battery's original attributes under "PowerSupply" and its supply name. Values beyond a
/// laptop pack's physical range (0 to 100 V, ±50 A, ±500 W, -40 to 120 °C) are left
/// out. "BatteryInstalled" is false when every bay is empty; absent without any system
/// battery.
std::optional<PlistDict> batteryRegistry(const std::vector<PowerSupply>& supplies);

}  // namespace celvio
