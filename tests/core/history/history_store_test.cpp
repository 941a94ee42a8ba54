#include "history/history_store.hpp"
#include "history/history_json.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <regex>

#include <sys/stat.h>

using namespace celvio;
using namespace celvio::test;
namespace fs = std::filesystem;

namespace {

// Central European rules as a POSIX TZ string, so no zone files are needed.
const char* const kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";

ino_t inode(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

std::vector<std::string> folderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> serials(const std::vector<HistoryEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& entry : entries) out.push_back(entry.deviceSerial);
    return out;
}

}  // namespace

TEST(HistoryStore, OneOwnEntryPerDeviceAndLocalDay) {
    const struct {
        const char *what, *zone, *first, *second;
        std::size_t entries;
        const char* secondSerial = "F2LX";
        std::optional<std::string> firstSource = std::nullopt, secondSource = std::nullopt;
    } rows[] = {
        {"23:30 and 00:30 UTC in UTC", "UTC0", "2024-03-05T23:30:00Z", "2024-03-06T00:30:00Z", 2},
        {"the same instants in Berlin, both 6 March", kBerlin, "2024-03-05T23:30:00Z", "2024-03-06T00:30:00Z", 1},
        {"23:59 and 00:01 in Berlin, one UTC day", kBerlin, "2024-03-05T22:59:00Z", "2024-03-05T23:01:00Z", 2},
        {"00:30 and 23:30 UTC in New York, two local days", "EST5EDT,M3.2.0,M11.1.0", "2024-03-06T00:30:00Z",
         "2024-03-06T23:30:00Z", 2},
        {"a year apart on the same day of the year", "UTC0", "2023-03-06T12:00:00Z", "2024-03-05T12:00:00Z", 2},
        {"another device", "UTC0", "2024-03-05T10:00:00Z", "2024-03-05T11:00:00Z", 2, "OTHER"},
        {"an imported entry stays", "UTC0", "2024-03-05T10:00:00Z", "2024-03-05T11:00:00Z", 2, "F2LX",
         "coconutBattery"},
        {"the new entry's source is not looked at", "UTC0", "2024-03-05T10:00:00Z", "2024-03-05T11:00:00Z", 1, "F2LX",
         std::nullopt, "coconutBattery"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScopedEnv zone("TZ", row.zone);
        TempDir dir;
        HistoryEntry first = phoneEntry("F2LX", utc(row.first));
        first.source = row.firstSource;
        writeText(dir / "history.json", HistoryJSON::encodeArray({first}));
        HistoryStore store(dir / "history.json");
        HistoryEntry second = phoneEntry(row.secondSerial, utc(row.second));
        second.cycleCount = 413;
        second.source = row.secondSource;
        store.record(second);
        if (row.entries == 1) second.id = first.id;  // replaced, keeping the first id
        const auto expected = row.entries == 1 ? std::vector{second} : std::vector{first, second};
        EXPECT_EQ(store.entries(), expected);
        EXPECT_EQ(HistoryStore(dir / "history.json").entries(), expected);
    }
}

TEST(HistoryStore, Order) {
    ScopedEnv zone("TZ", "UTC0");
    // X and Y, then X again the same day: the replacement stays first, out of date order,
    // until the next append sorts the whole list.
    for (const auto& [next, order] : {std::pair{"2024-03-05T13:00:00Z", std::vector<std::string>{"Y", "X", "Z"}},
                                      std::pair{"2024-03-05T09:00:00Z", std::vector<std::string>{"Z", "Y", "X"}}}) {
        SCOPED_TRACE(next);
        TempDir dir;
        HistoryStore store(dir / "history.json");
        const HistoryEntry x1 = phoneEntry("X", utc("2024-03-05T10:00:00Z"));
        store.record(x1);
        store.record(phoneEntry("Y", utc("2024-03-05T11:00:00Z")));
        store.record(phoneEntry("X", utc("2024-03-05T12:00:00Z")));
        ASSERT_EQ(store.entries()[0].id, x1.id) << "replaced in place";
        ASSERT_EQ(store.entries()[0].date, utc("2024-03-05T12:00:00Z"));
        store.record(phoneEntry("Z", utc(next)));
        EXPECT_EQ(serials(store.entries()), order);
        EXPECT_EQ(readText(dir / "history.json"), HistoryJSON::encodeArray(store.entries())) << "in that order";
    }

    // Appended after every equal date; loaded sorted, stably.
    TempDir dir;
    HistoryStore store(dir / "appended.json");
    for (const auto& [serial, date] : {std::pair{"A", "2024-03-07T10:00:00Z"}, std::pair{"B", "2024-03-05T10:00:00Z"},
                                       std::pair{"C", "2024-03-05T10:00:00Z"}, std::pair{"D", "2024-03-06T10:00:00Z"}})
        store.record(phoneEntry(serial, utc(date)));
    EXPECT_EQ(serials(store.entries()), (std::vector<std::string>{"B", "C", "D", "A"}));
    std::vector<HistoryEntry> unsorted = store.entries();
    std::rotate(unsorted.begin(), unsorted.begin() + 3, unsorted.end());
    writeText(dir / "loaded.json", HistoryJSON::encodeArray(unsorted));
    EXPECT_EQ(HistoryStore(dir / "loaded.json").entries(), store.entries());
}

TEST(HistoryStore, KeepsAnUndecodableFileAsideBeforeSaving) {
    ScopedEnv zone("TZ", "UTC0");
    TempDir dir;
    const fs::path file = dir / "history.json";
    const std::string good = HistoryJSON::encode(phoneEntry("A", utc("2024-03-05T10:00:00Z")));
    const std::string broken = "[\n" + good + ",\n{}\n]\n";
    writeText(file, broken);

    HistoryStore store(file);
    EXPECT_TRUE(store.isEmpty()) << "one bad entry fails the whole file";
    EXPECT_EQ(readText(file), broken) << "untouched until a save";
    EXPECT_EQ(store.keptAside(), std::nullopt);

    const HistoryEntry next = phoneEntry("C", utc("2024-03-07T10:00:00Z"));
    store.record(next);
    const auto names = folderNames(dir.path());
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(std::vector(names.begin(), names.begin() + 2),
              (std::vector<std::string>{"history.json", "history.json.lock"}));
    EXPECT_TRUE(std::regex_match(names[2], std::regex(R"(history\.json\.unreadable-\d{8}T\d{6}Z)"))) << names[2];
    EXPECT_EQ(readText(dir / names[2]), broken);
    EXPECT_EQ(store.keptAside(), names[2]);
    EXPECT_EQ(HistoryStore(file).entries(), std::vector<HistoryEntry>{next}) << "the new file is valid";

    store.forgetKeptAside();
    store.record(phoneEntry("D", utc("2024-03-08T10:00:00Z")));
    EXPECT_EQ(folderNames(dir.path()).size(), 3u) << "kept aside once only";
    EXPECT_EQ(store.keptAside(), std::nullopt);
}

TEST(HistoryStore, WhatIsNoHistoryFileIsLeftWhereItIs) {
    ScopedEnv zone("TZ", "UTC0");
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        std::string reason;
    } rows[] = {
        {"a folder", [](const fs::path& path) { fs::create_directories(path / "inside"); }, "Is a directory"},
        {"a FIFO", [](const fs::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, "Not a regular file"},
        {"a link to an endless device", [](const fs::path& path) { fs::create_symlink("/dev/zero", path); },
         "Not a regular file"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const fs::path file = dir / "history.json";
        row.make(file);
        HistoryStore store(file);
        EXPECT_TRUE(store.isEmpty());
        const HistoryEntry entry = phoneEntry("A", utc("2024-03-05T10:00:00Z"));
        expectError([&] { store.record(entry); }, "History could not be saved: " + row.reason);
        EXPECT_EQ(store.entries(), std::vector<HistoryEntry>{entry}) << "kept in memory";
        EXPECT_TRUE(store.hasUnsavedChanges());
        EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{"history.json", "history.json.lock"}))
            << "nothing kept aside";
        expectError([&] { HistoryStore::read(file); },
                    "History file " + file.string() + " could not be read: " + row.reason);
    }
}

