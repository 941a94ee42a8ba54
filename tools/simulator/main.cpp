#include "scenario.hpp"
#include "simulator.hpp"

#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: celvio-sim --scenario FILE --socket PATH\n"
    "\n"
    "Serves a simulated usbmux daemon on the Unix socket PATH with the devices, their\n"
    "lockdown services and the faults of the scenario FILE (JSON) until interrupted\n"
    "(SIGINT or SIGTERM).\n"
    "Point a client at it with USBMUXD_SOCKET_ADDRESS=UNIX:PATH.\n"
    "\n"
    "  --scenario FILE   scenario to serve\n"
    "  --socket PATH     socket file to create (a leftover socket there is replaced)\n"
    "  --help            show this text\n";

int usageError(const std::string& message) {
    std::cerr << "celvio-sim: " << message << "\n" << kUsage;
    return 2;
}

// "--name value" or "--name=value"; advances `i` past a separate value.
std::optional<std::string> optionValue(int argc, char** argv, int& i, std::string_view name, bool& missing) {
    std::string_view arg = argv[i];
    if (arg == name) {
        if (i + 1 >= argc) {
            missing = true;
            return std::nullopt;
        }
        return std::string(argv[++i]);
    }
    if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
        return std::string(arg.substr(name.size() + 1));
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> scenarioPath;
    std::optional<std::string> socketPath;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        bool missing = false;
        if (auto value = optionValue(argc, argv, i, "--scenario", missing)) {
            scenarioPath = std::move(value);
        } else if (auto value2 = optionValue(argc, argv, i, "--socket", missing)) {
            socketPath = std::move(value2);
        } else if (missing) {
            return usageError(std::string(arg) + " needs a value");
        } else {
            return usageError("unknown argument \"" + std::string(arg) + "\"");
        }
    }
    if (!scenarioPath) return usageError("--scenario is required");
    if (!socketPath) return usageError("--socket is required");

    celvio::sim::Scenario scenario;
    try {
        scenario = celvio::sim::loadScenario(*scenarioPath);
    } catch (const std::exception& e) {
        std::cerr << "celvio-sim: " << e.what() << "\n";
        return 2;
    }

    // Blocked before any thread starts, so every thread inherits the mask and only
    // sigwait below sees the signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // Service handlers may write with plain write(); a vanished peer must not kill the daemon.
    std::signal(SIGPIPE, SIG_IGN);

    const auto deviceCount = scenario.devices.size();
    try {
        celvio::sim::Simulator simulator(std::move(scenario), *socketPath);
        std::cout << "celvio-sim: serving " << deviceCount << " devices on " << *socketPath << std::endl;
        int received = 0;
        while (sigwait(&signals, &received) != 0) {
        }
        simulator.stop();
    } catch (const std::exception& e) {
        std::cerr << "celvio-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
