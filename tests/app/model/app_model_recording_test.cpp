#include "model/app_model.hpp"
#include "app_test_support.hpp"
#include "history_test_support.hpp"

#include <QDateTime>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include <sys/wait.h>
#include <unistd.h>

namespace celvio::test {
namespace {

// Which reads make which entries is the core's Measurement, tested there; here: that the
// model records them, when, and keeps the file in step with other processes.

const std::string udidA = "00008120-00000000000000AA";
const std::string udidB = "00008120-00000000000000BB";

std::chrono::system_clock::time_point localTime(QDate day, QTime time) {
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(QDateTime(day, time).toMSecsSinceEpoch()));
}

/// No device, the recorded laptop as the computer, the history in a temporary folder.
struct Laptop {
    Laptop() {
        daemon.serve({});
        options.systemRoot = copyLaptop(dir);
    }
    TempDir dir;
    Daemon daemon;
    AppModelOptions options = isolatedOptions(dir);
};

TEST(AppModelRecordingTest, SuccessfulReadsAreRecordedAndFoundBySerial) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({{.udid = udidA, .deviceID = 1, .serial = "SERIAL-A"},
                  {.udid = udidB, .deviceID = 2, .serial = "ZERO", .designCapacity = 0}});
    auto model = startModel(isolatedOptions(dir), 2);

    const auto group = model->historyForSerial("SERIAL-A");
    ASSERT_TRUE(group);
    ASSERT_EQ(group->entries.size(), 1u);
    const HistoryEntry& entry = group->entries[0];
    EXPECT_EQ(entry.date, HistoryEntry::Date(model->deviceStates().at(udidA).info->readDate));
    EXPECT_EQ(std::tuple(entry.cycleCount, entry.fullChargeCapacity, entry.designCapacity),
              std::tuple(412, 2950, 3200));
    EXPECT_EQ(HistoryStore::read(dir / "history.json").size(), 1u) << "written to the file; ZERO is not recorded";
    EXPECT_EQ(model->deviceStates().at(udidB).info->battery.fullChargeCapacity, 2950) << "shown, only not recorded";
    EXPECT_EQ(model->historyForSerial(std::nullopt), std::nullopt);
    EXPECT_EQ(model->historyForSerial("ZERO"), std::nullopt);
}

TEST(AppModelRecordingTest, ComputerIsRecordedOncePerDayAndOnChangeUnderItsModel) {
    Laptop laptop;
    AppModelOptions& options = laptop.options;
    const auto noon = localTime(QDate(2025, 3, 12), QTime(12, 0));
    auto now = noon;
    options.clock = [&now] { return now; };
    auto model = startModel(options);
    const auto entries = [&] {
        const auto group = model->historyForSerial("20XW0055GE");  // no serial: the model identifier
        return group ? group->entries : std::vector<HistoryEntry>{};
    };
    ASSERT_EQ(entries().size(), 1u) << "the first refresh of a run writes";
    EXPECT_EQ(entries()[0].date, HistoryEntry::Date(noon));
    EXPECT_EQ(entries()[0].deviceName, model->macSystem().computerName);

    QSignalSpy groups(model.get(), &AppModel::historyGroupsChanged);
    const struct {
        const char* attribute;  // changed before the refresh an hour later, or none
        const char* value;
        int groupChanges;
        std::int64_t cycles, fcc;
    } rows[] = {
        {nullptr, nullptr, 0, 120, 4500},  // same day, same cycles and capacity
        {"BAT0/cycle_count", "121", 1, 121, 4500},
        {"BAT0/charge_full", "4400000", 2, 121, 4400},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.groupChanges);
        if (row.attribute) setSupplyAttribute(options.systemRoot, row.attribute, row.value);
        now += std::chrono::hours(1);
        model->refreshMac();
        EXPECT_EQ(groups.count(), row.groupChanges);
        ASSERT_EQ(entries().size(), 1u) << "the store keeps one entry per day";
        EXPECT_EQ(std::tuple(entries()[0].cycleCount, entries()[0].fullChargeCapacity),
                  std::tuple(row.cycles, row.fcc));
        EXPECT_EQ(entries()[0].date, HistoryEntry::Date(row.attribute ? now : noon));
    }
    now += std::chrono::hours(24);
    model->refreshMac();
    EXPECT_EQ(entries().size(), 2u) << "the first refresh of a new day writes";
}