TEST(HistoryStore, AFailedSaveKeepsTheChangesForTheNextSave) {
    ScopedEnv zone("TZ", "UTC0");
    TempDir dir;
    ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
    const fs::path file = dir / "absent" / "history.json";
    HistoryStore store(file);
    const HistoryEntry a = phoneEntry("A", utc("2024-03-05T10:00:00Z"));
    expectError([&] { store.record(a); }, "History could not be saved: No such file or directory");
    EXPECT_EQ(store.saveFailure(), "No such file or directory");
    EXPECT_FALSE(fs::exists(dir / "absent") || fs::exists(dir / "data")) << "no folder made for a location given";
    EXPECT_TRUE(store.hasUnsavedChanges());

    // Another process writes the file meanwhile: the unsaved change is applied to what it holds.
    const HistoryEntry theirs = phoneEntry("T", utc("2024-03-04T10:00:00Z"));
    fs::create_directory(dir / "absent");
    writeText(file, HistoryJSON::encodeArray({theirs}));
    EXPECT_TRUE(store.reloadIfChanged());
    EXPECT_EQ(store.entries(), (std::vector<HistoryEntry>{theirs, a}));
    const HistoryEntry b = phoneEntry("B", utc("2024-03-06T10:00:00Z"));
    store.record(b);
    EXPECT_FALSE(store.hasUnsavedChanges());
    EXPECT_EQ(store.saveFailure(), std::nullopt);
    EXPECT_EQ(HistoryStore::read(file), (std::vector<HistoryEntry>{theirs, a, b})) << "both written";
}

