#include "platform/battery_registry.hpp"

#include "mac_battery_reader.hpp"
#include "utf8.hpp"

#include <algorithm>
#include <cmath>

namespace celvio {
namespace {

std::int64_t rounded(double value) {
    // Garbage in an attribute must not push the cast out of range.
    return std::llround(std::clamp(value, -9.2e18, 9.2e18));
}

std::optional<std::int64_t> positive(std::optional<std::int64_t> value) {
    return value && *value > 0 ? value : std::nullopt;
}

/// Valid UTF-8 without the blanks, control characters and broken bytes some firmware
/// pads its strings with.
std::string cleanText(std::string_view raw, bool trim) {
    const std::u32string decoded = decodeUTF8(ByteView(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()));
    const auto padding = [](char32_t c) { return c <= 0x20 || c == 0x7F || c == 0xFFFD; };
    std::size_t begin = 0, end = decoded.size();
    if (trim) {
        while (begin < end && padding(decoded[begin])) ++begin;
        while (end > begin && padding(decoded[end - 1])) --end;
    }
    std::string text;
    text.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) appendUTF8(text, decoded[i]);
    return text;
}

std::optional<std::string> cleanText(const PowerSupply& supply, std::string_view attribute) {
    const auto raw = supply.text(attribute);
    if (!raw) return std::nullopt;
    std::string text = cleanText(*raw, true);
    if (text.empty()) return std::nullopt;
    return text;
}

/// `amount` over `rate` in hours, from any pair of like units (µAh and µA, µWh and µW).
std::optional<double> hours(std::optional<std::int64_t> amount, std::optional<std::int64_t> rate) {
    if (!amount || *amount < 0 || !rate || *rate == 0) return std::nullopt;
    return static_cast<double>(*amount) / std::fabs(static_cast<double>(*rate));
}

std::optional<std::int64_t> difference(std::optional<std::int64_t> full, std::optional<std::int64_t> now) {
    if (!full || !now) return std::nullopt;
    return static_cast<std::int64_t>(
        std::clamp(static_cast<double>(*full) - static_cast<double>(*now), -9.2e18, 9.2e18));
}

/// Year, month and day packed as the smart-battery "ManufactureDate".
std::optional<std::int64_t> packedDate(const PowerSupply& battery) {
    const auto year = battery.number("manufacture_year");
    const auto month = battery.number("manufacture_month");
    const auto day = battery.number("manufacture_day");
    if (!year || !month || !day || *year < 1980 || *year > 1980 + 127 || *month < 1 || *month > 12 || *day < 1 ||
        *day > 31)
        return std::nullopt;
    return (*year - 1980) << 9 | *month << 5 | *day;
}

bool reportsContract(const PowerSupply& supply) {
    return positive(supply.number("voltage_now")) && positive(supply.number("current_max"));
}

PlistDict adapterDetails(const PowerSupply& adapter) {
    PlistDict details{{"Name", cleanText(adapter, "model_name").value_or(cleanText(adapter.name, true))}};
    const auto microvolts = positive(adapter.number("voltage_now"));
    const auto microamps = positive(adapter.number("current_max"));
    // A USB PD source offers current_max at voltage_now: the negotiated contract.
    if (microvolts) details["AdapterVoltage"] = rounded(*microvolts / 1000.0);
    if (microamps) details["Current"] = rounded(*microamps / 1000.0);
    if (microvolts && microamps)
        details["Watts"] = rounded(static_cast<double>(*microvolts) * static_cast<double>(*microamps) / 1e12);
    return details;
}

/// The driver's "capacity", else the charge (or energy) over its full value: a 0 % for a
/// driver that leaves "capacity" out would be wrong.
std::optional<std::int64_t> chargePercent(const PowerSupply& battery) {
    if (const auto percent = battery.number("capacity")) return percent;
    const auto ofFull = [](std::optional<std::int64_t> now, std::optional<std::int64_t> full) {
        return now && full && *full > 0 ? std::optional(rounded(double(*now) / double(*full) * 100.0)) : std::nullopt;
    };
    const auto percent = ofFull(battery.number("charge_now"), battery.number("charge_full"));
    return percent ? percent : ofFull(battery.number("energy_now"), battery.number("energy_full"));
}

/// "ExternalConnected" and "AdapterDetails" from the mains and USB supplies.
void addExternalPower(PlistDict& registry, const std::vector<PowerSupply>& supplies,
                      const std::optional<std::string>& status) {
    bool anyReportsOnline = false;
    const PowerSupply* adapter = nullptr;
    for (const PowerSupply& supply : supplies) {
        if (!supply.isExternalPower()) continue;
        const auto online = supply.number("online");
        if (!online) continue;
        anyReportsOnline = true;
        // 1 is a fixed supply, 2 a programmable one (USB PD PPS): both feed the computer.
        // A generic "ACAD" may say online beside the USB-C port that tells the contract.
        if (*online >= 1 && (!adapter || (!reportsContract(*adapter) && reportsContract(supply)))) adapter = &supply;
    }
    if (anyReportsOnline)
        registry["ExternalConnected"] = adapter != nullptr;
    else if (status)
        registry["ExternalConnected"] = *status != "Discharging";
    if (adapter) registry["AdapterDetails"] = adapterDetails(*adapter);
}

/// The driver's estimates (seconds) in minutes, else the charge (or energy) left to go at
/// the present rate.
void addTimeEstimates(PlistDict& registry, const PowerSupply& battery, bool charging, bool discharging) {
    const auto number = [&](std::string_view attribute) { return battery.number(attribute); };
    const auto minutes = [](std::optional<double> estimate) {
        return estimate ? std::optional(rounded(*estimate * 60.0)) : std::nullopt;
    };
    std::optional<std::int64_t> toEmpty, toFull;
    if (const auto seconds = number("time_to_empty_now")) {
        toEmpty = rounded(*seconds / 60.0);
    } else if (discharging) {
        auto estimate = hours(number("charge_now"), number("current_now"));
        if (!estimate) estimate = hours(number("energy_now"), number("power_now"));
        toEmpty = minutes(estimate);
    }
    if (const auto seconds = number("time_to_full_now")) {
        toFull = rounded(*seconds / 60.0);
    } else if (charging) {
        auto estimate = hours(difference(number("charge_full"), number("charge_now")), number("current_now"));
        if (!estimate) estimate = hours(difference(number("energy_full"), number("energy_now")), number("power_now"));
        toFull = minutes(estimate);
    }
    if (toEmpty) registry["AvgTimeToEmpty"] = *toEmpty;
    if (toFull) registry["AvgTimeToFull"] = *toFull;
}

}  // namespace

