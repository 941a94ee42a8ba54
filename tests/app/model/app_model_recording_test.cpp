#include "model/app_model.hpp"
#include "app_test_support.hpp"
#include "history_test_support.hpp"

#include <QDateTime>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <tuple>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace celvio::test {
namespace {

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

TEST(AppModelRecordingTest, SuccessfulReadIsRecordedAndFoundBySerial) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({{.udid = udidA,
                   .name = "Alex's iPhone",
                   .serial = "SERIAL-A",
                   .fullChargeCapacity = 2950,
                   .designCapacity = 3200,
                   .cycles = 412}});
    auto model = startModel(isolatedOptions(dir), 1);

    const auto group = model->historyForSerial("SERIAL-A");
    ASSERT_TRUE(group);
    ASSERT_EQ(group->entries.size(), 1u);
    const HistoryEntry& entry = group->entries[0];
    const IOSDeviceInfo& info = *model->deviceStates().at(udidA).info;
    EXPECT_EQ(entry.kind, HistoryEntry::Kind::ios);
    EXPECT_EQ(entry.date, HistoryEntry::Date(info.readDate));
    EXPECT_EQ(entry.deviceSerial, "SERIAL-A");
    EXPECT_EQ(entry.deviceName, "Alex's iPhone");
    EXPECT_EQ(entry.modelIdentifier, "iPhone15,2");
    EXPECT_EQ(entry.osVersion, "17.4.1");
    EXPECT_EQ(entry.batterySerial, "BATTERY-SERIAL-A");
    EXPECT_EQ(entry.cycleCount, 412);
    EXPECT_EQ(entry.fullChargeCapacity, 2950);
    EXPECT_EQ(entry.designCapacity, 3200);
    EXPECT_EQ(entry.source, std::nullopt);
    EXPECT_EQ(HistoryStore(dir / "history.json").entries().size(), 1u) << "written to the file";

    EXPECT_EQ(model->historyForSerial(std::nullopt), std::nullopt);
    EXPECT_EQ(model->historyForSerial("NO-SUCH-SERIAL"), std::nullopt);
}

TEST(AppModelRecordingTest, DesignCapacityZeroOrMissingRecordsNothing) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({{.udid = udidA, .deviceID = 1, .serial = "ZERO", .designCapacity = 0},
                  {.udid = udidB, .deviceID = 2, .serial = "MISSING", .designCapacity = std::nullopt}});
    auto model = startModel(isolatedOptions(dir), 2);

    for (const std::string& udid : {udidA, udidB}) {
        const DeviceState& state = model->deviceStates().at(udid);
        EXPECT_EQ(state.kind, DeviceState::Kind::loaded) << udid;
        EXPECT_EQ(state.info->battery.fullChargeCapacity, 2950) << "shown, only not recorded";
    }
    EXPECT_TRUE(model->historyGroups().empty());
    EXPECT_TRUE(HistoryStore(dir / "history.json").isEmpty());
}

TEST(AppModelRecordingTest, ComputerIsRecordedOncePerDayAndOnChangeUnderItsModel) {
    Laptop laptop;
    AppModelOptions& options = laptop.options;
    const auto noon = localTime(QDate(2025, 3, 12), QTime(12, 0));
    auto now = noon;
    options.clock = [&now] { return now; };
    auto model = startModel(options);

    ASSERT_TRUE(model->macBattery());
    EXPECT_EQ(model->macSystem().serialNumber, std::nullopt);
    const auto entries = [&] {
        const auto group = model->historyForSerial("20XW0055GE");  // no serial: the model identifier
        return group ? group->entries : std::vector<HistoryEntry>{};
    };
    ASSERT_EQ(entries().size(), 1u) << "the first refresh of a run writes";
    const HistoryEntry first = entries()[0];
    EXPECT_EQ(first.kind, HistoryEntry::Kind::mac);
    EXPECT_EQ(first.date, HistoryEntry::Date(noon));
    EXPECT_EQ(first.deviceName, model->macSystem().computerName);
    EXPECT_EQ(first.modelIdentifier, "20XW0055GE");
    EXPECT_EQ(first.batterySerial, "4711");
    EXPECT_EQ(first.cycleCount, 120);
    EXPECT_EQ(first.fullChargeCapacity, 4500);
    EXPECT_EQ(first.designCapacity, 5000);

    QSignalSpy groups(model.get(), &AppModel::historyGroupsChanged);
    now += std::chrono::hours(1);
    model->refreshMac();
    EXPECT_EQ(groups.count(), 0) << "same day, same cycles and capacity";
    EXPECT_EQ(entries().at(0).date, HistoryEntry::Date(noon));

    setSupplyAttribute(options.systemRoot, "BAT0/cycle_count", "121");
    now += std::chrono::hours(1);
    model->refreshMac();
    ASSERT_EQ(entries().size(), 1u) << "the store keeps one entry per day";
    EXPECT_EQ(entries()[0].cycleCount, 121);
    EXPECT_EQ(entries()[0].date, HistoryEntry::Date(now));

    setSupplyAttribute(options.systemRoot, "BAT0/charge_full", "4400000");
    now += std::chrono::hours(1);
    model->refreshMac();
    EXPECT_EQ(entries().at(0).fullChargeCapacity, 4400);
    EXPECT_EQ(entries().at(0).date, HistoryEntry::Date(now));

    now += std::chrono::hours(24);
    model->refreshMac();
    EXPECT_EQ(entries().size(), 2u) << "the first refresh of a new day writes";
    EXPECT_EQ(groups.count(), 3);
}