TEST(HistoryStore, SavingKeepsPermissionsAndLinks) {
    ScopedEnv zone("TZ", "UTC0");
    TempDir dir;
    const HistoryEntry entry = phoneEntry("A", utc("2024-03-05T10:00:00Z"));
    for (const fs::perms mode : {fs::perms(0644), fs::perms(0640), fs::perms(0600)}) {
        writeText(dir / "history.json", "[]\n");
        fs::permissions(dir / "history.json", mode);
        HistoryStore(dir / "history.json").record(entry);
        EXPECT_EQ(fs::status(dir / "history.json").permissions(), mode);
    }

    // A history kept elsewhere, for example in a synchronised folder.
    fs::create_directory(dir / "synced");
    const fs::path target = dir / "synced" / "history.json", link = dir / "link.json";
    writeText(target, "[]\n");
    fs::create_symlink(fs::path("synced") / "history.json", link);
    HistoryStore(link).record(entry);
    EXPECT_EQ(fs::read_symlink(link), fs::path("synced") / "history.json") << "the link stays a link";
    EXPECT_EQ(HistoryStore::read(target), std::vector<HistoryEntry>{entry}) << "its target is written";
    EXPECT_EQ(folderNames(dir / "synced"), (std::vector<std::string>{"history.json", "history.json.lock"}))
        << "no temporary file left; the lock beside the history, whichever way leads to it";

    writeText(target, "[{");
    HistoryStore broken(link);
    broken.record(entry);
    EXPECT_TRUE(fs::is_symlink(link)) << "an unreadable target goes aside, not the link";
    EXPECT_EQ(HistoryStore::read(target), std::vector<HistoryEntry>{entry});
    ASSERT_TRUE(broken.keptAside());
    EXPECT_EQ(readText(dir / "synced" / *broken.keptAside()), "[{");
}

TEST(HistoryStore, ChangesAndDeletionsApplyToWhatAnotherStoreSaved) {
    ScopedEnv zone("TZ", "UTC0");
    TempDir dir;
    const fs::path file = dir / "history.json";
    HistoryStore window(file), other(file);
    const HistoryEntry morning = phoneEntry("A", utc("2024-03-05T08:00:00Z")),
                       phone = phoneEntry("B", utc("2024-03-05T09:00:00Z")),
                       nextDay = phoneEntry("A", utc("2024-03-06T10:00:00Z"));
    window.record(morning);
    other.record(phone);
    EXPECT_EQ(other.entries(), (std::vector<HistoryEntry>{morning, phone})) << "read again before its change";

    // The same device and day, recorded by the other store: the one-per-day rule runs on
    // what the file holds now.
    HistoryEntry evening = phoneEntry("A", utc("2024-03-05T20:00:00Z"));
    other.record(evening);
    evening.id = morning.id;
    EXPECT_EQ(other.entries(), (std::vector<HistoryEntry>{evening, phone})) << "replaced in place";
    EXPECT_EQ(HistoryStore::read(file), (std::vector<HistoryEntry>{phone, evening})) << "read in date order";

    EXPECT_TRUE(window.reloadIfChanged());
    EXPECT_EQ(window.entries(), (std::vector<HistoryEntry>{phone, evening}));
    EXPECT_FALSE(window.reloadIfChanged()) << "nothing new";
    window.record(nextDay);

    const std::string before = readText(file);
    for (const auto& [what, change] :
         {std::pair<const char*, std::function<void()>>{"empty set", [&] { window.deleteEntries({}); }},
          {"unknown serial", [&] { window.deleteDevice("NOSUCH"); }},
          {"serials compare case-sensitively", [&] { window.deleteDevice("a"); }},
          {"restoring what it holds", [&] { window.restore({phone}); }}}) {
        const ino_t written = inode(file);
        change();
        EXPECT_EQ(readText(file), before) << what;
        EXPECT_NE(inode(file), written) << what << ": rewritten even when nothing matched";
    }
    window.deleteEntries({evening.id, UUID::random()});
    EXPECT_EQ(window.entries(), (std::vector<HistoryEntry>{phone, nextDay}));
    other.deleteDevice("B");
    EXPECT_EQ(HistoryStore::read(file), std::vector<HistoryEntry>{nextDay});
    // Put back with their ids, on what the other store saved, once each.
    window.restore({nextDay, phone, evening, phone});
    EXPECT_EQ(HistoryStore::read(file), (std::vector<HistoryEntry>{phone, evening, nextDay}));
    CoconutDatabase(dir / "coconut.sqlite").insert(coconutRows(2, "IMPORTED"));
    other.deleteEntries({evening.id});
    EXPECT_EQ(window.importCoconutBattery(dir / "coconut.sqlite"), 2);
    EXPECT_EQ(HistoryStore::read(file).size(), 4u);
}

