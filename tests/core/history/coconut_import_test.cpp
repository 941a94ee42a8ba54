#include "history/coconut_import.hpp"
#include "history/history_json.hpp"
#include "history/history_store.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <variant>

using namespace celvio;
using namespace celvio::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* kTable =
    "CREATE TABLE ZHISTORYENTITY (Z_PK INTEGER PRIMARY KEY, ZDATASNAPSHOTDATE TIMESTAMP, ZDATATYPE VARCHAR, "
    "ZDEVICESERIAL VARCHAR, ZDEVICENAME VARCHAR, ZDEVICEMODEL VARCHAR, ZDEVICEOSVERSION VARCHAR, "
    "ZBATTERYSERIAL VARCHAR, ZBATTERYCYCLECOUNT INTEGER, ZBATTERYFCC INTEGER, ZBATTERYDC INTEGER)";

using Value = std::variant<std::nullptr_t, double, std::int64_t, std::string>;

/// One row: date (seconds since 2001), type, serial, name, model, OS, battery serial,
/// cycles, full-charge and design capacity.
using Row = std::array<Value, 10>;

Row row(double date, std::string serial, std::int64_t full = 2950) {
    return {date,
            std::string("iOS"),
            std::move(serial),
            std::string("Anna's iPhone"),
            std::string("iPhone15,2"),
            std::string("17.4.1"),
            std::string("F5D1"),
            std::int64_t{412},
            full,
            std::int64_t{3279}};
}

/// A real SQLite database written through the C interface; stays open until destroyed.
class Database {
public:
    explicit Database(const fs::path& path, const char* schema = kTable) {
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open");
        exec(schema);
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "?";
            sqlite3_free(message);
            throw std::runtime_error(text);
        }
    }

    void insert(const std::vector<Row>& rows) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db_, "INSERT INTO ZHISTORYENTITY VALUES (NULL, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", -1,
                           &statement, nullptr);
        for (const Row& r : rows) {
            for (int i = 0; i < 10; ++i) {
                const Value& v = r[static_cast<std::size_t>(i)];
                if (const auto* d = std::get_if<double>(&v))
                    sqlite3_bind_double(statement, i + 1, *d);
                else if (const auto* n = std::get_if<std::int64_t>(&v))
                    sqlite3_bind_int64(statement, i + 1, *n);
                else if (const auto* s = std::get_if<std::string>(&v))
                    sqlite3_bind_text(statement, i + 1, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
                else
                    sqlite3_bind_null(statement, i + 1);
            }
            if (sqlite3_step(statement) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
            sqlite3_reset(statement);
        }
        sqlite3_finalize(statement);
    }

private:
    sqlite3* db_ = nullptr;
};

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
    ImportFolders(const ImportFolders&) = delete;
    ImportFolders& operator=(const ImportFolders&) = delete;
};

}  // namespace

TEST(CoconutImport, MapsColumnsAndNulls) {
    ImportFolders s;
    {
        Database db(s.database);
        db.insert({
            {300.5, std::string("Mac"), std::string("C02X"), std::string("Desk"), std::string("MacBookPro18,3"),
             std::string("14.4"), std::string("D865"), std::int64_t{87}, std::int64_t{5103}, std::int64_t{6075}},
            {200.0, std::string("mac"), std::string("LOWER"), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
             nullptr},
            {nullptr, nullptr, std::string("NODATE"), std::string("Anna\xff"), std::string(""), std::string(""),
             std::string(""), std::int64_t{-1}, std::int64_t{0}, std::int64_t{0}},
            {100.0, std::string("iOS"), std::string(""), std::string("empty serial"), nullptr, nullptr, nullptr,
             nullptr, nullptr, nullptr},
            {150.0, std::string("iOS"), nullptr, std::string("null serial"), nullptr, nullptr, nullptr, nullptr,
             nullptr, nullptr},
            {1e300, std::string("iOS"), std::string("FAR"), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
             nullptr},
        });
    }
    HistoryStore store(s.history);
    EXPECT_EQ(store.importCoconutBattery(s.database), 3);

    const auto& entries = store.entries();
    ASSERT_EQ(entries.size(), 3u);
    const HistoryEntry expected[] = {
        {entries[0].id, since2001(0), HistoryEntry::Kind::ios, "NODATE", "Anna\uFFFD", "", "", "", -1, 0, 0,
         "coconutBattery"},
        {entries[1].id, since2001(200), HistoryEntry::Kind::ios, "LOWER", "Device", "", std::nullopt, std::nullopt, 0,
         0, 0, "coconutBattery"},
        {entries[2].id, since2001(300.5), HistoryEntry::Kind::mac, "C02X", "Desk", "MacBookPro18,3", "14.4", "D865", 87,
         5103, 6075, "coconutBattery"},
    };
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(entries[i], expected[i]) << i;
    EXPECT_EQ(internetDateText(entries[0].date), "2001-01-01T00:00:00Z");
    EXPECT_NE(entries[0].id, entries[1].id);
    EXPECT_EQ(readText(s.history), HistoryJSON::encodeArray(entries)) << "saved";
    EXPECT_NE(store.csv().find(";coconutBattery\n"), std::string::npos);
    EXPECT_TRUE(s.temporaryFolderEmpty());
}

