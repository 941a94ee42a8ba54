// celvio-cli history and import-coconut, run as separate processes on files in a
// temporary folder.

#include "history/history_json.hpp"
#include "history_test_support.hpp"

#include "cli_runner.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <variant>

#include <fcntl.h>
#include <sched.h>      // unshare
#include <sys/mount.h>  // mount
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace celvio;
using namespace celvio::test;
namespace fs = std::filesystem;

namespace {

/// Runs celvio-cli in a child process with a mount namespace of its own, after `mount`
/// (returning a problem text, or empty) has changed the mounts there: the machine's own
/// mounts never change, and the child's go with it. A text instead of the run when the
/// system allows no private mounts.
std::variant<CliRun, std::string> cliWithMounts(const std::function<std::string()>& mount,
                                                const std::string& arguments) {
    int channel[2];
    if (::pipe(channel) != 0) return std::string("pipe failed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::string report;
        if (::unshare(CLONE_NEWNS) != 0) {
            report = std::string("S no mount namespace of our own: ") + std::strerror(errno);
        } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            report = std::string("S mounts cannot be made private: ") + std::strerror(errno);
        } else if (const std::string problem = mount(); !problem.empty()) {
            report = "S " + problem;
        } else {
            const CliRun run = cli(arguments);
            report = "R" + std::to_string(run.status) + "\n" + run.out;
        }
        const bool written = ::write(channel[1], report.data(), report.size()) == static_cast<ssize_t>(report.size());
        std::_Exit(written ? 0 : 1);
    }
    ::close(channel[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (report.starts_with("S ")) return report.substr(2);
    if (!report.starts_with("R")) return std::string("the child reported nothing");
    const auto line = report.find('\n');
    return CliRun{std::stoi(report.substr(1, line - 1)), report.substr(line + 1)};
}

std::string mountTmpfs(const fs::path& folder, const char* size) {
    const std::string options = std::string("size=") + size;
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0)
        return std::string("no tmpfs could be mounted: ") + std::strerror(errno);
    return {};
}

/// A coconutBattery database with `rows` rows of one iPhone, a day apart.
void writeCoconut(const fs::path& database, int rows) {
    sqlite3* db = nullptr;
    sqlite3_open(database.c_str(), &db);
    std::string sql =
        "CREATE TABLE ZHISTORYENTITY (ZDATASNAPSHOTDATE, ZDATATYPE, ZDEVICESERIAL, ZDEVICENAME, ZDEVICEMODEL, "
        "ZDEVICEOSVERSION, ZBATTERYSERIAL, ZBATTERYCYCLECOUNT, ZBATTERYFCC, ZBATTERYDC); BEGIN;";
    for (int i = 0; i < rows; ++i)
        sql += "INSERT INTO ZHISTORYENTITY VALUES (" + std::to_string(700000000 + i * 86400) +
               ", 'iOS', 'F2LX', 'Anna''s iPhone with a long name', 'iPhone15,2', '17.4', 'F5D1', 412, 2950, 3279);";
    sqlite3_exec(db, (sql + "COMMIT;").c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

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
    EXPECT_TRUE(groups[1]["trendPerMonth"].is_null()) << "no trend from two days";
    EXPECT_TRUE(groups[1]["reaches80"].is_null());

    EXPECT_EQ(cli("history --file " + (dir / "none.json").string()).out, "No measurements.\n");
}

TEST(HistoryCommand, ShowsEachDevicesTrend) {
    TempDir dir;
    ScopedEnv zone("TZ", "UTC0");
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    // A falling line through 80 % at noon on the 15th about five months ahead, far from a
    // month's edge however the seconds between this line and the command's fall.
    const std::time_t ahead = std::chrono::system_clock::to_time_t(now + std::chrono::days(150));
    std::tm crossing{};
    gmtime_r(&ahead, &crossing);
    crossing.tm_mday = 15;
    crossing.tm_hour = 12;
    const HistoryEntry::Date crossingDate = std::chrono::system_clock::from_time_t(timegm(&crossing));
    char month[16];
    char name[16];
    std::strftime(month, sizeof month, "%Y-%m", &crossing);
    std::strftime(name, sizeof name, "%b %Y", &crossing);

    const auto device = [&](const char* serial, int first, int step, double perMonth, int count) {
        std::vector<HistoryEntry> entries;
        for (int i = 0; i < count; ++i) {
            const HistoryEntry::Date date = now + std::chrono::days(first + i * step);
            HistoryEntry entry = phoneEntry(serial, date);
            entry.designCapacity = 100000;
            const double months = (crossingDate - date).count() / 86400.0 / (365.2425 / 12);
            entry.fullChargeCapacity = std::llround((perMonth < 0 ? 80 - perMonth * months : 92) * 1000);
            entries.push_back(entry);
        }
        return entries;
    };
    const struct {
        const char* serial;
        std::vector<HistoryEntry> entries;
        std::string line;  // under the title; empty for none
        nlohmann::json trendPerMonth;
        nlohmann::json reaches80;
    } rows[] = {
        {"FALL", device("FALL", -150, 10, -1, 15),
         "  trend: \u22121.0 % a month \u00b7 80 % around " + std::string(name) + "\n", -1.0, month},
        {"FLAT", device("FLAT", -200, 7, 0, 28), "  trend: 0.0 % a month \u00b7 80 % not within 5 years\n", 0.0,
         nullptr},
        {"SHORT", device("SHORT", -59, 1, -1, 60), "", nullptr, nullptr},
    };
    std::vector<HistoryEntry> all;
    for (const auto& row : rows) all.insert(all.end(), row.entries.begin(), row.entries.end());
    writeText(dir / "history.json", HistoryJSON::encodeArray(all));
    const std::string file = " --file " + (dir / "history.json").string();

    const CliRun text = cli("history" + file);
    const auto groups = nlohmann::json::parse(cli("history --json" + file).out);
    for (const auto& row : rows) {
        const std::string block =
            "Anna's iPhone (iPhone 14 Pro)\n" + row.line + "  serial " + std::string(row.serial) + ",";
        EXPECT_NE(text.out.find(block), std::string::npos) << row.serial << "\n" << text.out;
        const auto group = std::find_if(groups.begin(), groups.end(),
                                        [&](const nlohmann::json& g) { return g["serial"] == row.serial; });
        ASSERT_NE(group, groups.end()) << row.serial;
        if (row.trendPerMonth.is_null())
            EXPECT_TRUE((*group)["trendPerMonth"].is_null()) << row.serial;
        else
            EXPECT_NEAR((*group)["trendPerMonth"].get<double>(), row.trendPerMonth.get<double>(), 0.001) << row.serial;
        EXPECT_EQ((*group)["reaches80"], row.reaches80) << row.serial;
    }
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

TEST(HistoryCommand, ReadingNeverWritesAndTellsWhatItCannotRead) {
    TempDir dir;
    ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
    const CliRun none = cli("history");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "No measurements.\n") << "a missing file is an empty history";
    EXPECT_FALSE(fs::exists(dir / "data")) << "no folder made";

    fs::create_directories(dir / "data" / "Ampelon");
    writeHistory(dir / "data" / "Ampelon" / "history.json");
    EXPECT_EQ(cli("history").out, "No measurements.\n");
    EXPECT_FALSE(fs::exists(dir / "data" / "Celvio")) << "no older history copied";

    writeHistory(dir / "whole.json");
    const std::string whole = readText(dir / "whole.json");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const struct {
        const char* what;
        fs::path file;
        std::string content;  // written first unless empty
        std::string reason;
    } rows[] = {
        {"a truncated file", dir / "truncated.json", whole.substr(0, whole.size() / 2),
         "The file is not a valid history"},
        {"an empty file", dir / "empty.json", "", "The file is empty"},
        {"a FIFO without a writer", dir / "fifo", "", "Not a regular file"},
        {"an endless device", "/dev/zero", "", "Not a regular file"},
        {"a folder", dir.path(), "", "Is a directory"},
    };
    writeText(dir / "empty.json", "");
    for (const auto& row : rows) {
        if (!row.content.empty()) writeText(row.file, row.content);
        const auto before = fs::last_write_time(row.file);
        // A read that blocks ends as timeout's status 124 instead of a hung test.
        const CliRun run = cli("history --file " + row.file.string(), "timeout 5 ");
        EXPECT_EQ(run.status, 1) << row.what;
        EXPECT_EQ(run.out, "History file " + row.file.string() + " could not be read: " + row.reason + "\n")
            << row.what;
        EXPECT_TRUE(row.content.empty() || readText(row.file) == row.content) << row.what << ": byte-identical";
        EXPECT_EQ(fs::last_write_time(row.file), before) << row.what;
    }
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(dir.path())) names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"data", "empty.json", "fifo", "truncated.json", "whole.json"}))
        << "nothing kept aside, no lock or temporary file";
}

