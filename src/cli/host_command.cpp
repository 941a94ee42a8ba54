// celvio-cli host: the computer's own system data and battery.

#include "commands.hpp"

#include "platform/host_platform.hpp"
#include "reading/mac_battery_reader.hpp"
#include "reading/mac_system_info.hpp"
#include "reading/raw_values.hpp"
#include "display/sections.hpp"

#include "json_text.hpp"
#include "terminal_text.hpp"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>

namespace celvio::cli {
namespace {

using nlohmann::json;

constexpr const char* kUsage = "usage: celvio-cli host [--json] [--raw] [--root DIR]\n";

struct Options {
    bool json = false;
    bool raw = false;
    std::filesystem::path root = "/";
};

/// The options, or absent after reporting a usage error.
std::optional<Options> parse(const std::vector<std::string_view>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--raw") {
            options.raw = true;
        } else if (arg == "--root" && i + 1 < args.size()) {
            options.root = args[++i];
        } else if (arg.starts_with("--root=")) {
            options.root = arg.substr(7);
        } else {
            std::cerr << "celvio-cli: "
                      << (arg == "--root" ? "--root needs a folder" : "unknown argument: " + std::string(arg)) << "\n\n"
                      << kUsage;
            return std::nullopt;
        }
    }
    return options;
}

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
        {"manufactureDate", b.manufactureDate ? json(isoTime(*b.manufactureDate)) : json(nullptr)},
        {"batterySerial", orNull(b.batterySerial)},
        {"gaugeName", orNull(b.gaugeName)},
        {"cellVoltages", b.cellVoltages},
        {"adapterName", orNull(b.adapterName)},
        {"adapterWatts", orNull(b.adapterWatts)},
        {"adapterVoltage", orNull(b.adapterVoltage)},
        {"adapterCurrent", orNull(b.adapterCurrent)},
        {"systemPower", orNull(b.systemPower)},
        {"readDate", isoTime(b.readDate)},
    };
}

}  // namespace

int host(const std::vector<std::string_view>& args) {
    const auto options = parse(args);
    if (!options) return 2;
    if (!isSystemRoot(options->root)) {
        std::cerr << "celvio-cli: no system folder at \"" << options->root.string() << "\"\n";
        return 1;
    }
    const MacSystemInfo system = readMacSystemInfo(options->root);
    // One registry read serves both the record and the raw rows.
    const auto registry = readBatteryRegistry(options->root);
    const auto battery = registry ? MacBatteryReader::read(*registry) : std::nullopt;
    const auto rawRows = registry ? RawValues::flatten(*registry) : std::vector<RawRow>{};

    if (options->json) {
        json out{{"macSystem", toJSON(system)},
                 {"lowPowerMode", lowPowerModeEnabled(options->root)},
                 {"battery", battery ? toJSON(*battery) : json(nullptr)}};
        if (options->raw) {
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
    if (options->raw) {
        printRawValues(rawRows);
    }
    return 0;
}

}  // namespace celvio::cli
