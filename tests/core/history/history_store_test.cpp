#include "history/history_store.hpp"
#include "history/history_json.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

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

HistoryEntry imported(std::string serial, HistoryEntry::Date date) {
    HistoryEntry entry = phoneEntry(std::move(serial), date);
    entry.source = "coconutBattery";
    return entry;
}

}  // namespace

TEST(HistoryStore, SameDayReplacesKeepingTheFirstID) {
    ScopedTimeZone zone(kBerlin);
    TempDir dir;
    HistoryStore store(dir / "history.json");
    const HistoryEntry morning = phoneEntry("F2LX", local(2024, 3, 5, 8, 0));
    HistoryEntry evening = phoneEntry("F2LX", local(2024, 3, 5, 20, 0));
    evening.fullChargeCapacity = 2900;
    evening.cycleCount = 413;
    store.record(morning);
    store.record(evening);

    HistoryEntry expected = evening;
    expected.id = morning.id;
    EXPECT_EQ(store.entries(), std::vector<HistoryEntry>{expected});
    EXPECT_EQ(HistoryStore(dir / "history.json").entries(), std::vector<HistoryEntry>{expected});
}

TEST(HistoryStore, LocalDaysDecide) {
    const struct {
        const char* what;
        const char* zone;
        HistoryEntry::Date first, second;
        std::size_t entries;
    } rows[] = {
        {"23:30 and 00:30 UTC in UTC", "UTC0", utc("2024-03-05T23:30:00Z"), utc("2024-03-06T00:30:00Z"), 2},
        {"the same instants in Berlin, both 6 March", kBerlin, utc("2024-03-05T23:30:00Z"), utc("2024-03-06T00:30:00Z"),
         1},
        {"00:30 and 23:30 UTC in New York, two local days", "EST5EDT,M3.2.0,M11.1.0", utc("2024-03-06T00:30:00Z"),
         utc("2024-03-06T23:30:00Z"), 2},
        {"a week apart", "UTC0", utc("2024-03-05T12:00:00Z"), utc("2024-03-12T12:00:00Z"), 2},
        {"a year apart on the same day of the year", "UTC0", utc("2023-03-06T12:00:00Z"), utc("2024-03-05T12:00:00Z"),
         2},
    };
    for (const auto& row : rows) {
        ScopedTimeZone zone(row.zone);
        TempDir dir;
        HistoryStore store(dir / "history.json");
        store.record(phoneEntry("F2LX", row.first));
        store.record(phoneEntry("F2LX", row.second));
        EXPECT_EQ(store.entries().size(), row.entries) << row.what;
    }
    ScopedTimeZone zone(kBerlin);
    TempDir dir;
    HistoryStore store(dir / "history.json");
    store.record(phoneEntry("F2LX", local(2024, 3, 5, 23, 59)));
    store.record(phoneEntry("F2LX", local(2024, 3, 6, 0, 1)));
    EXPECT_EQ(store.entries().size(), 2u) << "23:59 and 00:01 local";
}

TEST(HistoryStore, ImportedEntriesAndOtherDevicesStayBeside) {
    ScopedTimeZone zone(kBerlin);
    TempDir dir;
    const HistoryEntry old = imported("F2LX", local(2024, 3, 5, 8, 0));
    writeText(dir / "history.json", HistoryJSON::encodeArray({old}));
    HistoryStore store(dir / "history.json");
    const HistoryEntry mine = phoneEntry("F2LX", local(2024, 3, 5, 9, 0));
    const HistoryEntry other = phoneEntry("OTHER", local(2024, 3, 5, 10, 0));
    store.record(mine);
    store.record(other);
    EXPECT_EQ(store.entries(), (std::vector<HistoryEntry>{old, mine, other}));

    HistoryEntry later = phoneEntry("F2LX", local(2024, 3, 5, 11, 0));
    later.source = "coconutBattery";  // the new entry's own source is not looked at
    store.record(later);
    later.id = mine.id;
    EXPECT_EQ(store.entries(), (std::vector<HistoryEntry>{old, later, other}));
}