TEST(CoconutImport, SkipsRowsWithinASecondOfAnother) {
    ScopedTimeZone zone("UTC0");
    ImportFolders s;
    {
        Database db(s.database);
        db.insert({row(100.0, "A"), row(100.4, "A"), row(200.0, "A"), row(201.0, "A"), row(100.4, "B"),
                   row(500.0, "OWN"), row(599.5, "OWN"), row(601.0, "OWN")});
    }
    HistoryStore store(s.history);
    store.record(phoneEntry("OWN", since2001(600.0)));
    EXPECT_EQ(store.importCoconutBattery(s.database), 6);
    std::vector<std::pair<std::string, double>> seen;
    for (const auto& e : store.entries())
        seen.emplace_back(e.deviceSerial, std::round((e.date.time_since_epoch().count() - 978'307'200.0) * 10) / 10);
    EXPECT_EQ(
        seen,
        (std::vector<std::pair<std::string, double>>{
            {"A", 100.0}, {"B", 100.4}, {"A", 200.0}, {"A", 201.0}, {"OWN", 500.0}, {"OWN", 600.0}, {"OWN", 601.0}}))
        << "0.4 s apart skipped, 1.0 s apart kept, the own measurement counts";
}

TEST(CoconutImport, SecondRunAddsNothing) {
    ImportFolders s;
    {
        Database db(s.database);
        db.insert({row(100.25, "A"), row(86'400.75, "A"), row(100.0, "B")});
    }
    HistoryStore store(s.history);
    EXPECT_EQ(store.importCoconutBattery(s.database), 3);
    const std::string first = readText(s.history);

    HistoryStore reloaded(s.history);  // whole seconds now: the tolerance still matches
    EXPECT_EQ(reloaded.importCoconutBattery(s.database), 0);
    EXPECT_EQ(readText(s.history), first);
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
    } rows[] = {
        {"rollback journal, a few rows pending", "DELETE", 3, 500},
        {"rollback journal, pages spilled into the file", "DELETE", 1919, -1},
        {"write-ahead log, a few rows pending", "WAL", 3, 500},
        {"write-ahead log, pages spilled into the log", "WAL", 1919, 500},
    };
    for (const auto& r : rows) {
        ScopedTimeZone zone("UTC0");
        ImportFolders s;
        Database writer(s.database);
        writer.exec(std::string("PRAGMA journal_mode=") + r.mode + "; PRAGMA cache_size=10;");
        std::vector<Row> committed;
        for (int i = 0; i < 500; ++i) committed.push_back(row(i, "COMMITTED"));
        writer.exec("BEGIN");
        writer.insert(committed);
        writer.exec("COMMIT; BEGIN");
        std::vector<Row> pending;
        for (int i = 0; i < r.uncommitted; ++i) pending.push_back(row(i, "PENDING"));
        writer.insert(pending);

        {
            HistoryStore store(s.history);
            store.record(phoneEntry("OWN", utc("2024-03-05T10:00:00Z")));
        }
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
    {
        Database db(s.database);
        db.insert({row(100.0, "A")});
    }
    const fs::path tmp = s.dir / "tmp";
    for (const char* name : {"celvio-import-OLD", "celvio-import-NEW", "other-OLD"}) fs::create_directory(tmp / name);
    writeText(tmp / "celvio-import-OLD" / "history.sqlite", "x");
    writeText(tmp / "celvio-import-FILE", "x");
    const auto twoHoursAgo = fs::file_time_type::clock::now() - std::chrono::hours(2);
    for (const char* name : {"celvio-import-OLD", "other-OLD", "celvio-import-FILE"})
        fs::last_write_time(tmp / name, twoHoursAgo);
    HistoryStore store(s.history);
    EXPECT_EQ(store.importCoconutBattery(s.database), 1);
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(tmp)) names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"celvio-import-FILE", "celvio-import-NEW", "other-OLD"}));
}

