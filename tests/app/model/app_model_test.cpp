#include "model/app_model.hpp"
#include "app_test_support.hpp"
#include "reading/ios_device_reader.hpp"
#include "simulated_daemon.hpp"
#include "link/usbmux.hpp"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace celvio::test {
namespace {

const std::string udidA = "00008120-00000000000000AA";
const std::string udidB = "00008120-00000000000000BB";

SimPhone phoneA() { return {.udid = udidA, .deviceID = 1, .serial = "SERIAL-A"}; }
SimPhone phoneB() { return {.udid = udidB, .deviceID = 2, .serial = "SERIAL-B"}; }

/// Counts the model's change signals from now on.
std::shared_ptr<int> countChanges(AppModel& model) {
    auto count = std::make_shared<int>(0);
    for (const auto signal : {&AppModel::selectionChanged, &AppModel::macBatteryChanged, &AppModel::lowPowerModeChanged,
                              &AppModel::devicesChanged, &AppModel::deviceStatesChanged,
                              &AppModel::historyGroupsChanged, &AppModel::usbmuxErrorChanged})
        QObject::connect(&model, signal, &model, [count] { ++*count; });
    return count;
}

/// Long enough for a wrongly started read to reach the simulator.
void settle() { QTest::qWait(300); }

/// The simulator serving phone A, and a folder for the model's files.
class AppModelTest : public ::testing::Test {
protected:
    AppModelTest() { daemon.serve({phoneA()}); }
    TempDir dir;
    Daemon daemon;
};

TEST_F(AppModelTest, PageRestoresHistoryOrComputerNeverDeviceOrHelp) {
    const AppModelOptions options = isolatedOptions(dir);
    // Chosen, and shown at the next start; the first start's is RootView's test.
    const std::pair<Selection, Selection> rows[] = {{Selection::device(udidA), Selection::mac()},
                                                    {Selection::history(), Selection::history()},
                                                    {Selection::connectHelp(), Selection::mac()}};
    for (const auto& [chosen, reopened] : rows) {
        startModel(options, 1)->setSelection(chosen);
        EXPECT_EQ(startModel(options, 1)->selection(), reopened);
    }
}

TEST_F(AppModelTest, PollsReadOnlyNewDevicesAndNewConnectionsAndSurviveAFailure) {
    daemon.serve({phoneA(), phoneB()});
    auto model = startModel(isolatedOptions(dir), 2);
    // The same list again; plugged in again (a new id, the same connection): listed, not read;
    // moved to Wi-Fi: read, which also changes the state and the history entry.
    SimPhone phone = phoneA();
    for (const auto& [id, connection, reads, changed] :
         {std::tuple(1, "USB", 0, 0), {9, "USB", 0, 1}, {9, "Network", 1, 3}}) {
        phone.deviceID = id;
        phone.connection = connection;
        daemon.serve({phone, phoneB()});
        const auto changes = countChanges(*model);
        QSignalSpy finished(model.get(), &AppModel::readFinished);
        pollAndWait(*model);
        EXPECT_TRUE(waitUntil([&] { return finished.count() >= reads; }));
        settle();
        EXPECT_EQ(std::tuple(finished.count(), daemon.sessions(), *changes), std::tuple(reads, reads, changed))
            << id << connection;
    }

    // A failed poll empties the list and keeps the states; the next success shows them at once.
    model->setSelection(Selection::device(udidA));
    const DeviceState loaded = model->deviceStates().at(udidA);
    daemon.stop();
    pollAndWait(*model);
    EXPECT_EQ(model->deviceStates().at(udidA), loaded) << "the list went; the placeholder is RootView's test";
    EXPECT_EQ(model->selection(), Selection::device(udidA)) << "a failed poll leaves the selection";
    daemon.serve({phone});
    QSignalSpy states(model.get(), &AppModel::deviceStatesChanged);
    pollAndWait(*model);
    settle();
    EXPECT_EQ(model->deviceStates().at(udidA), loaded);
    EXPECT_EQ(states.count(), 1) << "phone B is gone";
    EXPECT_EQ(daemon.sessions(), 0) << "the kept state needs no new read";

    // Asked twice, and by the reload of all, a device is read once; one that is not listed, never.
    QSignalSpy loads(model.get(), &AppModel::readFinished);
    model->load(model->devices().at(0));
    model->load(model->devices().at(0));
    model->reloadAllDevices();
    model->reload(udidB);
    ASSERT_TRUE(waitUntil([&] { return loads.count() >= 1; }));
    settle();
    EXPECT_EQ(loads.count(), 1);
    EXPECT_EQ(daemon.sessions(), 1);
}

TEST_F(AppModelTest, UnplugSelectsComputerHelpFollowsTheFirstDeviceAndReplugLoadsAfresh) {
    auto model = startModel(isolatedOptions(dir), 1);
    model->setSelection(Selection::device(udidA));
    daemon.serve({});
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::mac());
    model->setSelection(Selection::connectHelp());
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::connectHelp()) << "nothing attached yet";

    daemon.serve({phoneB(), phoneA()});
    QSignalSpy reads(model.get(), &AppModel::readFinished);
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::device(udidA)) << "the first of the list, sorted by UDID";
    ASSERT_TRUE(waitUntil([&] { return reads.count() == 2; }));
    EXPECT_EQ(model->deviceStates().at(udidA).kind, DeviceState::Kind::loaded);
    model->setSelection(Selection::history());
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::history()) << "only the help panel follows";
}