TEST(AppModelRecordingTest, CoconutBatteryIsImportedAtStartOnlyIntoAnEmptyHistory) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({});
    const AppModelOptions options = isolatedOptions(dir);
    writeCoconutDatabase(options.coconutDatabase, {{.date = 700000000, .serial = "OLD-1"}}, false);
    {
        auto model = startModel(options);
        QSignalSpy battery(model.get(), &AppModel::macBatteryChanged);
        model->refreshMac();
        EXPECT_TRUE(model->historyGroups().empty()) << "a broken database is ignored silently; no battery, no entry";
        EXPECT_EQ(battery.count(), 0);
    }
    std::filesystem::remove(options.coconutDatabase);
    writeCoconutDatabase(options.coconutDatabase,
                         {{.date = 700000000, .serial = "OLD-1"}, {.date = 700086400, .serial = "OLD-1"}});
    {
        auto model = startModel(options);
        const auto group = model->historyForSerial("OLD-1");
        ASSERT_TRUE(group);
        ASSERT_EQ(group->entries.size(), 2u);
        EXPECT_EQ(group->entries[0].source, "coconutBattery");
    }

    // The history is no longer empty: a new row of the database waits for the menu command.
    std::filesystem::remove(options.coconutDatabase);
    writeCoconutDatabase(options.coconutDatabase, {{.date = 700000000, .serial = "OLD-1"},
                                                   {.date = 700086400, .serial = "OLD-1"},
                                                   {.date = 700172800, .serial = "OLD-2"}});
    auto model = startModel(options);
    EXPECT_EQ(model->historyForSerial("OLD-2"), std::nullopt);
    EXPECT_EQ(HistoryStore(options.historyFile).entries().size(), 2u);
}

/// Records `entry` through a store of its own in another process.
void recordElsewhere(const std::filesystem::path& file, const HistoryEntry& entry) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            HistoryStore(file).record(entry);
        } catch (...) {
            std::_Exit(1);
        }
        std::_Exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::set<std::string> serialsIn(const std::filesystem::path& file) {
    std::set<std::string> serials;
    for (const HistoryEntry& entry : HistoryStore::read(file)) serials.insert(entry.deviceSerial);
    return serials;
}

TEST(AppModelRecordingTest, WhatAnotherProcessSavesIsShownAndKept) {
    Laptop laptop;
    AppModelOptions& options = laptop.options;
    auto now = localTime(QDate(2025, 3, 12), QTime(12, 0));
    options.clock = [&now] { return now; };
    auto model = startModel(options);
    const std::filesystem::path file = *options.historyFile;
    ASSERT_TRUE(model->historyForSerial("20XW0055GE"));

    recordElsewhere(file, phoneEntry("OTHER", utc("2025-03-01T10:00:00Z")));
    EXPECT_TRUE(waitUntil([&] { return model->historyForSerial("OTHER").has_value(); })) << "reloaded when it changed";
    setSupplyAttribute(options.systemRoot, "BAT0/cycle_count", "121");
    now += std::chrono::hours(1);
    model->refreshMac();
    EXPECT_EQ(serialsIn(file), (std::set<std::string>{"20XW0055GE", "OTHER"})) << "the next record keeps them";

    // Merging with what another store saved before a reload is the store's, tested in the core.
    EXPECT_EQ(model->historyForSerial("20XW0055GE")->entries.at(0).cycleCount, 121);
    EXPECT_EQ(model->historySaveError(), std::nullopt);
}

TEST(AppModelRecordingTest, AFailedSaveIsToldAndTriedAgainUpToTheEnd) {
    Laptop laptop;
    const TempDir& dir = laptop.dir;
    AppModelOptions& options = laptop.options;
    options.historyFile = dir / "later" / "history.json";
    auto model = startModel(options);
    EXPECT_EQ(model->historySaveError(), "The history could not be saved: No such file or directory");
    ASSERT_TRUE(model->historyForSerial("20XW0055GE")) << "shown from memory";

    std::filesystem::create_directory(dir / "later");
    QSignalSpy told(model.get(), &AppModel::historySaveErrorChanged);
    setSupplyAttribute(options.systemRoot, "BAT0/cycle_count", "121");
    model->refreshMac();
    EXPECT_EQ(model->historySaveError(), std::nullopt);
    EXPECT_EQ(told.count(), 1);
    ASSERT_EQ(HistoryStore::read(*options.historyFile).size(), 1u);

    std::filesystem::rename(dir / "later", dir / "moved");
    setSupplyAttribute(options.systemRoot, "BAT0/cycle_count", "122");
    model->refreshMac();
    EXPECT_TRUE(model->historySaveError());
    std::filesystem::create_directory(dir / "later");
    model.reset();
    const auto saved = HistoryStore::read(*options.historyFile);
    ASSERT_EQ(saved.size(), 1u) << "quitting made one more attempt";
    EXPECT_EQ(saved[0].cycleCount, 122);
}

}  // namespace
}  // namespace celvio::test
