#include "display/sections.hpp"

#include "platform/host_words.hpp"

#include <cmath>
#include <cstdio>

namespace celvio {
namespace {

std::string orAbsent(const std::optional<std::string>& value) { return value.value_or(kAbsentText); }

std::string yesNo(bool value) { return value ? "Yes" : "No"; }

/// "2d 3h 4m": days, hours and minutes, the zero ones left out, seconds dropped.
std::string duration(double seconds) {
    const auto minutes = seconds >= 60 && std::isfinite(seconds) ? static_cast<std::int64_t>(seconds / 60) : 0;
    const std::int64_t parts[] = {minutes / 1440, minutes / 60 % 24, minutes % 60};
    const char* const units[] = {"d", "h", "m"};
    std::string text;
    for (int i = 0; i < 3; ++i) {
        if (parts[i] == 0) continue;
        if (!text.empty()) text += ' ';
        text += std::to_string(parts[i]) + units[i];
    }
    return text.empty() ? "0m" : text;
}

/// Whole calendar months from `from` to a later `to`.
std::int64_t monthsBetween(std::chrono::system_clock::time_point from, std::chrono::system_clock::time_point to) {
    using namespace std::chrono;
    const auto fromDay = floor<days>(from), toDay = floor<days>(to);
    const year_month_day a{fromDay}, b{toDay};
    std::int64_t months =
        (static_cast<int>(b.year()) - static_cast<int>(a.year())) * 12 +
        (static_cast<int>(static_cast<unsigned>(b.month())) - static_cast<int>(static_cast<unsigned>(a.month())));
    // The last month counts once its day and time of day are reached.
    if (b.day() < a.day() || (b.day() == a.day() && to - toDay < from - fromDay)) --months;
    return months;
}

}  // namespace

std::string dayString(const std::optional<std::chrono::system_clock::time_point>& date) {
    if (!date) return kAbsentText;
    const std::chrono::year_month_day ymd{std::chrono::floor<std::chrono::days>(*date)};
    char text[32];
    std::snprintf(text, sizeof(text), "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return text;
}

std::string hoursString(std::int64_t minutes) {
    char text[48];
    std::snprintf(text, sizeof(text), "%lld:%02lld h", static_cast<long long>(minutes / 60),
                  static_cast<long long>(minutes % 60));
    return text;
}

std::string temperatureString(const std::optional<double>& celsius, const NumberFormat& format) {
    if (!celsius || !(*celsius > 0)) return kAbsentText;
    return format.fixed(*celsius, 1) + " \u00B0C";
}

std::string voltsString(std::int64_t millivolts, const NumberFormat& format) {
    return format.fixed(static_cast<double>(millivolts) / 1000.0, 2) + " V";
}

std::string ageString(std::chrono::system_clock::time_point since, std::chrono::system_clock::time_point now) {
    const std::int64_t months = since <= now ? monthsBetween(since, now) : -monthsBetween(now, since);
    if (months / 12 == 0) return std::to_string(months) + (months == 1 ? " month" : " months");
    return std::to_string(months / 12) + " y " + std::to_string(months % 12) + " m";
}

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
        return v ? format.grouped(*v) + " mAh" : std::string(kAbsentText);
    };
    const auto plain = [](const std::optional<std::int64_t>& v, const char* unit) {
        return v ? std::to_string(*v) + unit : std::string(kAbsentText);
    };
    const auto health = battery.health();
    Section status{"Electrical & Status",
                   {
                       {"Temperature", temperatureString(battery.temperature, format)},
                       {"Voltage", battery.voltage ? voltsString(*battery.voltage, format) : kAbsentText},
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
             {"Health", health ? format.fixed(*health, 1) + " %" : kAbsentText},
             {"Charge Cycles", plain(battery.cycleCount, "")},
         }},
        std::move(status),
    };
}

