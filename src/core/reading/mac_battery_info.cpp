#include "reading/mac_battery_info.hpp"

#include "base/units.hpp"

namespace celvio {

double MacBatteryInfo::health() const {
    if (!fullChargeCapacity || !designCapacity || *designCapacity < 1) return 0;
    return static_cast<double>(*fullChargeCapacity) / static_cast<double>(*designCapacity) * 100.0;
}

double MacBatteryInfo::batteryPower() const { return wattsOf(voltage, amperage); }

}  // namespace celvio
