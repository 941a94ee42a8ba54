#include "history/coconut_import.hpp"
#include "history/history_json.hpp"
#include "history/history_store.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <regex>
#include <set>

using namespace celvio;
using namespace celvio::test;
namespace fs = std::filesystem;

namespace {

HistoryEntry::Date since2001(double seconds) {
    return HistoryEntry::Date(HistoryEntry::Date::duration(978'307'200.0 + seconds));
}

/// A temporary folder of its own (TMPDIR) and a history file, per test.
struct ImportFolders {
    TempDir dir;
    ScopedEnv tmp{"TMPDIR", (dir / "tmp").string()};
    fs::path history = dir / "history.json";
    fs::path database = dir / "history.sqlite";

    ImportFolders() { fs::create_directory(dir / "tmp"); }
    bool temporaryFolderEmpty() const { return fs::is_empty(dir / "tmp"); }
};

}  // namespace

TEST(CoconutImport, MapsColumnsAndNulls) {
    ImportFolders s;
    CoconutDatabase(s.database)
        .insert({
            "300.5,'Mac','C02X','Desk','MacBookPro18,3','14.4','D865',87,5103,6075",
            "200.0,'mac','LOWER',NULL,NULL,NULL,NULL,NULL,NULL,NULL",
            "NULL,NULL,'NODATE','Anna\xff','','','',-1,0,0",
            "100.0,'iOS','','empty serial',NULL,NULL,NULL,NULL,NULL,NULL",
            "150.0,'iOS',NULL,'null serial',NULL,NULL,NULL,NULL,NULL,NULL",
            "1e300,'iOS','FAR',NULL,NULL,NULL,NULL,NULL,NULL,NULL",
        });
    HistoryStore store(s.history);
    EXPECT_EQ(store.importCoconutBattery(s.database), 3);

    const auto& entries = store.entries();
    ASSERT_EQ(entries.size(), 3u);
    using K = HistoryEntry::Kind;
    const std::vector<HistoryEntry> expected{
        {entries[0].id, since2001(0), K::ios, "NODATE", "Anna\uFFFD", "", "", "", -1, 0, 0, "coconutBattery"},
        {entries[1].id, since2001(200), K::ios, "LOWER", "Device", "", {}, {}, 0, 0, 0, "coconutBattery"},
        {entries[2].id, since2001(300.5), K::mac, "C02X", "Desk", "MacBookPro18,3", "14.4", "D865", 87, 5103, 6075,
         "coconutBattery"}};
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(readText(s.history), HistoryJSON::encodeArray(entries)) << "saved";
    EXPECT_TRUE(s.temporaryFolderEmpty());
}

