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

TEST(CelvioCLIHost, JSONWithRawValues) {
    const CliRun run = cli("host --json --raw " + root("energy-discharging"));
    ASSERT_EQ(run.status, 0) << run.out;
    const json out = json::parse(run.out);
    EXPECT_EQ(out["macSystem"]["productName"], "ThinkPad X1 Carbon Gen 9");
    EXPECT_EQ(out["macSystem"]["variantName"], nullptr);
    EXPECT_EQ(out["macSystem"]["memoryGB"], 31);
    EXPECT_EQ(out["lowPowerMode"], true);
    const json& battery = out["battery"];
    EXPECT_EQ(battery["designCapacity"], 4948);
    EXPECT_EQ(battery["fullChargeCapacity"], 4453);
    EXPECT_NEAR(battery["health"].get<double>(), 89.995957963, 1e-6);
    EXPECT_NEAR(battery["batteryPower"].get<double>(), -8.47, 1e-9);
    EXPECT_EQ(battery["amperage"], -700);
    EXPECT_EQ(battery["timeToEmpty"], 273);
    EXPECT_EQ(battery["batterySerial"], nullptr);
    const json row = json::array({"PowerSupply.BAT0.charge_behaviour", "[auto] inhibit-charge force-discharge"});
    EXPECT_NE(std::find(out["rawValues"].begin(), out["rawValues"].end(), row), out["rawValues"].end());
}

TEST(CelvioCLIHost, JSONOfLaptopsAsTheyDiffer) {
    const struct {
        const char* tree;
        json expected;  // JSON pointer → value
    } rows[] = {
        {"capacity-only",
         {{"/battery/chargePercent", 57},
          {"/battery/currentCapacity", nullptr},
          {"/battery/fullChargeCapacity", nullptr},
          {"/battery/designCapacity", nullptr},
          {"/battery/batterySerial", "00512345"},
          {"/battery/manufactureDate", nullptr}}},
        {"energy-voltage-now",
         {{"/battery/designCapacity", 5000},
          {"/battery/fullChargeCapacity", 4500},
          {"/battery/currentCapacity", 3000}}},
        {"second-bay",
         {{"/battery/designCapacity", 5200},
          {"/battery/chargePercent", 50},
          {"/battery/batterySerial", "27182818"},
          {"/battery/manufactureDate", "2021-03-09T00:00:00Z"}}},
        {"two-batteries",
         {{"/battery/designCapacity", 8410},
          {"/battery/fullChargeCapacity", 7797},
          {"/battery/chargePercent", 57},
          {"/battery/cycleCount", 420},
          {"/battery/voltage", 12200},
          {"/battery/amperage", 1230},
          {"/battery/isCharging", true},
          {"/battery/timeToFull", 153}}},
        {"capacity-negative", {{"/battery/chargePercent", 25}}},
        {"capacity-over", {{"/battery/chargePercent", 75}}},
        {"msi-desktop",
         {{"/macSystem/productName", "MS-7C95"},
          {"/macSystem/serialNumber", nullptr},
          {"/macSystem/memoryGB", 16},
          {"/battery", nullptr}}},
    };
    for (const auto& row : rows) {
        const CliRun run = cli("host --json " + root(row.tree));
        ASSERT_EQ(run.status, 0) << row.tree << "\n" << run.out;
        const json out = json::parse(run.out);
        for (const auto& [pointer, value] : row.expected.items())
            EXPECT_EQ(out.at(json::json_pointer(pointer)), value) << row.tree << " " << pointer;
    }
}

TEST(CelvioCLIHost, RootThatIsNoFolder) {
    const std::vector<std::string> folders{"/nonexistent", std::string(CELVIO_HOST_DATA_DIR) + "/asahi/proc/uptime",
                                           ""};
    for (const std::string& folder : folders) {
        const CliRun run = cli("host '--root=" + folder + "'");
        EXPECT_EQ(run.status, 1) << folder;
        EXPECT_NE(run.out.find("celvio-cli: no system folder at \"" + folder + "\""), std::string::npos) << run.out;
    }
}

TEST(CelvioCLIHost, NoInternalBattery) {
    const CliRun desktop = cli("host " + root("desktop"));
    EXPECT_EQ(desktop.status, 0);
    EXPECT_NE(desktop.out.find("  Uptime                 0m\n"
                               "No internal battery\n"
                               "  This computer runs on mains power only.\n"),
              std::string::npos)
        << desktop.out;
    EXPECT_EQ(json::parse(cli("host --json " + root("peripheral-only")).out)["battery"], nullptr);

    // This machine, whatever it has.
    const CliRun here = cli("host");
    EXPECT_EQ(here.status, 0) << here.out;
    EXPECT_EQ(here.out.rfind("Computer\n  Name ", 0), 0u) << here.out;
}