TEST(HistoryStore, ReplacementKeepsItsPlaceUntilTheNextAppend) {
    ScopedTimeZone zone("UTC0");
    // X and Y, then X again the same day: the replacement stays first, out of date order,
    // until the next append sorts the whole list.
    const struct {
        const char* what;
        const char* next;  // the fourth measurement, of device Z
        std::vector<const char*> order;
    } rows[] = {
        {"a later append", "2024-03-05T13:00:00Z", {"Y", "X", "Z"}},
        {"an earlier append", "2024-03-05T09:00:00Z", {"Z", "Y", "X"}},
    };
    for (const auto& row : rows) {
        TempDir dir;
        HistoryStore store(dir / "history.json");
        const HistoryEntry x1 = phoneEntry("X", utc("2024-03-05T10:00:00Z"));
        store.record(x1);
        store.record(phoneEntry("Y", utc("2024-03-05T11:00:00Z")));
        store.record(phoneEntry("X", utc("2024-03-05T12:00:00Z")));
        ASSERT_EQ(store.entries()[0].id, x1.id) << "replaced in place";
        ASSERT_EQ(store.entries()[0].date, utc("2024-03-05T12:00:00Z"));
        store.record(phoneEntry("Z", utc(row.next)));
        std::vector<std::string> serials;
        for (const auto& entry : store.entries()) serials.push_back(entry.deviceSerial);
        EXPECT_EQ(serials, std::vector<std::string>(row.order.begin(), row.order.end())) << row.what;
        EXPECT_EQ(HistoryStore::read(dir / "history.json"), store.entries()) << row.what << ": the file in that order";
    }
}

TEST(HistoryStore, AppendsInDateOrderAfterEqualDates) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    HistoryStore store(dir / "history.json");
    const HistoryEntry a = phoneEntry("A", utc("2024-03-07T10:00:00Z"));
    const HistoryEntry b = phoneEntry("B", utc("2024-03-05T10:00:00Z"));
    const HistoryEntry c = phoneEntry("C", utc("2024-03-05T10:00:00Z"));
    const HistoryEntry d = phoneEntry("D", utc("2024-03-06T10:00:00Z"));
    for (const auto& e : {a, b, c, d}) store.record(e);
    EXPECT_EQ(store.entries(), (std::vector<HistoryEntry>{b, c, d, a}));
}

TEST(HistoryStore, WritesOneObjectPerLine) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    HistoryStore store(dir / "history.json");
    store.save();
    EXPECT_EQ(readText(dir / "history.json"), "[]\n");
    const HistoryEntry a = phoneEntry("A", utc("2024-03-05T10:00:00Z"));
    const HistoryEntry b = phoneEntry("B", utc("2024-03-06T10:00:00Z"));
    store.record(a);
    store.record(b);
    EXPECT_EQ(readText(dir / "history.json"),
              "[\n" + HistoryJSON::encode(a) + ",\n" + HistoryJSON::encode(b) + "\n]\n");
    EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{"history.json", "history.json.lock"}))
        << "no temporary file left";
}

TEST(HistoryStore, DeletingRewritesTheFileEvenWhenNothingMatched) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    const fs::path file = dir / "history.json";
    HistoryStore store(file);
    const HistoryEntry a = phoneEntry("A", utc("2024-03-05T10:00:00Z"));
    const HistoryEntry b = phoneEntry("B", utc("2024-03-05T11:00:00Z"));
    const HistoryEntry a2 = phoneEntry("A", utc("2024-03-06T10:00:00Z"));
    for (const auto& e : {a, b, a2}) store.record(e);

    const std::string before = readText(file);
    ino_t written = inode(file);
    store.deleteEntries({});
    EXPECT_EQ(readText(file), before) << "empty set";
    EXPECT_NE(inode(file), written) << "rewritten";
    written = inode(file);
    store.deleteDevice("NOSUCH");
    EXPECT_EQ(readText(file), before) << "unknown serial";
    EXPECT_NE(inode(file), written) << "rewritten";
    store.deleteDevice("a");
    EXPECT_EQ(store.entries().size(), 3u) << "serials compare case-sensitively";

    store.deleteEntries({a.id, UUID::random()});
    EXPECT_EQ(store.entries(), (std::vector<HistoryEntry>{b, a2}));
    store.deleteDevice("A");
    EXPECT_EQ(store.entries(), std::vector<HistoryEntry>{b});
    EXPECT_EQ(HistoryStore(file).entries(), std::vector<HistoryEntry>{b});
}

