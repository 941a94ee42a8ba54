// celvio-cli as a person runs it: a separate process against the simulated daemon.

#include "simulated_daemon.hpp"

#include "cli_runner.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <future>
#include <map>
#include <memory>
#include <vector>

using celvio::test::SimulatedDaemon;
using nlohmann::json;

using celvio::test::cli;
using celvio::test::CliRun;

namespace {

std::string shippedScenario() { return celvio::test::readText(CELVIO_SCENARIO_DIR "/two-devices.json"); }

}  // namespace

TEST(CelvioCLI, ListsAndReadsTheShippedDevices) {
    SimulatedDaemon daemon(shippedScenario());
    const CliRun devices = cli("devices --json");
    ASSERT_EQ(devices.status, 0) << devices.out;
    const json list = json::parse(devices.out);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["udid"], "00008120-001A2B3C4D5E6F70");
    EXPECT_EQ(list[1]["connection"], "Wi\u2011Fi");

    const CliRun one = cli("read 00008120-001A2B3C4D5E6F70 --json --raw");
    ASSERT_EQ(one.status, 0) << one.out;
    const json phone = json::parse(one.out);
    EXPECT_EQ(phone["marketingName"], "iPhone 14 Pro");
    EXPECT_NEAR(phone["battery"]["health"].get<double>(), 92.1875, 1e-9);
    EXPECT_GT(phone["battery"]["rawValues"].size(), 40u);

    const CliRun text = cli("read");
    ASSERT_EQ(text.status, 0) << text.out;
    for (const char* line :
         {"  Health                 92.2 %\n", "  Wi\u2011Fi Address          f0:c3:71:2a:9b:44\n", "Kitchen iPad"})
        EXPECT_NE(text.out.find(line), std::string::npos) << text.out;
    EXPECT_TRUE(daemon.allClosed());

    EXPECT_EQ(cli("read nosuch"), (CliRun{1, "No attached device has the UDID nosuch.\n"}));
}

TEST(CelvioCLI, UsageErrorsNameTheProblemThenTheCommandsUsage) {
    const std::map<std::string, std::string> usage{
        {"devices", "[--json]"}, {"read", "[UDID] [--json] [--raw]"}, {"host", "[--json] [--raw] [--root DIR]"},
        {"history", "[--csv | --json] [--file PATH]"}, {"import-coconut", "[DATABASE] [--file PATH]"}};
    const std::pair<std::string, std::string> rows[] = {
        {"devices extra", "unknown argument: extra"}, {"devices --raw", "unknown argument: --raw"},
        {"read --bogus", "unknown argument: --bogus"}, {"read a b", "unknown argument: b"},
        {"host -", "unknown argument: -"}, {"host --rootx", "unknown argument: --rootx"},
        {"host --root", "--root needs a folder"}, {"history extra", "unknown argument: extra"},
        {"history --file", "--file needs a path"}, {"history --csv --json", "--csv and --json exclude each other"},
        {"import-coconut a b", "unknown argument: b"}, {"import-coconut --csv", "unknown argument: --csv"},
    };
    for (const auto& [arguments, problem] : rows) {
        const std::string command = arguments.substr(0, arguments.find(' '));
        const std::string text = "celvio-cli: " + problem + "\n\nusage: celvio-cli " + command + " " + usage.at(command);
        EXPECT_EQ(cli(arguments), (CliRun{2, text + "\n"}));
    }
    const CliRun unknown = cli("bogus");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out.rfind("celvio-cli: unknown command: bogus\n\nusage: celvio-cli <command> [options]\n", 0), 0u)
        << unknown.out;
}

// Names and serials come from the device: a stray byte must not break the JSON, and an
// escape sequence must not reach the terminal as one.
TEST(CelvioCLI, TextFromTheDeviceIsMadeSafe) {
    json scenario = json::parse(shippedScenario());
    scenario["devices"].erase(1);
    json& phone = scenario["devices"][0];
    phone["udid"] = "00008120\x1b[2J";
    // "Bad", the invalid byte FF, a terminal title sequence ending in BEL, " phone".
    phone["lockdown"]["values"]["DeviceName"] = {{"$text", "QmFk/xtdMDtwd25lZAcgcGhvbmU="}};
    SimulatedDaemon daemon(scenario.dump());

    const CliRun asJSON = cli("read --json");
    ASSERT_EQ(asJSON.status, 0) << asJSON.out;
    EXPECT_EQ(json::parse(asJSON.out)[0]["name"], "Bad\uFFFD\x1b]0;pwned\a phone");

    for (const auto& [command, shows] :
         {std::pair{"devices", "00008120\\u{1b}[2J "}, std::pair{"read", "Bad\uFFFD\\u{1b}]0;pwned\\u{7} phone\n"}}) {
        const CliRun run = cli(command);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find(shows), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find_first_of("\x1b\a"), std::string::npos) << command;
    }
    EXPECT_TRUE(daemon.allClosed());
}

TEST(CelvioCLI, BrokenDaemonsEndWithTheirErrorWithinTheTimeout) {
    const char* const late = "The device did not respond in time.\n";
    // Each run waits up to the daemon's 5-second time-out, so they all run at once.
    const struct Row {
        const char *fault, *command, *faultyRequest, *text;
    } rows[] = {
        // One byte a second: the 5-second deadline ends the exchange long before the reply.
        {R"({"kind": "slow", "interval": 1000})", "devices", "ListDevices", late},
        {R"({"kind": "slow", "interval": 1000})", "read", "ReadPairRecord", late},
    };
    celvio::test::TempDir dir;
    std::vector<std::unique_ptr<celvio::sim::Simulator>> daemons;
    std::vector<std::future<CliRun>> runs;
    for (const auto& row : rows) {
        const std::string scenario = R"({"devices": [{"udid": "00008120-001A2B3C4D5E6F70",
            "attachments": [{"deviceID": 1, "connection": "USB"}]}], "faults": {")" +
                                     std::string(row.faultyRequest) + "\": " + row.fault + "}}";
        const std::string path = (dir / ("usbmuxd" + std::to_string(daemons.size()))).string();
        daemons.push_back(std::make_unique<celvio::sim::Simulator>(celvio::sim::parseScenario(scenario), path));
        const std::string prefix = "USBMUXD_SOCKET_ADDRESS=UNIX:" + path;
        runs.push_back(std::async(std::launch::async,
                                  [command = std::string(row.command), prefix] { return cli(command, prefix); }));
    }
    for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(runs[i].get(), (CliRun{1, rows[i].text})) << rows[i].command << " " << rows[i].fault;
}
