// celvio-cli host as a person runs it, on recorded systems and on this machine.

#include "sections.hpp"

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
    EXPECT_EQ(out["macSystem"]["memoryGB"], 30);
    EXPECT_EQ(out["lowPowerMode"], true);
    const json& battery = out["battery"];
    EXPECT_EQ(battery["designCapacity"], 4948);
    EXPECT_EQ(battery["fullChargeCapacity"], 4453);
    EXPECT_NEAR(battery["health"].get<double>(), 89.995957963, 1e-6);
    EXPECT_NEAR(battery["batteryPower"].get<double>(), -8.47, 1e-9);
    EXPECT_EQ(battery["amperage"], -700);
    EXPECT_EQ(battery["timeToEmpty"], 273);
    EXPECT_EQ(battery["batterySerial"], nullptr);
    const json row = json::array({"PowerSupply.charge_behaviour", "[auto] inhibit-charge force-discharge"});
    EXPECT_NE(std::find(out["rawValues"].begin(), out["rawValues"].end(), row), out["rawValues"].end());
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

TEST(CelvioCLIHost, UsageErrors) {
    for (const char* arguments : {"host --bogus", "host extra", "host --root"}) {
        const CliRun run = cli(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.out.find("usage: celvio-cli host [--json] [--raw] [--root DIR]"), std::string::npos) << run.out;
    }
}