TEST_F(AppModelTest, ReadFinishingAfterItsDeviceVanishedIsDropped) {
    const auto gate = std::make_shared<Gate>();
    AppModelOptions options = isolatedOptions(dir);
    options.readDevice = [gate](const MuxDevice& device) {
        IOSDeviceInfo info = IOSDeviceReader::read(device);
        gate->wait();
        return info;
    };
    auto model = startModel(options);
    const auto opened = gate->openOnExit();
    ASSERT_EQ(model->deviceStates().at(udidA), DeviceState::loading());

    // The read is done with the device once it has stopped its session; it then waits.
    ASSERT_TRUE(waitUntil([&] { return daemon.requests("StopSession") == 1; }));
    daemon.serve({});
    pollAndWait(*model);
    ASSERT_TRUE(model->deviceStates().empty());

    QSignalSpy reads(model.get(), &AppModel::readFinished);
    const auto changes = countChanges(*model);
    gate->open();
    ASSERT_TRUE(waitUntil([&] { return reads.count() == 1; }));
    EXPECT_EQ(*changes, 0) << "no state, no history group";
    EXPECT_TRUE(HistoryStore(options.historyFile).isEmpty());
}

TEST(AppModelPollTest, SlowDaemonEndsItsPollAtTheDeadlineWithoutPollsQueuingBehind) {
    TempDir dir;
    // Each byte of the device list 50 ms apart: the poll is stuck until its deadline.
    SimulatedDaemon daemon(R"({"devices": [{"udid": "A1", "attachments": [{"deviceID": 1, "connection": "USB"}]}],
                               "faults": {"ListDevices": {"kind": "slow", "interval": 50}}})");
    AppModelOptions options = isolatedOptions(dir);
    options.pollInterval = std::chrono::milliseconds(20);
    options.listDevices = [] { return USBMux(0.4).list(false); };
    AppModel model(options);
    std::optional<std::size_t> listedWhenApplied;
    QObject::connect(&model, &AppModel::pollApplied, &model, [&] {
        if (!listedWhenApplied) listedWhenApplied = daemon.sim.received().size();
    });
    ASSERT_TRUE(waitUntil([&] { return listedWhenApplied.has_value(); }));
    EXPECT_EQ(model.usbmuxError(), "The device did not respond in time.");
    EXPECT_TRUE(model.devices().empty());
    EXPECT_EQ(*listedWhenApplied, 1u) << "timer ticks started polls behind the stuck one";
}

TEST_F(AppModelTest, TimersPollRefreshAndReload) {
    AppModelOptions options = isolatedOptions(dir);
    options.macRefreshInterval = options.pollInterval = std::chrono::milliseconds(40);
    options.reloadInterval = std::chrono::milliseconds(150);
    int lowPowerReads = 0;
    options.lowPowerMode = [&lowPowerReads] { return ++lowPowerReads >= 4; };
    AppModel model(options);
    QSignalSpy polls(&model, &AppModel::pollApplied);
    EXPECT_TRUE(waitUntil([&] { return polls.count() >= 5 && daemon.sessions() >= 3 && lowPowerReads >= 6; }));
    EXPECT_TRUE(model.lowPowerMode());
}

}  // namespace
}  // namespace celvio::test