TEST(HistoryStore, LoadsSortedStablyAndEmpty) {
    TempDir dir;
    const HistoryEntry late = phoneEntry("A", utc("2024-03-06T10:00:00Z"));
    const HistoryEntry first = phoneEntry("B", utc("2024-03-05T10:00:00Z"));
    const HistoryEntry second = phoneEntry("C", utc("2024-03-05T10:00:00Z"));
    writeText(dir / "history.json", HistoryJSON::encodeArray({late, first, second}));
    EXPECT_EQ(HistoryStore(dir / "history.json").entries(), (std::vector<HistoryEntry>{first, second, late}));

    writeText(dir / "empty.json", "[]");
    HistoryStore empty(dir / "empty.json");
    EXPECT_TRUE(empty.isEmpty());
    empty.save();
    EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{"empty.json", "empty.json.lock", "history.json"}))
        << "a readable empty file is not kept aside";

    HistoryStore missing(dir / "missing.json");
    EXPECT_TRUE(missing.isEmpty());
    EXPECT_FALSE(fs::exists(dir / "missing.json")) << "written at the first save only";
}

TEST(HistoryStore, KeepsAnUndecodableFileAsideBeforeSaving) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    const fs::path file = dir / "history.json";
    const std::string good = HistoryJSON::encode(phoneEntry("A", utc("2024-03-05T10:00:00Z")));
    const std::string bad = "[\n" + good + ",\n" + HistoryJSON::encode(phoneEntry("B", utc("2024-03-06T10:00:00Z")));
    const std::string broken =
        bad.substr(0, bad.find(",\"deviceName\"")) + bad.substr(bad.find(",\"deviceSerial\"")) + "\n]\n";
    writeText(file, broken);

    HistoryStore store(file);
    EXPECT_TRUE(store.isEmpty()) << "one entry without deviceName fails the whole file";
    EXPECT_EQ(readText(file), broken) << "untouched until a save";
    EXPECT_EQ(store.keptAside(), std::nullopt);

    const HistoryEntry next = phoneEntry("C", utc("2024-03-07T10:00:00Z"));
    store.record(next);
    const auto names = folderNames(dir.path());
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "history.json");
    EXPECT_EQ(names[1], "history.json.lock");
    EXPECT_TRUE(std::regex_match(names[2], std::regex(R"(history\.json\.unreadable-\d{8}T\d{6}Z)"))) << names[2];
    EXPECT_EQ(readText(dir / names[2]), broken);
    EXPECT_EQ(store.keptAside(), names[2]);
    EXPECT_EQ(HistoryStore::keptAsideText(*store.keptAside()),
              "The history file could not be read and was kept as " + names[2] + "; a new history was started.");
    EXPECT_EQ(HistoryStore(file).entries(), std::vector<HistoryEntry>{next}) << "the new file is valid";

    store.forgetKeptAside();
    store.record(phoneEntry("D", utc("2024-03-08T10:00:00Z")));
    EXPECT_EQ(folderNames(dir.path()).size(), 3u) << "kept aside once only";
    EXPECT_EQ(store.keptAside(), std::nullopt);
}

TEST(HistoryStore, WhatIsNoHistoryFileIsLeftWhereItIs) {
    ScopedTimeZone zone("UTC0");
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        std::string reason;
    } rows[] = {
        {"a folder",
         [](const fs::path& path) {
             fs::create_directory(path);
             writeText(path / "inside", "x");
         },
         "Is a directory"},
        {"a FIFO", [](const fs::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, "Not a regular file"},
        {"a link to an endless device", [](const fs::path& path) { fs::create_symlink("/dev/zero", path); },
         "Not a regular file"},
    };
    for (const auto& row : rows) {
        TempDir dir;
        const fs::path file = dir / "history.json";
        row.make(file);
        HistoryStore store(file);
        EXPECT_TRUE(store.isEmpty()) << row.what;
        const HistoryEntry entry = phoneEntry("A", utc("2024-03-05T10:00:00Z"));
        expectError([&] { store.record(entry); }, "History could not be saved: " + row.reason);
        EXPECT_EQ(store.entries(), std::vector<HistoryEntry>{entry}) << row.what << ": kept in memory";
        EXPECT_TRUE(store.hasUnsavedChanges()) << row.what;
        EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{"history.json", "history.json.lock"}))
            << row.what << ": nothing kept aside";
        expectError([&] { HistoryStore::read(file); },
                    "History file " + file.string() + " could not be read: " + row.reason);
    }
}

