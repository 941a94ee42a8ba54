#include "model/app_model.hpp"
#include "app_test_support.hpp"
#include "history_test_support.hpp"

#include <QDateTime>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <string>

namespace celvio::test {
namespace {

// Which reads make which entries is the core's Measurement, tested there; here: that the
// model records them, when, and keeps the file in step with other processes.

/// No device, the recorded laptop as the computer, the history in a temporary folder.
class AppModelRecordingTest : public ::testing::Test {
protected:
    AppModelRecordingTest() {
        daemon.serve({});
        options.systemRoot = copyLaptop(dir);
    }
    TempDir dir;
    Daemon daemon;
    AppModelOptions options = isolatedOptions(dir);
};

TEST_F(AppModelRecordingTest, ComputerIsRecordedOncePerDayAndOnChangeUnderItsModel) {
    // Noon, local time: the hourly steps below stay within the day.
    auto now = std::chrono::system_clock::time_point(
        std::chrono::milliseconds(QDateTime(QDate(2025, 3, 12), QTime(12, 0)).toMSecsSinceEpoch()));
    options.clock = [&now] { return now; };
    auto model = startModel(options);
    const auto entries = [&] {
        const auto group = model->historyForSerial("20XW0055GE");  // no serial: the model identifier
        return group ? group->entries : std::vector<HistoryEntry>{};
    };
    ASSERT_EQ(entries().size(), 1u) << "the first refresh of a run writes";

    // An hour later, unchanged: nothing is written; one more cycle: the day's entry is replaced.
    QSignalSpy groups(model.get(), &AppModel::historyGroupsChanged);
    for (const auto& [cycles, changes] : {std::pair("120", 0), {"121", 1}}) {
        setSupplyAttribute(options.systemRoot, "BAT0/cycle_count", cycles);
        now += std::chrono::hours(1);
        model->refreshMac();
        EXPECT_EQ(groups.count(), changes) << cycles;
        EXPECT_EQ(entries().at(0).cycleCount, std::stoi(cycles));
    }
    now += std::chrono::hours(24);
    model->refreshMac();
    EXPECT_EQ(entries().size(), 2u) << "the first refresh of a new day writes";
}

TEST(AppModelImportTest, CoconutBatteryIsImportedAtStartOnlyIntoAnEmptyHistory) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({});
    const AppModelOptions options = isolatedOptions(dir);
    const CoconutRow old1{.date = 700000000, .serial = "OLD"}, old2{.date = 700086400, .serial = "OLD"};
    // Unreadable: ignored silently; two rows; a new row only the menu command imports now.
    const struct {
        std::vector<CoconutRow> rows;
        bool readable;
        std::size_t entries;
    } rows[] = {{{old1}, false, 0},
                {{old1, old2}, true, 2},
                {{old1, old2, {.date = 700172800, .serial = "NEW"}}, true, 2}};
    for (const auto& row : rows) {
        std::filesystem::remove(options.coconutDatabase);
        writeCoconutDatabase(options.coconutDatabase, row.rows, row.readable);
        auto model = startModel(options);
        EXPECT_EQ(HistoryStore(options.historyFile).entries().size(), row.entries);
        EXPECT_EQ(model->historyForSerial("OLD").has_value(), row.entries > 0) << "shown";
    }
}

// That a change keeps what another store saved is HistoryStore's test.
TEST_F(AppModelRecordingTest, WhatAnotherStoreSavesIsShown) {
    auto model = startModel(options);
    HistoryStore(options.historyFile).record(phoneEntry("OTHER", utc("2025-03-01T10:00:00Z")));
    EXPECT_TRUE(waitUntil([&] { return model->historyForSerial("OTHER").has_value(); })) << "reloaded when it changed";
}

// That the next change tries again and clears the message is HistoryPanel's test.
TEST_F(AppModelRecordingTest, AFailedSaveIsToldAndTriedAgainAtTheEnd) {
    options.historyFile = dir / "later" / "history.json";
    auto model = startModel(options);
    EXPECT_EQ(model->historySaveError(), "The history could not be saved: No such file or directory");
    ASSERT_TRUE(model->historyForSerial("20XW0055GE")) << "shown from memory";
    std::filesystem::create_directory(dir / "later");
    model.reset();
    EXPECT_EQ(HistoryStore::read(*options.historyFile).size(), 1u) << "quitting made one more attempt";
}

}  // namespace
}  // namespace celvio::test