std::optional<PlistDict> batteryRegistry(const std::vector<PowerSupply>& supplies) {
    const auto found =
        std::find_if(supplies.begin(), supplies.end(), [](const PowerSupply& s) { return s.isSystemBattery(); });
    if (found == supplies.end()) return std::nullopt;
    const PowerSupply& battery = *found;
    const auto number = [&](std::string_view attribute) { return battery.number(attribute); };

    PlistDict registry;
    const auto put = [&](const char* key, auto value) {
        if (value) registry[key] = *value;
    };
    const auto milli = [](std::optional<std::int64_t> micro) -> std::optional<std::int64_t> {
        if (!micro) return std::nullopt;
        return rounded(static_cast<double>(*micro) / 1000.0);
    };

    registry["BatteryInstalled"] = number("present").value_or(1) != 0;

    // Energy (µWh) over voltage (µV) is charge in Ah; the design voltage keeps health a
    // pure energy ratio, the present voltage stands in when the driver has none.
    auto conversionVoltage = positive(number("voltage_min_design"));
    if (!conversionVoltage) conversionVoltage = positive(number("voltage_now"));
    const auto capacity = [&](const char* charge, const char* energy) -> std::optional<std::int64_t> {
        if (const auto microampHours = number(charge)) return milli(microampHours);
        const auto microwattHours = number(energy);
        if (!microwattHours || !conversionVoltage) return std::nullopt;
        return rounded(static_cast<double>(*microwattHours) * 1000.0 / static_cast<double>(*conversionVoltage));
    };
    put("DesignCapacity", capacity("charge_full_design", "energy_full_design"));
    put("AppleRawMaxCapacity", capacity("charge_full", "energy_full"));
    put("AppleRawCurrentCapacity", capacity("charge_now", "energy_now"));

    if (const auto percent = chargePercent(battery)) {
        registry["CurrentCapacity"] = *percent;
        registry["MaxCapacity"] = 100;
    }

    put("CycleCount", positive(number("cycle_count")));  // 0: the driver does not know
    put("Voltage", milli(number("voltage_now")));

    const auto status = battery.text("status");
    const bool charging = status == "Charging";
    const bool discharging = status == "Discharging";
    std::optional<double> milliamps;
    if (const auto current = number("current_now")) {
        milliamps = static_cast<double>(*current) / 1000.0;
    } else if (const auto power = number("power_now"), volts = positive(number("voltage_now")); power && volts) {
        milliamps = static_cast<double>(*power) * 1000.0 / static_cast<double>(*volts);
    }
    if (milliamps) {
        // Drivers disagree on the sign (ACPI reports a positive rate while discharging).
        if (discharging) *milliamps = -std::fabs(*milliamps);
        if (charging) *milliamps = std::fabs(*milliamps);
        registry["InstantAmperage"] = rounded(*milliamps);
    }
    if (status) {
        registry["IsCharging"] = charging;
        registry["FullyCharged"] = *status == "Full";
    }

    addExternalPower(registry, supplies, status);

    if (const auto tenths = number("temp")) registry["Temperature"] = rounded(static_cast<double>(*tenths) * 10.0);
    put("ManufactureDate", packedDate(battery));
    put("Serial", cleanText(battery, "serial_number"));
    put("DeviceName", cleanText(battery, "model_name"));

    addTimeEstimates(registry, battery, charging, discharging);

    PlistDict original;
    for (const auto& [attribute, value] : battery.attributes) original.emplace(attribute, cleanText(value, false));
    registry["PowerSupply"] = std::move(original);
    return registry;
}

std::optional<PlistDict> MacBatteryReader::readRegistry(const std::filesystem::path& root) {
    return batteryRegistry(readPowerSupplies(root));
}

}  // namespace celvio
