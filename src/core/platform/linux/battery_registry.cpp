#include "platform/linux/battery_registry.hpp"

#include "platform/host_platform.hpp"
#include "base/utf8.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <string>

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

/// "ExternalConnected" and "AdapterDetails" from the mains and USB supplies.
void addExternalPower(PlistDict& registry, const std::vector<PowerSupply>& supplies, std::optional<bool> discharging) {
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
    else if (discharging)
        registry["ExternalConnected"] = !*discharging;
    if (adapter) registry["AdapterDetails"] = adapterDetails(*adapter);
}

// What a laptop pack can physically report; anything beyond is a driver's garbage
// ("-8.5e25 W") and counts as absent.
constexpr double kMaxMicrovolts = 100e6;    // 0 to 100 V
constexpr double kMaxMicroamps = 50e6;      // ±50 A
constexpr double kMaxMicrowatts = 500e6;    // ±500 W
constexpr double kMinTenthsCelsius = -400;  // -40 °C ...
constexpr double kMaxTenthsCelsius = 1200;  // ... 120 °C

std::optional<double> within(std::optional<std::int64_t> value, double low, double high) {
    if (!value || static_cast<double>(*value) < low || static_cast<double>(*value) > high) return std::nullopt;
    return static_cast<double>(*value);
}

std::optional<double> positiveVolts(const PowerSupply& battery, std::string_view attribute) {
    const auto microvolts = within(battery.number(attribute), 0, kMaxMicrovolts);
    return microvolts && *microvolts > 0 ? microvolts : std::nullopt;
}

/// The voltage (µV) that turns the pack's energy figures into charge. It must stay the
/// same from reading to reading: converted with the present voltage, capacities move by
/// hundreds of mAh under load, and every move rewrites the history.
/// 1. voltage_min_design: the design voltage of ACPI, the nominal voltage the maker
///    rates the pack's mAh at.
/// 2. Else the nominal voltage of a lithium-ion cell, 3.8 V, times the cells in series:
///    counted from voltage_max_design (4.2 to 4.4 V a cell when full), else from the
///    highest present voltage seen as ceil(V / 4.45 V). An emptying four-cell pack
///    (below 3.34 V a cell) reads like a three-cell one; the highest voltage seen keeps
///    the count once the pack has been above that.
std::optional<double> conversionVoltage(const PowerSupply& battery) {
    constexpr double kNominalCell = 3.8e6, kFullCell = 4.35e6, kHighestCell = 4.45e6;
    if (const auto design = positiveVolts(battery, "voltage_min_design")) return design;
    if (const auto full = positiveVolts(battery, "voltage_max_design"))
        return std::max(1.0, std::round(*full / kFullCell)) * kNominalCell;
    auto now = positiveVolts(battery, "voltage_now");
    if (const auto highest = within(battery.highestMicrovolts, 0, kMaxMicrovolts); now && highest)
        now = std::max(*now, *highest);
    if (now) return std::ceil(*now / kHighestCell) * kNominalCell;
    return std::nullopt;
}

/// One present pack in like units: charges in µAh (energies converted), energies in
/// µWh, rates signed by the status (drivers disagree on the sign; ACPI reports a
/// positive rate while discharging).
struct Pack {
    const PowerSupply* supply;
    std::optional<std::string> status;
    std::optional<double> design, full, now;      // µAh
    std::optional<double> energyFull, energyNow;  // µWh
    std::optional<double> current, power;         // µA, µW
    std::optional<double> microvolts;             // the present voltage
    std::optional<double> chargeFull, chargeNow;  // µAh as the driver reports them
    std::optional<std::int64_t> percent;          // the driver's "capacity"

    bool charging() const { return status == "Charging"; }
    bool discharging() const { return status == "Discharging"; }

    double signedRate(double magnitude) const {
        if (discharging()) return -std::fabs(magnitude);
        if (charging()) return std::fabs(magnitude);
        return magnitude;
    }
};

