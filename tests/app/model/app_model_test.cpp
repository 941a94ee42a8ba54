#include "model/app_model.hpp"
#include "app_test_support.hpp"
#include "display/error_text.hpp"
#include "reading/ios_device_reader.hpp"
#include "simulated_daemon.hpp"
#include "link/usbmux.hpp"

#include <QSettings>
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

/// Every change signal of the model, counted.
struct ChangeSpies {
    explicit ChangeSpies(AppModel& m)
        : selection(&m, &AppModel::selectionChanged), macBattery(&m, &AppModel::macBatteryChanged),
          lowPowerMode(&m, &AppModel::lowPowerModeChanged), devices(&m, &AppModel::devicesChanged),
          deviceStates(&m, &AppModel::deviceStatesChanged), historyGroups(&m, &AppModel::historyGroupsChanged),
          usbmuxError(&m, &AppModel::usbmuxErrorChanged) {}
    int total() const {
        return static_cast<int>(selection.count() + macBattery.count() + lowPowerMode.count() + devices.count() +
                                deviceStates.count() + historyGroups.count() + usbmuxError.count());
    }
    QSignalSpy selection, macBattery, lowPowerMode, devices, deviceStates, historyGroups, usbmuxError;
};

/// Long enough for a wrongly started read to reach the simulator.
void settle() { QTest::qWait(300); }

const DeviceState* stateOf(const AppModel& model, const std::string& udid) {
    const auto it = model.deviceStates().find(udid);
    return it == model.deviceStates().end() ? nullptr : &it->second;
}

/// The state of `udid` at the moment the next poll is applied.
std::optional<DeviceState> stateAtNextPoll(AppModel& model, const std::string& udid) {
    std::optional<DeviceState> atPoll;
    QMetaObject::Connection connection = QObject::connect(&model, &AppModel::pollApplied, &model, [&] {
        if (const DeviceState* state = stateOf(model, udid)) atPoll = *state;
    });
    pollAndWait(model);
    QObject::disconnect(connection);
    return atPoll;
}

TEST(AppModelTest, PageRestoresHistoryOrComputerNeverDeviceOrHelp) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    const AppModelOptions options = isolatedOptions(dir);
    EXPECT_EQ(startModel(options, 1)->selection(), Selection::mac()) << "first start without a page";

    const struct {
        Selection chosen;
        const char* stored;
        Selection reopened;
    } rows[] = {
        {Selection::history(), "history", Selection::history()},
        {Selection::device(udidA), "mac", Selection::mac()},
        {Selection::history(), "history", Selection::history()},
        {Selection::connectHelp(), "mac", Selection::mac()},
    };
    for (const auto& row : rows) {
        auto model = startModel(options, 1);
        QSignalSpy changed(model.get(), &AppModel::selectionChanged);
        model->setSelection(row.chosen);
        model->setSelection(row.chosen);
        EXPECT_EQ(changed.count(), 1) << "only a real change notifies";
        EXPECT_EQ(QSettings(*options.settingsFile, QSettings::IniFormat).value("page").toString(), row.stored);
        EXPECT_EQ(startModel(options, 1)->selection(), row.reopened) << row.stored;
    }
}

TEST(AppModelTest, PollsReadOnlyNewDevicesAndNewConnectionsAndSurviveAFailure) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA(), phoneB()});
    auto model = startModel(isolatedOptions(dir), 2);
    ASSERT_EQ(daemon.sessions(), 2);
    ChangeSpies unchanged(*model);
    pollAndWait(*model);
    pollAndWait(*model);
    settle();
    EXPECT_EQ(unchanged.total(), 0);
    EXPECT_EQ(daemon.sessions(), 2) << "known devices on the same connection are left to the reload timer";

    SimPhone phone = phoneA();
    phone.deviceID = 9;  // plugged in again: a new id, the same connection
    daemon.serve({phone, phoneB()});
    ChangeSpies replugged(*model);
    pollAndWait(*model);
    settle();
    EXPECT_EQ(replugged.devices.count(), 1);
    EXPECT_EQ(model->devices().at(0).deviceID, 9);
    EXPECT_EQ(replugged.deviceStates.count(), 0);
    EXPECT_EQ(daemon.sessions(), 0);

    phone.connection = "Network";
    daemon.serve({phone, phoneB()});
    QSignalSpy reads(model.get(), &AppModel::readFinished);
    pollAndWait(*model);
    ASSERT_TRUE(waitUntil([&] { return reads.count() == 1; }));
    EXPECT_EQ(stateOf(*model, udidA)->info->connection, MuxDevice::Connection::network);
    pollAndWait(*model);
    settle();
    EXPECT_EQ(daemon.sessions(), 1) << "one read for the move to Wi-Fi, none for the same connection again";

    // A failed poll empties the list and keeps the states; the next success shows them at once.
    model->setSelection(Selection::device(udidA));
    const DeviceState loaded = *stateOf(*model, udidA);
    daemon.stop();
    std::string expected;
    try {
        USBMux::listDevices(false);
    } catch (const std::exception& error) {
        expected = errorText(error);
    }
    ASSERT_FALSE(expected.empty());
    pollAndWait(*model);
    EXPECT_TRUE(model->devices().empty());
    EXPECT_EQ(model->usbmuxError(), expected);
    EXPECT_EQ(model->deviceStates().at(udidA), loaded);
    EXPECT_EQ(model->selection(), Selection::device(udidA)) << "a failed poll leaves the selection";
    daemon.serve({phone});
    ChangeSpies back(*model);
    EXPECT_EQ(stateAtNextPoll(*model, udidA), loaded);
    settle();
    EXPECT_EQ(model->usbmuxError(), std::nullopt);
    EXPECT_EQ(back.usbmuxError.count(), 1);
    EXPECT_EQ(back.deviceStates.count(), 1) << "phone B is gone";
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

