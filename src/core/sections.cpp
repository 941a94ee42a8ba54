#include "sections.hpp"

#include <cstdio>

namespace celvio {
namespace {

constexpr const char* kAbsent = "\u2014";

std::string orAbsent(const std::optional<std::string>& value) { return value.value_or(kAbsent); }

std::string yesNo(bool value) { return value ? "Yes" : "No"; }

}  // namespace

std::string NumberFormat::grouped(std::int64_t value) const { return std::to_string(value); }

std::string NumberFormat::fixed(double value, int digits) const {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.*f", digits, value);
    return buffer;
}

namespace Sections {

std::vector<Section> device(const IOSDeviceInfo& info) {
    return {
        {"Device",
         {
             {"Name", info.name},
             {"Model", info.marketingName},
             {"Device Identifier", info.productType},
             {"Model Number", orAbsent(info.modelNumber)},
             {"Regulatory Model", orAbsent(info.regulatoryModel)},
             {"Hardware Model", orAbsent(info.hardwareModel)},
             {"Serial Number", info.serialNumber},
             {"UDID", info.udid},
         }},
        {"Software & Connection",
         {
             {"iOS Version", info.osVersion},
             {"Build", orAbsent(info.buildVersion)},
             {"Connected via", std::string(connectionText(info.connection))},
             {"Wi\u2011Fi Address", orAbsent(info.wifiAddress)},
         }},
    };
}

std::vector<Section> deviceBattery(const IOSBatteryInfo& battery, const NumberFormat& format) {
    const auto mAh = [&](const std::optional<std::int64_t>& v) {
        return v ? format.grouped(*v) + " mAh" : std::string(kAbsent);
    };
    const auto plain = [](const std::optional<std::int64_t>& v, const char* unit) {
        return v ? std::to_string(*v) + unit : std::string(kAbsent);
    };
    const auto health = battery.health();
    Section status{"Electrical & Status",
                   {
                       {"Temperature", battery.temperature && *battery.temperature > 0
                                           ? format.fixed(*battery.temperature, 1) + " \u00B0C"
                                           : std::string(kAbsent)},
                       {"Voltage", battery.voltage ? format.fixed(*battery.voltage / 1000.0, 2) + " V" : kAbsent},
                       {"Amperage", plain(battery.amperage, " mA")},
                       {"Charge", plain(battery.chargePercent, " %")},
                       {"Charging", yesNo(battery.isCharging)},
                       {"External Power", yesNo(battery.externalConnected)},
                       {"Fully Charged", yesNo(battery.fullyCharged)},
                   }};
    if (battery.adapterName) status.rows.emplace_back("Adapter", *battery.adapterName);
    if (battery.adapterWatts) status.rows.emplace_back("Adapter Power", std::to_string(*battery.adapterWatts) + " W");
    return {
        {"Battery",
         {
             {"Serial Number", orAbsent(battery.batterySerial)},
             {"Current Charge", mAh(battery.currentCapacity)},
             {"Full Charge Capacity", mAh(battery.fullChargeCapacity)},
             {"Design Capacity", mAh(battery.designCapacity)},
             {"Health", health ? format.fixed(*health, 1) + " %" : kAbsent},
             {"Charge Cycles", plain(battery.cycleCount, "")},
         }},
        std::move(status),
    };
}

}  // namespace Sections

}  // namespace celvio