std::vector<Section> mac(const MacSystemInfo& info, const NumberFormat&) {
    return {
        {std::string(hostWords().host),
         {
             {"Name", info.computerName},
             {"Model", info.productName},
             {"Model Identifier", info.modelIdentifier},
             {"Model Number", orAbsent(info.modelNumber)},
             {"Regulatory Model", orAbsent(info.regulatoryModel)},
             {"Serial Number", orAbsent(info.serialNumber)},
         }},
        {"Hardware & System",
         {
             {"Chip", orAbsent(info.chip)},
             {"Memory", std::to_string(info.memoryGB) + " GB"},
             {std::string(hostWords().systemName), info.osVersion},
             {"Uptime", duration(info.uptime)},
         }},
    };
}

std::vector<Section> macBattery(const MacBatteryInfo& battery, const NumberFormat& format) {
    const auto mAh = [&](const std::optional<std::int64_t>& v) {
        return v ? format.grouped(*v) + " mAh" : std::string(kAbsentText);
    };
    const auto watts = [&](double w) { return format.fixed(w, 1) + " W"; };

    std::string cycles = std::to_string(battery.cycleCount);
    if (battery.designCycleCount) cycles += " of " + std::to_string(*battery.designCycleCount);
    std::string cells;
    for (const std::int64_t cell : battery.cellVoltages)
        cells += (cells.empty() ? "" : ", ") + voltsString(cell, format);

    Section status{"Status",
                   {
                       {"Charge", std::to_string(battery.chargePercent) + " %"},
                       {"Charging", yesNo(battery.isCharging)},
                       {"Fully Charged", yesNo(battery.fullyCharged)},
                   }};
    if (battery.timeToFull) status.rows.emplace_back("Time to Full", hoursString(*battery.timeToFull));
    if (battery.timeToEmpty) status.rows.emplace_back("Time Remaining", hoursString(*battery.timeToEmpty));

    Section adapter{"Power Adapter", {{"Connected", yesNo(battery.externalConnected)}}};
    if (battery.adapterName) adapter.rows.emplace_back("Adapter", *battery.adapterName);
    if (battery.adapterWatts)
        adapter.rows.emplace_back("Negotiated Power", std::to_string(*battery.adapterWatts) + " W");
    if (battery.adapterVoltage && battery.adapterCurrent)
        adapter.rows.emplace_back("Adapter Output", voltsString(*battery.adapterVoltage, format) + " / " +
                                                        format.fixed(*battery.adapterCurrent / 1000.0, 2) + " A");
    if (battery.systemPower) adapter.rows.emplace_back("System Power", watts(*battery.systemPower));

    return {
        {"Battery",
         {
             {"Serial Number", orAbsent(battery.batterySerial)},
             {"Gas Gauge", orAbsent(battery.gaugeName)},
             {"Manufacture Date", dayString(battery.manufactureDate)},
             {"Age", battery.manufactureDate ? ageString(*battery.manufactureDate) : kAbsentText},
         }},
        {"Capacity",
         {
             {"Current Charge", mAh(battery.currentCapacity)},
             {"Full Charge Capacity", mAh(battery.fullChargeCapacity)},
             {"Nominal Capacity", mAh(battery.nominalChargeCapacity)},
             {"Design Capacity", mAh(battery.designCapacity)},
             {"Health", battery.fullChargeCapacity && battery.designCapacity ? format.fixed(battery.health(), 1) + " %"
                                                                             : kAbsentText},
             {"Charge Cycles", cycles},
         }},
        {"Electrical",
         {
             {"Voltage", voltsString(battery.voltage, format)},
             {"Amperage", std::to_string(battery.amperage) + " mA"},
             {"Battery Power", watts(battery.batteryPower())},
             {"Cell Voltages", cells.empty() ? kAbsentText : cells},
             {"Temperature", temperatureString(battery.temperature, format)},
         }},
        std::move(status),
        std::move(adapter),
    };
}

}  // namespace Sections

}  // namespace celvio