TEST(CoconutImport, SkipsRowsWithinASecondOfAnother) {
    ScopedEnv zone("TZ", "UTC0");
    ImportFolders s;
    CoconutDatabase(s.database)
        .insert({coconutRow(100.0, "A"), coconutRow(100.4, "A"), coconutRow(200.0, "A"), coconutRow(201.0, "A"),
                 coconutRow(100.4, "B"), coconutRow(500.0, "OWN"), coconutRow(599.5, "OWN"), coconutRow(601.0, "OWN"),
                 coconutRow(86'400.75, "A")});
    HistoryStore store(s.history);
    store.record(phoneEntry("OWN", since2001(600.0)));
    EXPECT_EQ(store.importCoconutBattery(s.database), 7);
    std::string seen;  // serial and tenths of a second since 2001
    for (const auto& e : store.entries())
        seen += e.deviceSerial + std::to_string(std::lround((e.date.time_since_epoch().count() - 978'307'200.0) * 10)) +
                " ";
    EXPECT_EQ(seen, "A1000 B1004 A2000 A2010 OWN5000 OWN6000 OWN6010 A864008 ")
        << "0.4 s apart skipped, 1.0 s apart kept, the own measurement counts";

    // Again, also after the file's whole seconds were read back: the tolerance still matches.
    const std::string first = readText(s.history);
    EXPECT_EQ(HistoryStore(s.history).importCoconutBattery(s.database), 0);
    EXPECT_EQ(store.importCoconutBattery(s.database), 0);
    EXPECT_EQ(readText(s.history), first);
}

TEST(CoconutImport, OnlyCommittedRowsArrive) {
    // Another program in the middle of a transaction: small ones stay in its memory, large
    // ones spill into the database file (rollback journal) or the log (WAL).
    const struct {
        const char* what;
        const char* mode;
        int uncommitted;
        std::int64_t imported;  // -1: the import fails as "in use"
    } rows[] = {{"rollback journal, a few rows pending", "DELETE", 3, 500},
                {"rollback journal, pages spilled into the file", "DELETE", 1919, -1},
                {"write-ahead log, a few rows pending", "WAL", 3, 500},
                {"write-ahead log, pages spilled into the log", "WAL", 1919, 500}};
    for (const auto& r : rows) {
        ScopedEnv zone("TZ", "UTC0");
        ImportFolders s;
        CoconutDatabase writer(s.database);
        writer.exec(std::string("PRAGMA journal_mode=") + r.mode + "; PRAGMA cache_size=10;");
        writer.insert(coconutRows(500, "COMMITTED"));
        writer.exec("BEGIN");
        writer.insert(coconutRows(r.uncommitted, "PENDING"));
        HistoryStore(s.history).record(phoneEntry("OWN", utc("2024-03-05T10:00:00Z")));
        const std::string before = readText(s.history);
        const fs::path log = s.dir / "history.sqlite-wal";
        const std::string mainBefore = readText(s.database), logBefore = fs::exists(log) ? readText(log) : "";
        HistoryStore store(s.history);
        if (r.imported >= 0) {
            EXPECT_EQ(store.importCoconutBattery(s.database), r.imported) << r.what;
            for (const auto& entry : store.entries()) EXPECT_NE(entry.deviceSerial, "PENDING") << r.what;
        } else {
            expectError([&] { store.importCoconutBattery(s.database); },
                        "Diagnostics: coconutBattery database is in use by another program; try again in a moment");
            EXPECT_EQ(readText(s.history), before) << r.what << ": nothing saved";
        }
        EXPECT_EQ(readText(s.database), mainBefore) << r.what << ": the original files are not touched";
        EXPECT_EQ(fs::exists(log) ? readText(log) : "", logBefore) << r.what;
        writer.exec("ROLLBACK");
        EXPECT_TRUE(s.temporaryFolderEmpty()) << r.what;
    }
}

TEST(CoconutImport, RemovesOnlyOldImportFoldersOfOurs) {
    ImportFolders s;
    CoconutDatabase(s.database).insert({coconutRow(100.0, "A")});
    const fs::path tmp = s.dir / "tmp";
    for (const char* name : {"celvio-import-OLD", "celvio-import-NEW", "other-OLD"}) fs::create_directory(tmp / name);
    writeText(tmp / "celvio-import-OLD" / "history.sqlite", "x");
    writeText(tmp / "celvio-import-FILE", "x");
    const auto twoHoursAgo = fs::file_time_type::clock::now() - std::chrono::hours(2);
    for (const char* name : {"celvio-import-OLD", "other-OLD", "celvio-import-FILE"})
        fs::last_write_time(tmp / name, twoHoursAgo);
    HistoryStore store(s.history);
    EXPECT_EQ(store.importCoconutBattery(s.database), 1);
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(tmp)) names.insert(item.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"celvio-import-FILE", "celvio-import-NEW", "other-OLD"}));
}

TEST(CoconutImport, FailuresChangeNothing) {
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        const char* text;  // a regular expression
    } rows[] = {{"a table without ZBATTERYDC",
                 [](const fs::path& path) {
                     const std::string table = kCoconutTable;
                     CoconutDatabase(path, (table.substr(0, table.find(", ZBATTERYDC")) + ")").c_str());
                 },
                 "Unsupported coconutBattery database format"},
                {"no table", [](const fs::path& path) { CoconutDatabase(path, "CREATE TABLE OTHER (X)"); },
                 "Unsupported coconutBattery database format"},
                {"not a database", [](const fs::path& path) { writeText(path, std::string(4096, 'x')); },
                 "Unsupported coconutBattery database format|coconutBattery database could not be opened"},
                {"a folder", [](const fs::path& path) { fs::create_directory(path); },
                 "coconutBattery database could not be (opened|copied: .+)"},
                {"a damaged page among the rows",
                 [](const fs::path& path) {
                     CoconutDatabase(path).insert(coconutRows(2000, "A"));
                     // Page 10 of 4096 bytes is one of the table's leaves by now.
                     std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
                     file.seekp(9 * 4096);
                     const std::string garbage(4096, '\xa5');
                     file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
                 },
                 "Unsupported coconutBattery database format"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ScopedEnv zone("TZ", "UTC0");
        ImportFolders s;
        r.make(s.database);
        HistoryStore(s.history).record(phoneEntry("A", utc("2024-03-05T10:00:00Z")));
        const std::string before = readText(s.history);
        HistoryStore store(s.history);
        const auto entries = store.entries();
        try {
            store.importCoconutBattery(s.database);
            ADD_FAILURE() << "no error";
        } catch (const CelvioError& error) {
            EXPECT_EQ(error.kind(), CelvioError::Kind::diagnostics);
            EXPECT_TRUE(std::regex_match(error.description(), std::regex(std::string("Diagnostics: (") + r.text + ")")))
                << error.description();
        }
        EXPECT_EQ(store.entries(), entries);
        EXPECT_EQ(readText(s.history), before);
        EXPECT_TRUE(s.temporaryFolderEmpty());
    }
}