TEST(HistoryStore, DefaultLocationAndMigration) {
    const struct {
        const char* what;
        std::vector<const char*> folders;  // holding a history of their name
        const char* loaded;                // or "" for none
    } rows[] = {{"both older folders: only Ampelon", {"Ampelon", "Cellora"}, "Ampelon"},
                {"only Cellora", {"Cellora"}, "Cellora"},
                {"a history of our own wins", {"Ampelon", "Cellora", "Celvio"}, "Celvio"},
                {"nothing anywhere", {}, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const fs::path base = dir / "data";
        ScopedEnv data("XDG_DATA_HOME", base.string());
        for (const char* folder : row.folders) {
            fs::create_directories(base / folder);
            writeText(base / folder / "history.json",
                      HistoryJSON::encodeArray({phoneEntry(folder, utc("2024-01-01T00:00:00Z"))}));
        }
        HistoryStore store;
        EXPECT_EQ(store.fileURL(), base / "Celvio" / "history.json");
        EXPECT_TRUE(fs::is_directory(base / "Celvio"));
        EXPECT_EQ(serials(store.entries()),
                  *row.loaded ? std::vector<std::string>{row.loaded} : std::vector<std::string>{});
        EXPECT_EQ(fs::exists(store.fileURL()), *row.loaded != 0);
        for (const char* folder : row.folders)
            EXPECT_EQ(serials(HistoryStore::read(base / folder / "history.json")), std::vector<std::string>{folder})
                << "copied, not moved";
    }

    // A relative XDG_DATA_HOME is ignored.
    TempDir dir;
    ScopedEnv home("HOME", dir.path().string()), data("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(HistoryStore().fileURL(), dir / ".local" / "share" / "Celvio" / "history.json");
}

TEST(HistoryStore, OpeningWritesNothingButRemovesOldLeftoversOfKilledSaves) {
    TempDir dir;
    for (const char* name : {".history.json.tmp-AbC123", ".history.json.tmp-fresh1", ".other.json.tmp-AbC123"})
        writeText(dir / name, "[\n");
    for (const char* name : {".history.json.tmp-AbC123", ".other.json.tmp-AbC123"})
        fs::last_write_time(dir / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_TRUE(HistoryStore(dir / "history.json").isEmpty());
    writeText(dir / "empty.json", "[]");
    HistoryStore empty(dir / "empty.json");
    EXPECT_TRUE(empty.isEmpty());
    empty.save();
    EXPECT_EQ(readText(dir / "empty.json"), "[]\n");
    EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{".history.json.tmp-fresh1", ".other.json.tmp-AbC123",
                                                                 "empty.json", "empty.json.lock"}))
        << "only old leftovers of this file's saves go; a readable empty file is not kept aside; a missing one is "
           "written at the first save only";
}

TEST(HistoryStore, RecordsTheStorableForm) {
    ScopedEnv zone("TZ", "UTC0");
    TempDir dir;
    HistoryStore store(dir / "history.json");
    HistoryEntry odd = phoneEntry("A", HistoryEntry::Date(HistoryEntry::Date::duration(NAN))),
                 far = phoneEntry("B", HistoryEntry::Date(HistoryEntry::Date::duration(1e300)));
    odd.deviceName = "A\xC3";
    store.record(odd);
    store.record(far);
    const auto& e = store.entries();
    EXPECT_EQ(std::tuple(e[0].date, e[0].deviceName, e[1].date),
              std::tuple(earliestStorableDate(), "A\uFFFD", latestStorableDate()));
    EXPECT_EQ(e, (std::vector<HistoryEntry>{storable(odd), storable(far)}));
    EXPECT_EQ(HistoryStore(dir / "history.json").entries(), store.entries()) << "the file stays readable";
    EXPECT_EQ(storable(phoneEntry("C", utc("2024-03-05T10:00:00Z"))).deviceName, "Anna's iPhone") << "unchanged";
}
