// celvio-cli history and import-coconut, run as separate processes on files in a
// temporary folder.

#include "history_json.hpp"
#include "history_test_support.hpp"

#include "cli_runner.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <cstdio>

using namespace celvio;
using namespace celvio::test;

namespace {

void writeHistory(const std::filesystem::path& file) {
    HistoryEntry desk = phoneEntry("C02X", utc("2024-01-31T23:30:00Z"));
    desk.kind = HistoryEntry::Kind::mac;
    desk.deviceName = "Desk";
    desk.modelIdentifier = "MacBookPro18,3";
    desk.osVersion.reset();
    HistoryEntry phone = phoneEntry("F2LX", utc("2024-02-01T08:00:00Z"));
    phone.fullChargeCapacity = 3000;
    phone.designCapacity = 4000;
    HistoryEntry phone2 = phoneEntry("F2LX", utc("2024-02-02T08:00:00Z"));
    phone2.designCapacity = 0;
    phone2.cycleCount = 413;
    writeText(file, HistoryJSON::encodeArray({desk, phone, phone2}));
}

}  // namespace

TEST(HistoryCommand, ShowsGroupsAndCSV) {
    TempDir dir;
    ScopedEnv zone("TZ", "UTC0");
    writeHistory(dir / "history.json");
    const std::string file = " --file " + (dir / "history.json").string();

    const CliRun text = cli("history" + file);
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out,
              "Desk (MacBook Pro (14-inch, 2021))\n"
              "  serial C02X, mac, 1 measurement, latest 2024-01-31T23:30:00Z\n"
              "  2024-01   90.0 %  412 cycles\n"
              "\n"
              "Anna's iPhone (iPhone 14 Pro)\n"
              "  serial F2LX, ios, 2 measurements, latest 2024-02-02T08:00:00Z\n"
              "  2024-02   37.5 %  413 cycles\n");

    const CliRun csv = cli("history --csv" + file);
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out,
              "date;device;model;serial;cycles;full_charge_capacity_mAh;design_capacity_mAh;health_percent;os;source\n"
              "2024-01-31T23:30:00Z;Desk;MacBookPro18,3;C02X;412;2950;3279;90.0;;Celvio\n"
              "2024-02-01T08:00:00Z;Anna's iPhone;iPhone15,2;F2LX;412;3000;4000;75.0;17.4.1;Celvio\n"
              "2024-02-02T08:00:00Z;Anna's iPhone;iPhone15,2;F2LX;413;2950;0;0.0;17.4.1;Celvio\n");

    const CliRun json = cli("history --json" + file);
    EXPECT_EQ(json.status, 0);
    const auto groups = nlohmann::json::parse(json.out);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[1]["serial"], "F2LX");
    EXPECT_EQ(groups[1]["entryCount"], 2);
    EXPECT_EQ(groups[1]["periods"][0],
              (nlohmann::json{{"label", "2024-02"}, {"averageHealth", 37.5}, {"cycles", 413}}));

    EXPECT_EQ(cli("history --file " + (dir / "none.json").string()).out, "No measurements.\n");
}

TEST(HistoryCommand, ImportsCoconutBattery) {
    TempDir dir;
    ScopedEnv tmp("TMPDIR", dir.path().string());
    const auto database = dir / "coconut.sqlite";
    sqlite3* db = nullptr;
    sqlite3_open(database.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE ZHISTORYENTITY (ZDATASNAPSHOTDATE, ZDATATYPE, ZDEVICESERIAL, ZDEVICENAME, ZDEVICEMODEL, "
                 "ZDEVICEOSVERSION, ZBATTERYSERIAL, ZBATTERYCYCLECOUNT, ZBATTERYFCC, ZBATTERYDC);"
                 "INSERT INTO ZHISTORYENTITY VALUES (700000000, 'Mac', 'C02X', 'Desk', 'MacBookPro18,3', '14.4', NULL, "
                 "87, 5103, 6075);"
                 "INSERT INTO ZHISTORYENTITY VALUES (700086400, 'iOS', 'F2LX', NULL, 'iPhone15,2', '17.4', NULL, 412, "
                 "2950, 3279);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const std::string file = " --file " + (dir / "history.json").string();

    EXPECT_EQ(cli("import-coconut " + database.string() + file).out, "2\n");
    EXPECT_EQ(cli("import-coconut " + database.string() + file).out, "0\n");
    EXPECT_NE(cli("history --csv" + file).out.find(";Device;iPhone15,2;F2LX;412;2950;3279;90.0;17.4;coconutBattery"),
              std::string::npos);

    writeText(dir / "not.sqlite", "not a database at all, but long enough to look like one's header......");
    const CliRun bad = cli("import-coconut " + (dir / "not.sqlite").string() + file);
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.out == "Diagnostics: Unsupported coconutBattery database format\n" ||
                bad.out == "Diagnostics: coconutBattery database could not be opened\n")
        << bad.out;

    const CliRun missing = cli("import-coconut " + (dir / "absent.sqlite").string() + file);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "No file at " + (dir / "absent.sqlite").string() + ".\n");

    ScopedEnv home("HOME", (dir / "home").string());
    EXPECT_EQ(cli("import-coconut" + file).out, "0\n") << "no database in the default place";
}

TEST(HistoryCommand, UsageErrors) {
    for (const char* arguments :
         {"history --csv --json", "history --file", "history extra", "import-coconut a b", "import-coconut --csv"})
        EXPECT_EQ(cli(arguments).status, 2) << arguments;
}