TEST(HistoryCommand, AFailedSaveIsTold) {
    TempDir dir;
    ScopedEnv tmp("TMPDIR", (dir / "tmp").string());
    fs::create_directories(dir / "tmp");
    fs::create_directories(dir / "ro");
    fs::create_directories(dir / "full");
    writeHistory(dir / "ro" / "history.json");
    const std::string before = readText(dir / "ro" / "history.json");
    writeCoconut(dir / "coconut.sqlite", 400);
    const std::string import = "import-coconut " + (dir / "coconut.sqlite").string() + " --file ";

    const CliRun missing = cli(import + (dir / "absent" / "history.json").string());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "History could not be saved: No such file or directory\n") << "no count";

    // A folder the user cannot write: read-only for everyone in a private mount namespace,
    // since root writes wherever permissions say no.
    const bool root = ::geteuid() == 0;
    if (!root) fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    const auto readOnly = [&] {
        const fs::path folder = dir / "ro";
        if (!root) return std::string();
        if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return std::string("no read-only bind mount: ") + std::strerror(errno);
        return std::string();
    };
    const auto full = [&] { return mountTmpfs(dir / "full", "8k"); };
    const struct {
        const char* what;
        std::function<std::string()> mount;
        fs::path history;
        std::string out;
    } rows[] = {
        {"a read-only folder", readOnly, dir / "ro" / "history.json",
         root ? "History could not be saved: Read-only file system\n"
              : "History could not be saved: Permission denied\n"},
        {"a full file system", full, dir / "full" / "history.json",
         "History could not be saved: No space left on device\n"},
        {"a full temporary folder", [&] { return mountTmpfs(dir / "tmp", "8k"); }, dir / "history.json",
         "Diagnostics: coconutBattery database could not be copied: No space left on device\n"},
    };
    for (const auto& row : rows) {
        const bool plain = !root && row.history == dir / "ro" / "history.json";
        const auto result =
            plain ? cli(import + row.history.string()) : cliWithMounts(row.mount, import + row.history.string());
        if (const auto* reason = std::get_if<std::string>(&result)) {
            std::printf("[  SKIPPED ] %s: %s\n", row.what, reason->c_str());
            continue;
        }
        const CliRun& run = std::get<CliRun>(result);
        EXPECT_EQ(run.status, 1) << row.what;
        EXPECT_EQ(run.out, row.out) << row.what;
    }
    fs::permissions(dir / "ro", fs::perms::owner_all);
    EXPECT_EQ(readText(dir / "ro" / "history.json"), before);
    EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "no snapshot left behind";
    EXPECT_FALSE(fs::exists(dir / "history.json")) << "nothing saved after a failed import";
}

TEST(HistoryCommand, ImportTellsAnUnreadableHistoryWasKeptAside) {
    TempDir dir;
    ScopedEnv tmp("TMPDIR", dir.path().string());
    writeCoconut(dir / "coconut.sqlite", 2);
    writeText(dir / "history.json", "[{\"broken\"");
    const CliRun run =
        cli("import-coconut " + (dir / "coconut.sqlite").string() + " --file " + (dir / "history.json").string());
    EXPECT_EQ(run.status, 0);
    std::string aside;
    for (const auto& item : fs::directory_iterator(dir.path()))
        if (item.path().filename().string().starts_with("history.json.unreadable-")) aside = item.path().filename();
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(readText(dir / aside), "[{\"broken\"");
    EXPECT_EQ(run.out,
              "The history file could not be read and was kept as " + aside + "; a new history was started.\n2\n");

    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const CliRun fifo =
        cli("import-coconut " + (dir / "coconut.sqlite").string() + " --file " + (dir / "fifo").string(), "timeout 5 ");
    EXPECT_EQ(fifo.status, 1);
    EXPECT_EQ(fifo.out, "History could not be saved: Not a regular file\n") << "left where it is";
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
}