TEST(HistoryStore, AFailedSaveKeepsTheChangesAndTheNextSaveWritesThem) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
    const fs::path file = dir / "absent" / "history.json";
    HistoryStore store(file);
    EXPECT_EQ(store.fileURL(), file);
    const HistoryEntry a = phoneEntry("A", utc("2024-03-05T10:00:00Z"));
    const HistoryEntry b = phoneEntry("B", utc("2024-03-06T10:00:00Z"));
    expectError([&] { store.record(a); }, "History could not be saved: No such file or directory");
    EXPECT_EQ(store.saveFailure(), "No such file or directory");
    EXPECT_FALSE(fs::exists(dir / "absent")) << "no folder made for a location given";
    EXPECT_FALSE(fs::exists(dir / "data"));
    EXPECT_EQ(store.entries(), std::vector<HistoryEntry>{a});
    EXPECT_TRUE(store.hasUnsavedChanges());

    fs::create_directory(dir / "absent");
    store.record(b);
    EXPECT_FALSE(store.hasUnsavedChanges());
    EXPECT_EQ(store.saveFailure(), std::nullopt);
    EXPECT_EQ(HistoryStore::read(file), (std::vector<HistoryEntry>{a, b})) << "both written";
}

TEST(HistoryStore, SavingKeepsPermissionsAndLinks) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    for (const fs::perms mode : {fs::perms(0644), fs::perms(0640), fs::perms(0600)}) {
        const fs::path file = dir / "history.json";
        writeText(file, "[]\n");
        fs::permissions(file, mode);
        HistoryStore store(file);
        store.record(phoneEntry("A", utc("2024-03-05T10:00:00Z")));
        EXPECT_EQ(fs::status(file).permissions(), mode);
    }

    // A history kept elsewhere, for example in a synchronised folder.
    fs::create_directory(dir / "synced");
    const fs::path target = dir / "synced" / "history.json";
    writeText(target, "[]\n");
    fs::permissions(target, fs::perms(0644));
    const fs::path link = dir / "link.json";
    fs::create_symlink(fs::path("synced") / "history.json", link);
    HistoryStore store(link);
    const HistoryEntry entry = phoneEntry("A", utc("2024-03-05T10:00:00Z"));
    store.record(entry);
    EXPECT_TRUE(fs::is_symlink(link)) << "the link stays a link";
    EXPECT_EQ(fs::read_symlink(link), fs::path("synced") / "history.json");
    EXPECT_EQ(HistoryStore::read(target), std::vector<HistoryEntry>{entry}) << "its target is written";
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0644));
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

TEST(HistoryStore, AChangeAppliesToWhatAnotherStoreSaved) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    const fs::path file = dir / "history.json";
    HistoryStore window(file);
    HistoryStore other(file);
    const HistoryEntry morning = phoneEntry("A", utc("2024-03-05T08:00:00Z"));
    const HistoryEntry phone = phoneEntry("B", utc("2024-03-05T09:00:00Z"));
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
    window.deleteDevice("B");
    other.deleteEntries({});
    EXPECT_EQ(HistoryStore::read(file), std::vector<HistoryEntry>{evening});

    // Unsaved changes survive a reload and are applied again to what was read.
    HistoryStore unsaved(dir / "moved" / "history.json");
    const HistoryEntry kept = phoneEntry("C", utc("2024-03-06T09:00:00Z"));
    EXPECT_THROW(unsaved.record(kept), CelvioError);
    fs::create_directory(dir / "moved");
    fs::copy_file(file, dir / "moved" / "history.json");
    EXPECT_TRUE(unsaved.reloadIfChanged());
    EXPECT_EQ(unsaved.entries(), (std::vector<HistoryEntry>{evening, kept}));
    unsaved.save();
    EXPECT_EQ(HistoryStore::read(dir / "moved" / "history.json"), (std::vector<HistoryEntry>{evening, kept}));
}

