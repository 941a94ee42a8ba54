#pragma once

#include "simulator.hpp"
#include "test_support.hpp"

#include <chrono>
#include <string>
#include <thread>

namespace celvio::test {

/// celvio-sim on a socket of its own, with the core's daemon address pointed at it.
struct SimulatedDaemon {
    explicit SimulatedDaemon(const std::string& scenarioJSON)
        : sim(sim::parseScenario(scenarioJSON), (dir / "usbmuxd").string()),
          env("USBMUXD_SOCKET_ADDRESS", "UNIX:" + sim.socketPath()) {}

    /// The simulator closes its side once it sees ours close; give it a moment (a loaded
    /// machine may need several seconds).
    bool allClosed() {
        for (int i = 0; i < 2000 && sim.openConnections() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return sim.openConnections() == 0;
    }

    TempDir dir;
    sim::Simulator sim;
    ScopedEnv env;
};

}  // namespace celvio::test
