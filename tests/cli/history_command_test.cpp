// celvio-cli history and import-coconut, run as separate processes on files in a
// temporary folder: argument to output, exit codes, and the store's faults as told.

#include "history/history_csv.hpp"
#include "history/history_json.hpp"
#include "history_test_support.hpp"

#include "cli_runner.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <regex>

using namespace celvio;
using namespace celvio::test;
namespace fs = std::filesystem;

namespace {

/// celvio-cli with a tmpfs of 8 kB over `folder`, in a mount namespace of its own so the
/// machine's mounts never change; empty when the system allows no such namespace.
std::optional<CliRun> cliOnFullFolder(const fs::path& folder, const std::string& arguments) {
    const CliRun run = cli(arguments, "unshare -rm sh -c 'mount -t tmpfs -o size=8k tmpfs \"" + folder.string() +
                                          "\" || exit 77; exec \"$0\" \"$@\"'");
    if (run.status == 77 || run.out.starts_with("unshare:")) return std::nullopt;
    return run;
}

std::vector<HistoryEntry> writeHistory(const fs::path& file) {
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
    return {desk, phone, phone2};
}

}  // namespace

TEST(HistoryCommand, ShowsGroupsAndCSV) {
    TempDir dir;
    ScopedEnv zone("TZ", "UTC0");
    const auto entries = writeHistory(dir / "history.json");
    const std::string file = " --file " + (dir / "history.json").string();

    EXPECT_EQ(cli("history" + file).out,
              "Desk (MacBook Pro (14-inch, 2021))\n"
              "  serial C02X, mac, 1 measurement, latest 2024-01-31T23:30:00Z\n"
              "  2024-01   90.0 %  412 cycles\n"
              "\n"
              "Anna's iPhone (iPhone 14 Pro)\n"
              "  serial F2LX, ios, 2 measurements, latest 2024-02-02T08:00:00Z\n"
              "  2024-02   37.5 %  413 cycles\n");
    EXPECT_EQ(cli("history --csv" + file).out, historyCSV(entries) + "\n");

    const CliRun json = cli("history --json" + file);
    EXPECT_EQ(json.status, 0);
    const auto groups = nlohmann::json::parse(json.out);
    EXPECT_EQ(groups.size(), 2u);
    const std::pair<const char*, nlohmann::json> fields[] = {
        {"/1/serial", "F2LX"},
        {"/1/entryCount", 2},
        {"/1/periods", {{{"label", "2024-02"}, {"averageHealth", 37.5}, {"cycles", 413}}}},
        {"/1/trendPerMonth", nullptr},  // none from two days
        {"/1/reaches80", nullptr}};
    for (const auto& [pointer, value] : fields)
        EXPECT_EQ(groups.at(nlohmann::json::json_pointer(pointer)), value) << pointer;
}

TEST(HistoryCommand, ShowsTheTrend) {
    TempDir dir;
    ScopedEnv zone("TZ", "UTC0");
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    std::vector<HistoryEntry> entries;
    for (int day = -150; day < 0; day += 10) {  // 1 % a month down to 85 % today
        HistoryEntry entry = phoneEntry("FALL", now + std::chrono::days(day));
        entry.designCapacity = 100000;
        entry.fullChargeCapacity = std::llround((85 - day / (365.2425 / 12)) * 1000);
        entries.push_back(entry);
    }
    writeText(dir / "history.json", HistoryJSON::encodeArray(entries));
    const std::string file = " --file " + (dir / "history.json").string();
    const auto group = nlohmann::json::parse(cli("history --json" + file).out).at(0);
    EXPECT_NEAR(group["trendPerMonth"].get<double>(), -1.0, 0.001);
    // The month itself is the trend's own test; the text shows one.
    EXPECT_TRUE(std::regex_match(group["reaches80"].get<std::string>(), std::regex(R"(\d{4}-\d\d)")));
    const std::string text = cli("history" + file).out;
    EXPECT_TRUE(std::regex_search(text, std::regex("Anna's iPhone \\(iPhone 14 Pro\\)\n  trend: \u22121\\.0 % a month "
                                                   "\u00b7 80 % around [A-Z][a-z]{2} \\d{4}\n  serial FALL,")))
        << text;
}

