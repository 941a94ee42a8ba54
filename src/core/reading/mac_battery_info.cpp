#include "reading/mac_battery_info.hpp"

namespace celvio {

double MacBatteryInfo::health() const {
    if (!fullChargeCapacity || !designCapacity || *designCapacity < 1) return 0;
    return static_cast<double>(*fullChargeCapacity) / static_cast<double>(*designCapacity) * 100.0;
}

double MacBatteryInfo::batteryPower() const {
    // mV × mA is µW.
    return static_cast<double>(voltage) * static_cast<double>(amperage) / 1'000'000.0;
}

}  // namespace celvio