TEST(AppModelTest, UnplugSelectsComputerHelpFollowsTheFirstDeviceAndReplugLoadsAfresh) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    const AppModelOptions options = isolatedOptions(dir);
    auto model = startModel(options, 1);
    model->setSelection(Selection::device(udidA));

    daemon.serve({});
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::mac());
    EXPECT_TRUE(model->deviceStates().empty());
    EXPECT_TRUE(model->devices().empty());
    EXPECT_EQ(QSettings(*options.settingsFile, QSettings::IniFormat).value("page").toString(), "mac");
    model->setSelection(Selection::connectHelp());
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::connectHelp()) << "nothing attached yet";

    daemon.serve({phoneB(), phoneA()});
    QSignalSpy reads(model.get(), &AppModel::readFinished);
    const auto atPoll = stateAtNextPoll(*model, udidA);
    ASSERT_TRUE(atPoll);
    EXPECT_EQ(atPoll->kind, DeviceState::Kind::loading);
    EXPECT_EQ(model->selection(), Selection::device(udidA)) << "the first of the list, sorted by UDID";
    ASSERT_TRUE(waitUntil([&] { return reads.count() == 2; }));
    EXPECT_EQ(stateOf(*model, udidA)->kind, DeviceState::Kind::loaded);
    EXPECT_EQ(daemon.sessions(), 2);

    model->setSelection(Selection::history());
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::history()) << "only the help panel follows";
}

TEST(AppModelTest, FailedReadsKeepOldDataWithErrorAndRecover) {
    TempDir dir;
    Daemon daemon;
    SimPhone phone = phoneA();
    phone.paired = false;
    daemon.serve({phone});
    std::string unpaired;
    try {
        IOSDeviceReader::read({udidA, phone.deviceID, MuxDevice::Connection::usb});
    } catch (const std::exception& error) {
        unpaired = errorText(error);
    }
    ASSERT_FALSE(unpaired.empty());
    auto model = startModel(isolatedOptions(dir), 1);
    EXPECT_EQ(*stateOf(*model, udidA), DeviceState::failed(unpaired)) << "a first read that fails";

    std::optional<IOSDeviceInfo> first;
    for (const char* name : {"First Name", "", "Second Name"}) {
        SCOPED_TRACE(name);
        phone.paired = *name != '\0';
        if (phone.paired) phone.name = name;
        daemon.serve({phone});
        QSignalSpy reads(model.get(), &AppModel::readFinished);
        model->reload(udidA);
        ASSERT_TRUE(waitUntil([&] { return reads.count() == 1; }));
        const DeviceState& state = *stateOf(*model, udidA);
        if (!phone.paired) {
            EXPECT_EQ(state, DeviceState::loaded(*first, unpaired)) << "the old data stay, with the error";
            continue;
        }
        EXPECT_EQ(state.kind, DeviceState::Kind::loaded);
        EXPECT_EQ(state.info->name, name);
        EXPECT_EQ(state.error, std::nullopt);
        if (!first) first = state.info;
    }
}

TEST(AppModelTest, ReadFinishingAfterItsDeviceVanishedIsDropped) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    const auto gate = std::make_shared<Gate>();
    AppModelOptions options = isolatedOptions(dir);
    options.readDevice = [gate](const MuxDevice& device) {
        IOSDeviceInfo info = IOSDeviceReader::read(device);
        gate->wait();
        return info;
    };
    auto model = startModel(options);
    const auto opened = gate->openOnExit();
    ASSERT_EQ(stateOf(*model, udidA)->kind, DeviceState::Kind::loading);

    // The read is done with the device once it has stopped its session; it then waits.
    ASSERT_TRUE(waitUntil([&] { return daemon.requests("StopSession") == 1; }));
    daemon.serve({});
    pollAndWait(*model);
    ASSERT_TRUE(model->deviceStates().empty());

    QSignalSpy reads(model.get(), &AppModel::readFinished);
    ChangeSpies spies(*model);
    gate->open();
    ASSERT_TRUE(waitUntil([&] { return reads.count() == 1; }));
    EXPECT_EQ(reads.at(0).at(0).toString().toStdString(), udidA);
    EXPECT_TRUE(model->deviceStates().empty());
    EXPECT_TRUE(model->historyGroups().empty());
    EXPECT_EQ(spies.total(), 0);
    EXPECT_TRUE(HistoryStore(options.historyFile).isEmpty());
}

TEST(AppModelTest, SlowDaemonEndsItsPollAtTheDeadlineWithoutPollsQueuingBehind) {
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

TEST(AppModelTest, TimersPollRefreshAndReload) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    AppModelOptions options = isolatedOptions(dir);
    options.macRefreshInterval = options.pollInterval = std::chrono::milliseconds(40);
    options.reloadInterval = std::chrono::milliseconds(150);
    int lowPowerReads = 0;
    options.lowPowerMode = [&lowPowerReads] { return ++lowPowerReads >= 4; };

    AppModel model(options);
    QSignalSpy polls(&model, &AppModel::pollApplied);
    QSignalSpy lowPower(&model, &AppModel::lowPowerModeChanged);
    QSignalSpy devices(&model, &AppModel::devicesChanged);
    EXPECT_TRUE(waitUntil([&] { return polls.count() >= 5 && daemon.sessions() >= 3 && lowPowerReads >= 6; }));
    EXPECT_EQ(lowPower.count(), 1) << "emitted once, when the flag turned on";
    EXPECT_TRUE(model.lowPowerMode());
    EXPECT_EQ(devices.count(), 1) << "only the first poll changed the list";
}

}  // namespace
}  // namespace celvio::test