TEST(HistoryStore, DefaultLocationAndMigration) {
    const std::string ampelon = HistoryJSON::encodeArray({phoneEntry("AMPELON", utc("2024-01-01T00:00:00Z"))});
    const std::string cellora = HistoryJSON::encodeArray({phoneEntry("CELLORA", utc("2024-01-01T00:00:00Z"))});
    const std::string celvio = HistoryJSON::encodeArray({phoneEntry("CELVIO", utc("2024-01-01T00:00:00Z"))});
    const struct {
        const char* what;
        bool ampelon, cellora, celvio;
        const char* serial;  // of the loaded history, or "" for none
    } rows[] = {
        {"both older folders: only Ampelon", true, true, false, "AMPELON"},
        {"only Cellora", false, true, false, "CELLORA"},
        {"a history of our own wins", true, true, true, "CELVIO"},
        {"nothing anywhere", false, false, false, ""},
    };
    for (const auto& row : rows) {
        TempDir dir;
        ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
        const fs::path base = dir / "data";
        for (const auto& [present, folder, text] :
             {std::tuple{row.ampelon, "Ampelon", &ampelon}, std::tuple{row.cellora, "Cellora", &cellora},
              std::tuple{row.celvio, "Celvio", &celvio}}) {
            if (!present) continue;
            fs::create_directories(base / folder);
            writeText(base / folder / "history.json", *text);
        }
        HistoryStore store;
        EXPECT_EQ(store.fileURL(), base / "Celvio" / "history.json") << row.what;
        EXPECT_TRUE(fs::is_directory(base / "Celvio")) << row.what;
        if (*row.serial) {
            ASSERT_EQ(store.entries().size(), 1u) << row.what;
            EXPECT_EQ(store.entries()[0].deviceSerial, row.serial) << row.what;
        } else {
            EXPECT_TRUE(store.isEmpty()) << row.what;
            EXPECT_FALSE(fs::exists(store.fileURL())) << row.what;
        }
        if (row.ampelon) {
            EXPECT_EQ(readText(base / "Ampelon" / "history.json"), ampelon) << "copied, not moved";
        }
        if (row.cellora) {
            EXPECT_EQ(readText(base / "Cellora" / "history.json"), cellora) << "copied, not moved";
        }
    }
}

TEST(HistoryStore, DataFolderFallsBackToHome) {
    TempDir dir;
    ScopedEnv home("HOME", dir.path().string());
    for (const std::optional<std::string>& value :
         {std::optional<std::string>{}, std::optional<std::string>{""}, std::optional<std::string>{"relative/data"}}) {
        ScopedEnv data("XDG_DATA_HOME", value);
        EXPECT_EQ(HistoryStore().fileURL(), dir / ".local" / "share" / "Celvio" / "history.json")
            << "XDG_DATA_HOME=" << value.value_or("(unset)");
    }
}

TEST(HistoryStore, RemovesTemporaryFilesOfKilledSaves) {
    TempDir dir;
    writeText(dir / ".history.json.tmp-AbC123", "[\n{\"half");
    writeText(dir / ".history.json.tmp-fresh1", "[\n");
    writeText(dir / ".other.json.tmp-AbC123", "[\n");
    fs::last_write_time(dir / ".history.json.tmp-AbC123", fs::file_time_type::clock::now() - std::chrono::hours(1));
    fs::last_write_time(dir / ".other.json.tmp-AbC123", fs::file_time_type::clock::now() - std::chrono::hours(1));
    HistoryStore store(dir / "history.json");
    EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{".history.json.tmp-fresh1", ".other.json.tmp-AbC123"}))
        << "only old leftovers of this file's saves go";
}

TEST(HistoryStore, RecordedDatesTheFileCannotHoldAreClamped) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    HistoryStore store(dir / "history.json");
    store.record(phoneEntry("A", HistoryEntry::Date(HistoryEntry::Date::duration(1e300))));
    store.record(phoneEntry("B", HistoryEntry::Date(HistoryEntry::Date::duration(NAN))));
    ASSERT_EQ(store.entries().size(), 2u);
    EXPECT_EQ(store.entries()[0].date, earliestStorableDate());
    EXPECT_EQ(store.entries()[1].date, latestStorableDate());
    EXPECT_EQ(HistoryStore(dir / "history.json").entries(), store.entries());
}
