// celvio-cli: a small scriptable front end over the core library.

#include "usbmux.hpp"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: celvio-cli <command> [options]\n"
    "\n"
    "commands:\n"
    "  devices [--json]   list the attached iPhones and iPads (through the usbmux daemon)\n"
    "\n"
    "The daemon is reached at /var/run/usbmuxd unless USBMUXD_SOCKET_ADDRESS says\n"
    "otherwise (UNIX:/path or host:port).\n";

int usageError(const std::string& message) {
    std::cerr << "celvio-cli: " << message << "\n\n" << kUsage;
    return 2;
}

int devices(const std::vector<std::string_view>& args) {
    bool json = false;
    for (auto arg : args) {
        if (arg == "--json") json = true;
        else return usageError("unknown option for devices: " + std::string(arg));
    }
    const auto list = celvio::USBMux::listDevices(false);
    if (json) {
        auto out = nlohmann::json::array();
        for (const auto& d : list)
            out.push_back({{"udid", d.udid}, {"deviceID", d.deviceID}, {"connection", celvio::connectionText(d.connection)}});
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    if (list.empty()) {
        std::cout << "No devices attached.\n";
        return 0;
    }
    std::printf("%-42s %10s  %s\n", "UDID", "DEVICE ID", "CONNECTION");
    for (const auto& d : list)
        std::printf("%-42s %10lld  %s\n", d.udid.c_str(), static_cast<long long>(d.deviceID),
                    std::string(celvio::connectionText(d.connection)).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return args.empty() ? 2 : 0;
    }
    const std::string_view command = args[0];
    args.erase(args.begin());
    try {
        if (command == "devices") return devices(args);
        return usageError("unknown command: " + std::string(command));
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
}