TEST(AppModelRecordingTest, ComputerIsRecordedOnlyWithCapacitiesAndOnlyWhenTheyChange) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({});
    AppModelOptions options = isolatedOptions(dir);
    options.systemRoot = copyLaptop(dir);
    const auto now = localTime(QDate(2025, 3, 12), QTime(12, 0));
    options.clock = [now] { return now; };
    for (const char* charge : {"charge_full_design", "charge_full", "charge_now"})
        std::filesystem::remove(options.systemRoot / "sys/class/power_supply/BAT0" / charge);
    auto model = startModel(options);
    ASSERT_TRUE(model->macBattery());
    EXPECT_EQ(model->macBattery()->chargePercent, 80);
    EXPECT_EQ(model->macBattery()->fullChargeCapacity, std::nullopt) << "a percentage is no capacity";
    EXPECT_TRUE(model->historyGroups().empty());

    // Energies and no design voltage: whatever the present voltage, the same capacities,
    // so ten readings write the history file once.
    setSupplyAttribute(options.systemRoot, "BAT0/energy_full_design", "57000000");
    setSupplyAttribute(options.systemRoot, "BAT0/energy_full", "51300000");
    setSupplyAttribute(options.systemRoot, "BAT0/energy_now", "34200000");
    const auto file = dir / "history.json";
    const auto version = [&] {
        struct stat status {};
        if (::stat(file.c_str(), &status) != 0) return std::tuple<ino_t, long, long>{};
        return std::tuple<ino_t, long, long>(status.st_ino, status.st_ctim.tv_sec, status.st_ctim.tv_nsec);
    };
    int saves = 0;
    for (int i = 0; i < 10; ++i) {
        setSupplyAttribute(options.systemRoot, "BAT0/voltage_now", std::to_string(10'900'000 + i * 190'000));
        const auto before = version();
        model->refreshMac();
        saves += version() != before;
    }
    EXPECT_EQ(saves, 1);
    const auto group = model->historyForSerial("20XW0055GE");
    ASSERT_TRUE(group);
    ASSERT_EQ(group->entries.size(), 1u);
    EXPECT_EQ(std::tuple(group->entries[0].fullChargeCapacity, group->entries[0].designCapacity),
              std::tuple(4500, 5000));
}

TEST(AppModelRecordingTest, ComputerWithoutBatteryRecordsNothing) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({});
    auto model = startModel(isolatedOptions(dir));
    QSignalSpy battery(model.get(), &AppModel::macBatteryChanged);
    model->refreshMac();
    model->refreshMac();
    EXPECT_EQ(model->macBattery(), std::nullopt);
    EXPECT_EQ(battery.count(), 0);
    EXPECT_TRUE(model->historyGroups().empty());
}

TEST(AppModelRecordingTest, EmptyHistoryImportsCoconutBatteryOnceAtStart) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({});
    const AppModelOptions options = isolatedOptions(dir);
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

TEST(AppModelRecordingTest, BrokenCoconutDatabaseAtStartIsIgnoredSilently) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({});
    const AppModelOptions options = isolatedOptions(dir);
    writeCoconutDatabase(options.coconutDatabase, {{.date = 700000000, .serial = "OLD-1"}}, false);
    auto model = startModel(options);
    EXPECT_TRUE(model->historyGroups().empty());
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

    // Saved elsewhere and at once followed by a record here, before any reload.
    recordElsewhere(file, phoneEntry("THIRD", utc("2025-03-02T10:00:00Z")));
    setSupplyAttribute(options.systemRoot, "BAT0/cycle_count", "122");
    model->refreshMac();
    EXPECT_EQ(serialsIn(file), (std::set<std::string>{"20XW0055GE", "OTHER", "THIRD"}));
    EXPECT_TRUE(model->historyForSerial("THIRD"));
    EXPECT_EQ(model->historyForSerial("20XW0055GE")->entries.at(0).cycleCount, 122);
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