TEST(CoconutImport, FailuresChangeNothing) {
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        std::vector<std::string> texts;  // any of these; one ending in ": " is a prefix
    } rows[] = {
        {"a table without ZBATTERYDC",
         [](const fs::path& path) {
             Database db(path,
                         "CREATE TABLE ZHISTORYENTITY (ZDATASNAPSHOTDATE, ZDATATYPE, ZDEVICESERIAL, ZDEVICENAME, "
                         "ZDEVICEMODEL, ZDEVICEOSVERSION, ZBATTERYSERIAL, ZBATTERYCYCLECOUNT, ZBATTERYFCC)");
         },
         {"Diagnostics: Unsupported coconutBattery database format"}},
        {"no table",
         [](const fs::path& path) { Database db(path, "CREATE TABLE OTHER (X)"); },
         {"Diagnostics: Unsupported coconutBattery database format"}},
        {"not a database",
         [](const fs::path& path) { writeText(path, std::string(4096, 'x')); },
         {"Diagnostics: Unsupported coconutBattery database format",
          "Diagnostics: coconutBattery database could not be opened"}},
        {"a folder",
         [](const fs::path& path) { fs::create_directory(path); },
         {"Diagnostics: coconutBattery database could not be opened",
          "Diagnostics: coconutBattery database could not be copied: "}},
        {"a damaged page among the rows",
         [](const fs::path& path) {
             {
                 Database db(path);
                 std::vector<Row> rows;
                 for (int i = 0; i < 2000; ++i) rows.push_back(row(i, "A" + std::to_string(i)));
                 db.exec("BEGIN");
                 db.insert(rows);
                 db.exec("COMMIT");
             }
             // Page 10 of 4096 bytes is one of the table's leaves by now.
             std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp(9 * 4096);
             const std::string garbage(4096, '\xa5');
             file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
         },
         {"Diagnostics: Unsupported coconutBattery database format"}},
    };
    for (const auto& r : rows) {
        ScopedTimeZone zone("UTC0");
        ImportFolders s;
        r.make(s.database);
        {
            HistoryStore store(s.history);
            store.record(phoneEntry("A", utc("2024-03-05T10:00:00Z")));
        }
        const std::string before = readText(s.history);
        HistoryStore store(s.history);
        const auto entries = store.entries();
        try {
            store.importCoconutBattery(s.database);
            ADD_FAILURE() << r.what << ": no error";
        } catch (const CelvioError& error) {
            EXPECT_EQ(error.kind(), CelvioError::Kind::diagnostics) << r.what;
            const std::string text = error.description();
            EXPECT_TRUE(std::any_of(r.texts.begin(), r.texts.end(),
                                    [&text](const std::string& t) {
                                        return text == t ||
                                               (t.ends_with(": ") && text.starts_with(t) && text.size() > t.size());
                                    }))
                << r.what << ": " << text;
        }
        EXPECT_EQ(store.entries(), entries) << r.what;
        EXPECT_EQ(readText(s.history), before) << r.what;
        EXPECT_TRUE(s.temporaryFolderEmpty()) << r.what;
    }
}

TEST(CoconutImport, NoDatabaseIsNoError) {
    ImportFolders s;
    HistoryStore store(s.history);
    EXPECT_EQ(store.importCoconutBattery(s.database), 0);
    EXPECT_FALSE(fs::exists(s.history)) << "not saved";
    EXPECT_TRUE(s.temporaryFolderEmpty()) << "no folder made";
}

TEST(CoconutImport, TheDefaultDatabaseLivesInTheHomeFolder) {
    ImportFolders s;
    ScopedEnv home("HOME", (s.dir / "home").string());
    const fs::path expected =
        s.dir / "home/Library/Group Containers/R5SC3K86L5.com.coconut-flavour.coconutBattery/history.sqlite";
    EXPECT_EQ(HistoryStore::coconutDatabaseURL(), expected);
    EXPECT_FALSE(HistoryStore::coconutAvailable());
    HistoryStore store(s.history);
    EXPECT_EQ(store.importCoconutBattery(), 0);

    fs::create_directories(expected.parent_path());
    {
        Database db(expected);
        db.insert({row(100.0, "A")});
    }
    EXPECT_TRUE(HistoryStore::coconutAvailable());
    EXPECT_EQ(store.importCoconutBattery(), 1);
}

TEST(CoconutImport, QueryText) {
    EXPECT_STREQ(CoconutImport::kQuery,
                 "SELECT ZDATASNAPSHOTDATE, ZDATATYPE, ZDEVICESERIAL, ZDEVICENAME, ZDEVICEMODEL, ZDEVICEOSVERSION,\n"
                 "       ZBATTERYSERIAL, ZBATTERYCYCLECOUNT, ZBATTERYFCC, ZBATTERYDC\n"
                 "FROM ZHISTORYENTITY ORDER BY ZDATASNAPSHOTDATE");
}
