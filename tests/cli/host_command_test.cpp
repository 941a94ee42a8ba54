// celvio-cli host as a person runs it, on recorded systems and on this machine.

#include "display/sections.hpp"

#include "cli_runner.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>

using nlohmann::json;

using celvio::test::cli;
using celvio::test::CliRun;

namespace {

std::string root(const std::string& tree) { return "--root " + std::string(CELVIO_HOST_DATA_DIR) + "/" + tree; }

}  // namespace

TEST(CelvioCLIHost, ReportOfARecordedLaptop) {
    const CliRun run = cli("host " + root("charge-ac-charging"));
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string age =
        celvio::ageString(std::chrono::sys_days{std::chrono::year{2019} / std::chrono::September / 17});
    for (const std::string& line :
         std::vector<std::string>{"Computer\n  Name                   Anna's MacBook Pro\n",
                                  "  Model                  MacBook Pro (16-inch, 2019)\n",
                                  "  Linux                  6.1.0\n  Uptime                 3d 4h 4m\n",
                                  "  Manufacture Date       2019-09-17\n  Age                    " + age + "\n",
                                  "  Health                 91.1 %\n", "  Battery Power          19.0 W\n",
                                  "  Time to Full           0:40 h\nPower Adapter\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\nin\n" << run.out;
}

TEST(CelvioCLIHost, JSON) {
    const CliRun run = cli("host --json --raw " + root("energy-discharging"));
    ASSERT_EQ(run.status, 0) << run.out;
    const json out = json::parse(run.out);
    const json row = json::array({"PowerSupply.BAT0.charge_behaviour", "[auto] inhibit-charge force-discharge"});
    EXPECT_NE(std::find(out["rawValues"].begin(), out["rawValues"].end(), row), out["rawValues"].end());
    // What the readers found is proven in their own tests; here, that each kind of value
    // reaches the JSON under its name: text, null, numbers, a fraction, a flag, a date.
    const std::pair<const char*, json> rows[] = {
        {"energy-discharging",
         {{"/macSystem/productName", "ThinkPad X1 Carbon Gen 9"},
          {"/macSystem/variantName", nullptr},
          {"/macSystem/memoryGB", 31},
          {"/lowPowerMode", true},
          {"/battery/fullChargeCapacity", 4453},
          {"/battery/amperage", -700},
          {"/battery/timeToEmpty", 273},
          {"/battery/batteryPower", -8.47}}},
        {"second-bay", {{"/battery/batterySerial", "27182818"}, {"/battery/manufactureDate", "2021-03-09T00:00:00Z"}}},
        {"two-batteries", {{"/battery/designCapacity", 8410}, {"/battery/isCharging", true}}},
        {"msi-desktop", {{"/macSystem/serialNumber", nullptr}, {"/battery", nullptr}}},
        {"peripheral-only", {{"/battery", nullptr}}},
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
