#include "history/measurement.hpp"

namespace celvio::Measurement {
namespace {

bool tellsHealth(const std::optional<std::int64_t>& fullChargeCapacity,
                 const std::optional<std::int64_t>& designCapacity) {
    return fullChargeCapacity && designCapacity && *designCapacity > 0;
}

}  // namespace

std::optional<HistoryEntry> ofDevice(const IOSDeviceInfo& info) {
    const IOSBatteryInfo& battery = info.battery;
    if (!tellsHealth(battery.fullChargeCapacity, battery.designCapacity)) return std::nullopt;
    return HistoryEntry{
        .id = UUID::random(),
        .date = info.readDate,
        .kind = HistoryEntry::Kind::ios,
        .deviceSerial = info.serialNumber,
        .deviceName = info.name,
        .modelIdentifier = info.productType,
        .osVersion = info.osVersion,
        .batterySerial = battery.batterySerial,
        .cycleCount = battery.cycleCount.value_or(0),
        .fullChargeCapacity = *battery.fullChargeCapacity,
        .designCapacity = *battery.designCapacity,
        .source = std::nullopt,
    };
}

std::optional<HistoryEntry> ofMac(const MacBatteryInfo& battery, const MacSystemInfo& system,
                                  std::chrono::system_clock::time_point date) {
    if (!tellsHealth(battery.fullChargeCapacity, battery.designCapacity)) return std::nullopt;
    return HistoryEntry{
        .id = UUID::random(),
        .date = date,
        .kind = HistoryEntry::Kind::mac,
        .deviceSerial = system.serialNumber.value_or(system.modelIdentifier),
        .deviceName = system.computerName,
        .modelIdentifier = system.modelIdentifier,
        .osVersion = system.osVersion,
        .batterySerial = battery.batterySerial,
        .cycleCount = battery.cycleCount,
        .fullChargeCapacity = *battery.fullChargeCapacity,
        .designCapacity = *battery.designCapacity,
        .source = std::nullopt,
    };
}

}  // namespace celvio::Measurement
