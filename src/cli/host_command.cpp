// celvio-cli host: the computer's own system data and battery.

#include "commands.hpp"

#include "platform/host_platform.hpp"
#include "reading/mac_battery_reader.hpp"
#include "reading/mac_system_info.hpp"
#include "reading/raw_values.hpp"
#include "display/sections.hpp"

#include "arguments.hpp"
#include "json_text.hpp"
#include "terminal_text.hpp"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace celvio::cli {
namespace {

using nlohmann::json;

json toJSON(const MacSystemInfo& s) {
    return {
        {"computerName", s.computerName},
        {"modelIdentifier", s.modelIdentifier},
        {"productName", s.productName},
        {"familyName", s.familyName()},
        {"variantName", orNull(s.variantName())},
        {"regulatoryModel", orNull(s.regulatoryModel)},
        {"modelNumber", orNull(s.modelNumber)},
        {"serialNumber", orNull(s.serialNumber)},
        {"chip", orNull(s.chip)},
        {"memoryGB", s.memoryGB},
        {"osVersion", s.osVersion},
        {"uptime", s.uptime},
    };
}

json toJSON(const MacBatteryInfo& b) {
    return {
        {"chargePercent", b.chargePercent},
        {"currentCapacity", orNull(b.currentCapacity)},
        {"fullChargeCapacity", orNull(b.fullChargeCapacity)},
        {"designCapacity", orNull(b.designCapacity)},
        {"nominalChargeCapacity", orNull(b.nominalChargeCapacity)},
        {"health", b.health()},
        {"cycleCount", b.cycleCount},
        {"designCycleCount", orNull(b.designCycleCount)},
        {"temperature", b.temperature},
        {"voltage", b.voltage},
        {"amperage", b.amperage},
        {"batteryPower", b.batteryPower()},
        {"isCharging", b.isCharging},
        {"externalConnected", b.externalConnected},
        {"fullyCharged", b.fullyCharged},
        {"timeToFull", orNull(b.timeToFull)},
        {"timeToEmpty", orNull(b.timeToEmpty)},
        {"manufactureDate", b.manufactureDate ? json(dateText(*b.manufactureDate)) : json(nullptr)},
        {"batterySerial", orNull(b.batterySerial)},
        {"gaugeName", orNull(b.gaugeName)},
        {"cellVoltages", b.cellVoltages},
        {"adapterName", orNull(b.adapterName)},
        {"adapterWatts", orNull(b.adapterWatts)},
        {"adapterVoltage", orNull(b.adapterVoltage)},
        {"adapterCurrent", orNull(b.adapterCurrent)},
        {"systemPower", orNull(b.systemPower)},
        {"readDate", dateText(b.readDate)},
    };
}

}  // namespace

int host(const std::vector<std::string_view>& args) {
    const Arguments arguments(args, {.flags = {"--json", "--raw"}, .valued = {{"--root", "a folder"}}});
    const std::filesystem::path root = arguments.value("--root").value_or("/");
    if (!isSystemRoot(root)) {
        std::cerr << "celvio-cli: no system folder at \"" << root.string() << "\"\n";
        return 1;
    }
    const MacSystemInfo system = readMacSystemInfo(root);
    // One registry read serves both the record and the raw rows.
    const auto registry = readBatteryRegistry(root);
    const auto battery = registry ? MacBatteryReader::read(*registry) : std::nullopt;
    const auto rawRows = registry ? RawValues::flatten(*registry) : std::vector<RawRow>{};

    if (arguments.has("--json")) {
        json out{{"macSystem", toJSON(system)},
                 {"lowPowerMode", lowPowerModeEnabled(root)},
                 {"battery", battery ? toJSON(*battery) : json(nullptr)}};
        if (arguments.has("--raw")) {
            json rows = json::array();
            for (const auto& [key, value] : rawRows) rows.push_back({key, value});
            out["rawValues"] = rows;
        }
        std::cout << jsonText(out) << "\n";
        return 0;
    }
    const NumberFormat format;
    printSections(Sections::mac(system, format));
    if (battery) {
        printSections(Sections::macBattery(*battery, format));
    } else {
        std::printf("No internal battery\n  %s\n", std::string(hostWords().mainsPowerOnly).c_str());
    }
    if (arguments.has("--raw")) {
        printRawValues(rawRows);
    }
    return 0;
}

}  // namespace celvio::cli