Pack readPack(const PowerSupply& battery) {
    const auto number = [&](std::string_view attribute) -> std::optional<double> {
        const auto value = battery.number(attribute);
        return value ? std::optional(static_cast<double>(*value)) : std::nullopt;
    };
    Pack pack{&battery, battery.text("status"), {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    const auto voltage = conversionVoltage(battery);
    const auto charge = [&](const char* chargeAttribute, const char* energyAttribute) -> std::optional<double> {
        if (const auto microampHours = number(chargeAttribute)) return microampHours;
        const auto microwattHours = number(energyAttribute);
        if (!microwattHours || !voltage) return std::nullopt;
        return *microwattHours / *voltage * 1e6;
    };
    pack.design = charge("charge_full_design", "energy_full_design");
    pack.full = charge("charge_full", "energy_full");
    pack.now = charge("charge_now", "energy_now");
    pack.chargeFull = number("charge_full");
    pack.chargeNow = number("charge_now");
    pack.energyFull = number("energy_full");
    pack.energyNow = number("energy_now");
    pack.microvolts = within(battery.number("voltage_now"), 0, kMaxMicrovolts);
    if (const auto current = within(battery.number("current_now"), -kMaxMicroamps, kMaxMicroamps))
        pack.current = pack.signedRate(*current);
    if (const auto power = within(battery.number("power_now"), -kMaxMicrowatts, kMaxMicrowatts)) {
        pack.power = pack.signedRate(*power);
        if (!pack.current && pack.microvolts && *pack.microvolts > 0) {
            const double current = *pack.power / *pack.microvolts * 1e6;
            if (std::fabs(current) <= kMaxMicroamps) pack.current = current;
        }
    }
    if (const auto percent = battery.number("capacity"); percent && *percent >= 0 && *percent <= 100)
        pack.percent = percent;
    return pack;
}

/// The sum of one figure over all packs; absent when any pack lacks it, since a part
/// would pass for the whole.
template <typename Field>
std::optional<double> total(const std::vector<Pack>& packs, Field field) {
    double sum = 0;
    for (const Pack& pack : packs) {
        const std::optional<double>& value = pack.*field;
        if (!value) return std::nullopt;
        sum += *value;
    }
    return sum;
}

std::optional<double> ratio(std::optional<double> part, std::optional<double> whole) {
    if (!part || !whole || *whole <= 0) return std::nullopt;
    return *part / *whole;
}

/// The one pack's own "capacity", else the charge over the full charge of all packs
/// (energies first: they add up whatever each pack's voltage), else the packs' mean
/// "capacity". A 0 % for a driver that leaves "capacity" out would be wrong.
std::optional<std::int64_t> chargePercent(const std::vector<Pack>& packs) {
    if (packs.size() == 1 && packs[0].percent) return packs[0].percent;
    auto share = ratio(total(packs, &Pack::energyNow), total(packs, &Pack::energyFull));
    if (!share) share = ratio(total(packs, &Pack::now), total(packs, &Pack::full));
    if (share) return rounded(*share * 100.0);
    double sum = 0;
    for (const Pack& pack : packs) {
        if (!pack.percent) return std::nullopt;
        sum += static_cast<double>(*pack.percent);
    }
    return rounded(sum / static_cast<double>(packs.size()));
}

/// Minutes until empty or full: the one pack's own estimate (seconds), else what is left
/// to go at the present rate of all packs together.
void addTimeEstimates(PlistDict& registry, const std::vector<Pack>& packs, bool charging, bool discharging) {
    const auto minutes = [](std::optional<double> hours) {
        return hours ? std::optional(rounded(*hours * 60.0)) : std::nullopt;
    };
    const auto hoursAt = [&](std::optional<double> amount, std::optional<double> rate) -> std::optional<double> {
        if (!amount || *amount < 0 || !rate || *rate == 0) return std::nullopt;
        return *amount / std::fabs(*rate);
    };
    const auto left = [](std::optional<double> full, std::optional<double> now) -> std::optional<double> {
        return full && now ? std::optional(*full - *now) : std::nullopt;
    };
    const PowerSupply& only = *packs[0].supply;
    std::optional<std::int64_t> toEmpty, toFull;
    if (const auto seconds = only.number("time_to_empty_now"); seconds && packs.size() == 1) {
        toEmpty = rounded(static_cast<double>(*seconds) / 60.0);
    } else if (discharging && !charging) {
        auto estimate = hoursAt(total(packs, &Pack::chargeNow), total(packs, &Pack::current));
        if (!estimate) estimate = hoursAt(total(packs, &Pack::energyNow), total(packs, &Pack::power));
        toEmpty = minutes(estimate);
    }
    if (const auto seconds = only.number("time_to_full_now"); seconds && packs.size() == 1) {
        toFull = rounded(static_cast<double>(*seconds) / 60.0);
    } else if (charging) {
        auto estimate = hoursAt(left(total(packs, &Pack::chargeFull), total(packs, &Pack::chargeNow)),
                                total(packs, &Pack::current));
        if (!estimate)
            estimate = hoursAt(left(total(packs, &Pack::energyFull), total(packs, &Pack::energyNow)),
                               total(packs, &Pack::power));
        toFull = minutes(estimate);
    }
    if (toEmpty) registry["AvgTimeToEmpty"] = *toEmpty;
    if (toFull) registry["AvgTimeToFull"] = *toFull;
}

/// The distinct texts of one attribute over the packs, joined.
std::optional<std::string> joined(const std::vector<Pack>& packs, std::string_view attribute) {
    std::vector<std::string> texts;
    for (const Pack& pack : packs)
        if (auto text = cleanText(*pack.supply, attribute);
            text && std::find(texts.begin(), texts.end(), *text) == texts.end())
            texts.push_back(std::move(*text));
    if (texts.empty()) return std::nullopt;
    std::string all = texts[0];
    for (std::size_t i = 1; i < texts.size(); ++i) all += ", " + texts[i];
    return all;
}

}  // namespace

std::optional<PlistDict> batteryRegistry(const std::vector<PowerSupply>& supplies) {
    PlistDict original;
    std::vector<Pack> packs;
    for (const PowerSupply& supply : supplies) {
        if (!supply.isSystemBattery()) continue;
        PlistDict attributes;
        for (const auto& [attribute, value] : supply.attributes) attributes.emplace(attribute, cleanText(value, false));
        original.emplace(supply.name, std::move(attributes));
        if (supply.isPresent()) packs.push_back(readPack(supply));
    }
    if (original.empty()) return std::nullopt;

    PlistDict registry;
    registry["PowerSupply"] = std::move(original);
    registry["BatteryInstalled"] = !packs.empty();
    if (packs.empty()) return registry;

    // Several packs are one battery of the computer, as desktop power managers show them.
    const auto putMilli = [&](const char* key, std::optional<double> micro) {
        if (micro) registry[key] = rounded(*micro / 1000.0);
    };
    putMilli("DesignCapacity", total(packs, &Pack::design));
    putMilli("AppleRawMaxCapacity", total(packs, &Pack::full));
    putMilli("AppleRawCurrentCapacity", total(packs, &Pack::now));
    if (const auto percent = chargePercent(packs)) {
        registry["CurrentCapacity"] = *percent;
        registry["MaxCapacity"] = 100;
    }

    std::int64_t cycles = 0;  // 0: the driver does not know
    bool anyStatus = false, charging = false, discharging = false, full = true;
    std::optional<double> current;
    std::optional<std::int64_t> date, tenths;
    const Pack* busiest = nullptr;  // its voltage goes with the summed current
    for (const Pack& pack : packs) {
        cycles = std::max(cycles, pack.supply->number("cycle_count").value_or(0));
        anyStatus = anyStatus || pack.status.has_value();
        charging = charging || pack.charging();
        discharging = discharging || pack.discharging();
        full = full && pack.status == "Full";
        if (pack.current) current = current.value_or(0) + *pack.current;
        if (pack.microvolts && (!busiest || !busiest->microvolts ||
                                std::fabs(pack.current.value_or(0)) > std::fabs(busiest->current.value_or(0))))
            busiest = &pack;
        // The oldest pack tells the battery's age.
        if (const auto packed = packedDate(*pack.supply); packed && (!date || *packed < *date)) date = packed;
        if (const auto temperature = within(pack.supply->number("temp"), kMinTenthsCelsius, kMaxTenthsCelsius))
            tenths = std::max(tenths.value_or(INT64_MIN), rounded(*temperature));  // the warmest pack
    }
    if (cycles > 0) registry["CycleCount"] = cycles;
    if (busiest) putMilli("Voltage", busiest->microvolts);
    putMilli("InstantAmperage", current);
    if (anyStatus) {
        registry["IsCharging"] = charging;
        registry["FullyCharged"] = full;
    }
    addExternalPower(registry, supplies, anyStatus ? std::optional(discharging && !charging) : std::nullopt);
    if (tenths) registry["Temperature"] = *tenths * 10;
    if (date) registry["ManufactureDate"] = *date;
    if (const auto serial = joined(packs, "serial_number")) registry["Serial"] = *serial;
    if (const auto model = joined(packs, "model_name")) registry["DeviceName"] = *model;
    addTimeEstimates(registry, packs, charging, discharging);
    return registry;
}

std::optional<PlistDict> readBatteryRegistry(const std::filesystem::path& root) {
    std::vector<PowerSupply> supplies = readPowerSupplies(root);
    // Each pack's highest voltage in this process, by root, supply and serial: the
    // conversion of its energy figures must not change as the pack empties.
    static std::mutex mutex;
    static std::map<std::string, std::int64_t> highest;
    const std::lock_guard lock(mutex);
    for (PowerSupply& supply : supplies) {
        const auto microvolts = supply.number("voltage_now");
        if (!supply.isSystemBattery() || !microvolts) continue;
        std::int64_t& seen =
            highest[root.string() + '\0' + supply.name + '\0' + supply.text("serial_number").value_or("")];
        seen = std::max(seen, *microvolts);
        supply.highestMicrovolts = seen;
    }
    return batteryRegistry(supplies);
}

}  // namespace celvio
