// celvio-cli host as a person runs it, on recorded systems and on this machine.

#include "cli_runner.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

using nlohmann::json;

using celvio::test::cli;
using celvio::test::CliRun;

namespace {

std::string root(const std::string& tree) { return "--root " + std::string(CELVIO_HOST_DATA_DIR) + "/" + tree; }

}  // namespace

// What the readers find and how the sections word it are their own tests; here, that the
// command joins them, in text and as JSON with each kind of value under its name.
TEST(CelvioCLIHost, ReportsARecordedLaptop) {
    const CliRun run = cli("host " + root("charge-ac-charging"));
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* line : {"Computer\n  Name                   Anna's MacBook Pro\n", "  Health                 91.1 %\n",
                             "  Linux                  6.1.0\n", "  Time to Full           0:40 h\nPower Adapter\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\nin\n" << run.out;

    const json raw = json::parse(cli("host --json --raw " + root("energy-discharging")).out)["rawValues"];
    const json row = json::array({"PowerSupply.BAT0.charge_behaviour", "[auto] inhibit-charge force-discharge"});
    EXPECT_NE(std::find(raw.begin(), raw.end(), row), raw.end());
    const std::pair<const char*, json> rows[] = {
        {"energy-discharging",
         {{"/macSystem/productName", "ThinkPad X1 Carbon Gen 9"}, {"/macSystem/variantName", nullptr},
          {"/lowPowerMode", true}, {"/battery/amperage", -700}, {"/battery/batteryPower", -8.47}}},
        {"second-bay", {{"/battery/manufactureDate", "2021-03-09T00:00:00Z"}}},
        {"msi-desktop", {{"/battery", nullptr}}},
    };
    for (const auto& [tree, expected] : rows) {
        const CliRun one = cli("host --json " + root(tree));
        ASSERT_EQ(one.status, 0) << tree << "\n" << one.out;
        const json out = json::parse(one.out);
        for (const auto& [pointer, value] : expected.items())
            EXPECT_EQ(out.at(json::json_pointer(pointer)), value) << tree << " " << pointer;
    }
}

TEST(CelvioCLIHost, RootThatIsNoFolder) {
    for (const std::string& folder :
         {std::string("/nonexistent"), std::string(CELVIO_HOST_DATA_DIR) + "/asahi/proc/uptime", std::string()}) {
        const CliRun run = cli("host '--root=" + folder + "'");
        EXPECT_EQ(run.status, 1) << folder;
        EXPECT_NE(run.out.find("celvio-cli: no system folder at \"" + folder + "\""), std::string::npos) << run.out;
    }
}

TEST(CelvioCLIHost, NoInternalBatteryAndThisMachine) {
    const CliRun desktop = cli("host " + root("desktop"));
    EXPECT_EQ(desktop.status, 0);
    EXPECT_NE(desktop.out.find("  Uptime                 0m\nNo internal battery\n"
                               "  This computer runs on mains power only.\n"),
              std::string::npos)
        << desktop.out;
    const CliRun here = cli("host");
    EXPECT_EQ(here.status, 0) << here.out;
    EXPECT_EQ(here.out.rfind("Computer\n  Name ", 0), 0u) << here.out;
}
