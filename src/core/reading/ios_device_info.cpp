#include "reading/ios_device_info.hpp"

#include "base/units.hpp"

namespace celvio {

std::optional<double> IOSBatteryInfo::health() const {
    if (!fullChargeCapacity || !designCapacity || *designCapacity < 1) return std::nullopt;
    return static_cast<double>(*fullChargeCapacity) / static_cast<double>(*designCapacity) * 100.0;
}

std::optional<double> IOSBatteryInfo::watts() const {
    if (!voltage || !amperage || *amperage == 0) return std::nullopt;
    return wattsOf(*voltage, *amperage);
}

}  // namespace celvio
