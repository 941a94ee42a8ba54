// celvio-cli: a small scriptable front end over the core library.

#include "arguments.hpp"
#include "commands.hpp"
#include "display/error_text.hpp"
#include "display/sections.hpp"
#include "link/usbmux.hpp"
#include "reading/ios_device_reader.hpp"

#include "json_text.hpp"
#include "terminal_text.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using celvio::cli::Arguments;
using celvio::cli::dateText;
using celvio::cli::jsonText;
using celvio::cli::orNull;
using celvio::cli::printRawValues;
using celvio::cli::printSections;
using celvio::cli::UsageError;
using celvio::cli::visible;
using nlohmann::json;

constexpr const char* kUsage =
    "usage: celvio-cli <command> [options]\n"
    "\n"
    "commands:\n"
    "  devices [--json]              list the attached iPhones and iPads\n"
    "  read [UDID] [--json] [--raw]  read a device's battery (every attached device\n"
    "                                without UDID); --raw adds every registry value\n"
    "  host [--json] [--raw] [--root DIR]\n"
    "                                this computer's system data and battery, read\n"
    "                                from the system under DIR (default /)\n"
    "  history [--csv | --json] [--file PATH]\n"
    "                                the stored history by device and month, or as CSV\n"
    "  import-coconut [DATABASE] [--file PATH]\n"
    "                                add a coconutBattery history (default: the one in\n"
    "                                ~/Library/Group Containers); prints the count\n"
    "\n"
    "The history file is $XDG_DATA_HOME/Celvio/history.json unless --file names one.\n"
    "\n"
    "The usbmux daemon is reached at /var/run/usbmuxd unless USBMUXD_SOCKET_ADDRESS\n"
    "says otherwise (UNIX:/path or host:port).\n";

json toJSON(const celvio::IOSDeviceInfo& info, bool raw) {
    const auto& b = info.battery;
    json battery{
        {"chargePercent", orNull(b.chargePercent)},   {"currentCapacity", orNull(b.currentCapacity)},
        {"fullChargeCapacity", orNull(b.fullChargeCapacity)}, {"designCapacity", orNull(b.designCapacity)},
        {"health", orNull(b.health())},               {"cycleCount", orNull(b.cycleCount)},
        {"temperature", orNull(b.temperature)},       {"voltage", orNull(b.voltage)},
        {"amperage", orNull(b.amperage)},             {"watts", orNull(b.watts())},
        {"isCharging", b.isCharging},                 {"externalConnected", b.externalConnected},
        {"fullyCharged", b.fullyCharged},             {"batterySerial", orNull(b.batterySerial)},
        {"adapterName", orNull(b.adapterName)},       {"adapterWatts", orNull(b.adapterWatts)},
    };
    if (raw) {
        json rows = json::array();
        for (const auto& [key, value] : b.rawValues) rows.push_back({key, value});
        battery["rawValues"] = rows;
    }
    return {
        {"udid", info.udid},
        {"connection", celvio::connectionText(info.connection)},
        {"name", info.name},
        {"productType", info.productType},
        {"marketingName", info.marketingName},
        {"deviceClass", info.deviceClass},
        {"osVersion", info.osVersion},
        {"buildVersion", orNull(info.buildVersion)},
        {"serialNumber", info.serialNumber},
        {"modelNumber", orNull(info.modelNumber)},
        {"regulatoryModel", orNull(info.regulatoryModel)},
        {"hardwareModel", orNull(info.hardwareModel)},
        {"wifiAddress", orNull(info.wifiAddress)},
        {"readDate", dateText(info.readDate)},
        {"battery", battery},
    };
}

void printReport(const celvio::IOSDeviceInfo& info, bool raw) {
    printSections(celvio::Sections::device(info));
    printSections(celvio::Sections::deviceBattery(info.battery, celvio::NumberFormat()));
    if (raw) printRawValues(info.battery.rawValues);
}

int devices(const std::vector<std::string_view>& args) {
    const Arguments arguments(args, {.flags = {"--json"}});
    const auto list = celvio::USBMux::listDevices(false);
    if (arguments.has("--json")) {
        json out = json::array();
        for (const auto& d : list)
            out.push_back({{"udid", d.udid}, {"deviceID", d.deviceID}, {"connection", celvio::connectionText(d.connection)}});
        std::cout << jsonText(out) << "\n";
        return 0;
    }
    if (list.empty()) {
        std::cout << "No devices attached.\n";
        return 0;
    }
    std::printf("%-42s %10s  %s\n", "UDID", "DEVICE ID", "CONNECTION");
    for (const auto& d : list)
        std::printf("%-42s %10lld  %s\n", visible(d.udid).c_str(), static_cast<long long>(d.deviceID),
                    std::string(celvio::connectionText(d.connection)).c_str());
    return 0;
}

int read(const std::vector<std::string_view>& args) {
    const Arguments arguments(args, {.flags = {"--json", "--raw"}, .maxOperands = 1});
    const bool asJSON = arguments.has("--json");
    const bool raw = arguments.has("--raw");
    const bool named = !arguments.operands().empty();
    auto attached = celvio::USBMux::listDevices(false);
    if (named) {
        const std::string& udid = arguments.operands()[0];
        std::erase_if(attached, [&](const celvio::MuxDevice& d) { return d.udid != udid; });
        if (attached.empty()) {
            std::cerr << "No attached device has the UDID " << udid << ".\n";
            return 1;
        }
    }
    int status = 0;
    json all = json::array();
    for (std::size_t i = 0; i < attached.size(); ++i) {
        const auto& device = attached[i];
        try {
            const auto info = celvio::IOSDeviceReader::read(device);
            if (asJSON) {
                all.push_back(toJSON(info, raw));
            } else {
                if (i > 0) std::printf("\n");
                printReport(info, raw);
            }
        } catch (const std::exception& error) {
            // One failing device does not hide the others.
            if (attached.size() > 1) std::cerr << visible(device.udid) << ": ";
            std::cerr << visible(celvio::errorText(error)) << "\n";
            status = 1;
        }
    }
    if (asJSON && !named) std::cout << jsonText(all) << "\n";
    if (asJSON && named && !all.empty()) std::cout << jsonText(all[0]) << "\n";
    if (!asJSON && attached.empty()) std::cout << "No devices attached.\n";
    return status;
}

struct Command {
    std::string_view name;
    int (*run)(const std::vector<std::string_view>& args);
    const char* usage;  ///< printed after a usage error
};

constexpr Command kCommands[] = {
    {"devices", devices, "usage: celvio-cli devices [--json]\n"},
    {"read", read, "usage: celvio-cli read [UDID] [--json] [--raw]\n"},
    {"host", celvio::cli::host, "usage: celvio-cli host [--json] [--raw] [--root DIR]\n"},
    {"history", celvio::cli::history, "usage: celvio-cli history [--csv | --json] [--file PATH]\n"},
    {"import-coconut", celvio::cli::importCoconut, "usage: celvio-cli import-coconut [DATABASE] [--file PATH]\n"},
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return args.empty() ? 2 : 0;
    }
    const std::string_view name = args[0];
    args.erase(args.begin());
    const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                      [name](const Command& c) { return c.name == name; });
    if (command == std::end(kCommands)) {
        std::cerr << "celvio-cli: unknown command: " << name << "\n\n" << kUsage;
        return 2;
    }
    try {
        return command->run(args);
    } catch (const UsageError& error) {
        std::cerr << "celvio-cli: " << error.message << "\n\n" << command->usage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << visible(celvio::errorText(error)) << "\n";
        return 1;
    }
}