TEST(HistoryCommand, ImportsCoconutBattery) {
    TempDir dir;
    ScopedEnv tmp("TMPDIR", dir.path().string());
    const auto database = dir / "coconut.sqlite";
    CoconutDatabase(database).insert(coconutRows(2, "F2LX", 700'000'000, 86400));
    const std::string file = " --file " + (dir / "history.json").string();

    EXPECT_EQ(cli("import-coconut " + database.string() + file).out, "2\n");
    EXPECT_EQ(cli("import-coconut " + database.string() + file).out, "0\n");

    EXPECT_EQ(cli("import-coconut " + (dir / "absent.sqlite").string() + file),
              (CliRun{1, "No file at " + (dir / "absent.sqlite").string() + ".\n"}));

    ScopedEnv home("HOME", (dir / "home").string());
    EXPECT_EQ(cli("import-coconut" + file).out, "0\n") << "no database in the default place";
}

TEST(HistoryCommand, ReadingNeverWritesAndTellsWhatItCannotRead) {
    TempDir dir;
    ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
    EXPECT_EQ(cli("history").out, "No measurements.\n") << "a missing file is an empty history";
    EXPECT_FALSE(fs::exists(dir / "data")) << "no folder made";
    fs::create_directories(dir / "data" / "Ampelon");
    writeHistory(dir / "data" / "Ampelon" / "history.json");
    EXPECT_EQ(cli("history").out, "No measurements.\n");
    EXPECT_FALSE(fs::exists(dir / "data" / "Celvio")) << "no older history copied";

    writeHistory(dir / "whole.json");
    const std::string whole = readText(dir / "whole.json");
    writeText(dir / "truncated.json", whole.substr(0, whole.size() / 2));
    writeText(dir / "empty.json", "");
    // What is no file at all is the store's test.
    for (const auto& [name, reason] :
         {std::pair{"truncated.json", "The file is not a valid history"}, std::pair{"empty.json", "The file is empty"}}) {
        const fs::path path = dir / name;
        const std::string before = readText(path);
        const auto written = fs::last_write_time(path);
        EXPECT_EQ(cli("history --file " + path.string()),
                  (CliRun{1, "History file " + path.string() + " could not be read: " + reason + "\n"}));
        EXPECT_EQ(std::tuple(readText(path), fs::last_write_time(path)), std::tuple(before, written)) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 4)  // data, whole, truncated, empty
        << "nothing kept aside, no lock or temporary file";
}

TEST(HistoryCommand, FailedSavesAndKeptAsideFilesAreTold) {
    TempDir dir;
    ScopedEnv tmp("TMPDIR", (dir / "tmp").string());
    for (const char* folder : {"tmp", "full"}) fs::create_directories(dir / folder);
    CoconutDatabase(dir / "coconut.sqlite").insert(coconutRows(400, "F2LX", 700'000'000, 86400));
    const std::string import = "import-coconut " + (dir / "coconut.sqlite").string() + " --file ";

    EXPECT_EQ(cli(import + (dir / "absent" / "history.json").string()),
              (CliRun{1, "History could not be saved: No such file or directory\n"})) << "no count";
    const struct {
        fs::path full, history;
        std::string out;
    } rows[] = {
        {dir / "full", dir / "full" / "history.json", "History could not be saved: No space left on device\n"},
        {dir / "tmp", dir / "history.json",
         "Diagnostics: coconutBattery database could not be copied: No space left on device\n"},
    };
    for (const auto& row : rows) {
        const auto run = cliOnFullFolder(row.full, import + row.history.string());
        if (!run) {
            std::printf("[  SKIPPED ] no private tmpfs on %s\n", row.full.c_str());
            continue;
        }
        EXPECT_EQ(*run, (CliRun{1, row.out})) << row.full;
    }
    EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "no snapshot left behind";
    EXPECT_FALSE(fs::exists(dir / "history.json")) << "nothing saved after a failed import";

    writeText(dir / "history.json", "[{\"broken\"");
    const CliRun run = cli(import + (dir / "history.json").string());
    EXPECT_EQ(run.status, 0);
    const std::regex told("The history file could not be read and was kept as (history\\.json\\.unreadable-\\S+); "
                          "a new history was started\\.\n400\n");
    std::smatch aside;
    ASSERT_TRUE(std::regex_match(run.out, aside, told)) << run.out;
    EXPECT_EQ(readText(dir / aside[1].str()), "[{\"broken\"");
}
