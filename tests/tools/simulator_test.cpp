#include "scenario.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace celvio::sim {
namespace {

// The keys the core tests' simulator runs use are proven by those runs; these are the others.
TEST(ScenarioTest, ParsesTheKeysNoRunUses) {
    const auto scenario = parseScenario(R"({"devices": [{"udid": "A", "privateKeyFormat": "pkcs8",
        "connectResults": {"1234": 3, "default": 6},
        "lockdown": {"values": {"Blob": {"$data": "AAH/gA=="}, "Updated": {"$date": 737242200.5}},
                     "services": {"com.apple.mobile.diagnostics_relay": {"kind": "relay"}}},
        "relay": {"faults": {"notStartable": true}}}]})");
    const auto& device = scenario.devices.at(0);
    EXPECT_EQ(std::tuple(device.pkcs8Key, device.connectResults.at(1234), device.defaultConnectResult,
                         device.relay.faults.notStartable),
              std::tuple(true, 3, 6, true));
    EXPECT_EQ(device.lockdown.values,
              (PlistDict{{"Blob", Bytes{0x00, 0x01, 0xFF, 0x80}}, {"Updated", PlistDate{737242200.5}}}));
}

TEST(ScenarioTest, ErrorsNameTheFileTheKeyAndTheExpectation) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"device": []})", "scenario: unknown key \"device\" (expected one of: devices, extraListEntries, faults)"},
        {R"({"devices": [{"udid": "A", "attachments": [{"deviceID": "5", "connection": "USB"}]}]})",
         "devices[0].attachments[0].deviceID: expected an integer"},
        {R"({"devices": [{"attachments": []}]})", "devices[0]: missing \"udid\""},
        {R"({"devices": [{"udid": "A", "attachments": [{"deviceID": 1, "connection": "USB"}]},
                         {"udid": "B", "attachments": [{"deviceID": 1, "connection": "USB"}]}]})",
         "devices[1].attachments[0].deviceID: duplicate deviceID 1"},
        {R"({"faults": {"Connect": {"kind": "explode"}}})",
         "faults.Connect.kind: unknown fault \"explode\" (expected length, notDictionary, garbage, binary, "
         "silence, hangup, noResult or slow)"},
        {R"({"faults": {"Connect": {"kind": "silence", "interval": 5}}})",
         "faults.Connect: \"interval\" applies only to the fault \"slow\""},
        {R"({"devices": [{"udid": "A", "lockdown": {"faults": {"lateOn": "GetVal:x"}}}]})",
         "devices[0].lockdown.faults.lateOn: unknown request \"GetVal:x\" (expected \"\", QueryType, StartSession, "
         "GetValue, StartService or StopSession)"},
        {R"({"devices": [{"udid": "A", "relay": {"faults": {"status": "Success"}}}]})",
         "devices[0].relay.faults.status: \"Success\" is no fault (leave \"status\" out)"},
        {R"({"devices": [{"udid": "A", "lockdown": {"values": {"K": {"$data": "A==="}}}}]})",
         "devices[0].lockdown.values.K.$data: expected base64 text"},
    };
    // Through a file, so that every message also carries the path.
    const auto path =
        std::filesystem::temp_directory_path() / ("celvio-sim-test-" + std::to_string(::getpid()) + ".json");
    for (const auto& [json, message] : cases) {
        std::ofstream(path) << json;
        try {
            loadScenario(path.string());
            ADD_FAILURE() << "no error for " << json;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), path.string() + ": " + message);
        }
    }
    std::filesystem::remove(path);
}

TEST(ScenarioTest, EveryShippedScenarioParses) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CELVIO_SIM_SCENARIO_DIR)) {
        if (entry.path().extension() != ".json") continue;
        ++count;
        EXPECT_NO_THROW(loadScenario(entry.path().string())) << entry.path();
    }
    EXPECT_GE(count, 4);
}

}  // namespace
}  // namespace celvio::sim
