#include "model/app_model.hpp"
#include "app_test_support.hpp"
#include "display/error_text.hpp"
#include "reading/ios_device_reader.hpp"
#include "simulated_daemon.hpp"
#include "link/usbmux.hpp"

#include <QMetaProperty>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace celvio::test {
namespace {

const std::string udidA = "00008120-00000000000000AA";
const std::string udidB = "00008120-00000000000000BB";

SimPhone phoneA() { return {.udid = udidA, .deviceID = 1, .serial = "SERIAL-A"}; }
SimPhone phoneB() { return {.udid = udidB, .deviceID = 2, .serial = "SERIAL-B"}; }

/// Every change signal of the model, counted.
struct ChangeSpies {
    explicit ChangeSpies(AppModel& model)
        : selection(&model, &AppModel::selectionChanged),
          macBattery(&model, &AppModel::macBatteryChanged),
          lowPowerMode(&model, &AppModel::lowPowerModeChanged),
          devices(&model, &AppModel::devicesChanged),
          deviceStates(&model, &AppModel::deviceStatesChanged),
          historyGroups(&model, &AppModel::historyGroupsChanged),
          usbmuxError(&model, &AppModel::usbmuxErrorChanged) {}

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

/// What the core says when this read fails; the model must show exactly that.
std::string readError(const MuxDevice& device) {
    try {
        IOSDeviceReader::read(device);
    } catch (const std::exception& error) {
        return errorText(error);
    }
    ADD_FAILURE() << "the read was expected to fail";
    return {};
}

/// Blocks device reads after they have finished talking to the device, until opened.
class Gate {
public:
    void pass() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return open_; });
    }
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

TEST(AppModelTest, PageRestoresHistoryOrComputerNeverDeviceOrHelp) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    const AppModelOptions options = isolatedOptions(dir);
    EXPECT_EQ(startModel(options, 1)->selection(), Selection::mac()) << "first start without a page";

    struct Row {
        Selection chosen;
        const char* stored;
        Selection reopened;
    };
    const Row rows[] = {
        {Selection::history(), "history", Selection::history()},
        {Selection::device(udidA), "mac", Selection::mac()},
        {Selection::history(), "history", Selection::history()},
        {Selection::connectHelp(), "mac", Selection::mac()},
    };
    for (const Row& row : rows) {
        startModel(options, 1)->setSelection(row.chosen);
        EXPECT_EQ(QSettings(*options.settingsFile, QSettings::IniFormat).value("page").toString(), row.stored);
        EXPECT_EQ(startModel(options, 1)->selection(), row.reopened) << row.stored;
    }
}

TEST(AppModelTest, UnchangedPollEmitsNothingAndReadsNothing) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA(), phoneB()});
    auto model = startModel(isolatedOptions(dir), 2);
    ASSERT_EQ(daemon.sessions(), 2);

    ChangeSpies spies(*model);
    pollAndWait(*model);
    pollAndWait(*model);
    settle();
    EXPECT_EQ(spies.total(), 0);
    EXPECT_EQ(daemon.sessions(), 2) << "known devices on the same connection are left to the reload timer";
}

TEST(AppModelTest, NewDeviceIdReplacesDevicesWithoutRead) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    auto model = startModel(isolatedOptions(dir), 1);

    SimPhone replugged = phoneA();
    replugged.deviceID = 9;
    daemon.serve({replugged});
    ChangeSpies spies(*model);
    pollAndWait(*model);
    settle();

    EXPECT_EQ(spies.devices.count(), 1);
    ASSERT_EQ(model->devices().size(), 1u);
    EXPECT_EQ(model->devices()[0].deviceID, 9);
    EXPECT_EQ(spies.deviceStates.count(), 0);
    EXPECT_EQ(daemon.sessions(), 0);
}

TEST(AppModelTest, MoveFromUsbToWifiStartsRead) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    auto model = startModel(isolatedOptions(dir), 1);
    ASSERT_EQ(stateOf(*model, udidA)->info->connection, MuxDevice::Connection::usb);

    SimPhone wireless = phoneA();
    wireless.connection = "Network";
    daemon.serve({wireless});
    QSignalSpy reads(model.get(), &AppModel::readFinished);
    pollAndWait(*model);
    ASSERT_TRUE(waitUntil([&] { return reads.count() == 1; }));
    EXPECT_EQ(daemon.sessions(), 1);
    EXPECT_EQ(stateOf(*model, udidA)->info->connection, MuxDevice::Connection::network);

    pollAndWait(*model);
    settle();
    EXPECT_EQ(daemon.sessions(), 1) << "the same connection again";
}

TEST(AppModelTest, UnplugSelectedDeviceSelectsComputerAndReplugLoadsAfresh) {
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

    daemon.serve({phoneA()});
    std::optional<DeviceState> atPoll;
    QObject::connect(model.get(), &AppModel::pollApplied, model.get(), [&] {
        if (const DeviceState* state = stateOf(*model, udidA)) atPoll = *state;
    });
    QSignalSpy reads(model.get(), &AppModel::readFinished);
    pollAndWait(*model);
    ASSERT_TRUE(atPoll);
    EXPECT_EQ(atPoll->kind, DeviceState::Kind::loading);
    ASSERT_TRUE(waitUntil([&] { return reads.count() == 1; }));
    EXPECT_EQ(stateOf(*model, udidA)->kind, DeviceState::Kind::loaded);
    EXPECT_EQ(daemon.sessions(), 1);
}

TEST(AppModelTest, ConnectHelpFollowsTheFirstAttachedDevice) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({});
    auto model = startModel(isolatedOptions(dir));
    model->setSelection(Selection::connectHelp());
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::connectHelp()) << "nothing attached yet";

    daemon.serve({phoneB(), phoneA()});
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::device(udidA)) << "the first of the list, sorted by UDID";

    model->setSelection(Selection::history());
    pollAndWait(*model);
    EXPECT_EQ(model->selection(), Selection::history()) << "only the help panel follows";
}

TEST(AppModelTest, FailedPollEmptiesListAndNextSuccessShowsKeptStatesAtOnce) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    auto model = startModel(isolatedOptions(dir), 1);
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

    daemon.serve({phoneA()});
    std::optional<DeviceState> atPoll;
    QObject::connect(model.get(), &AppModel::pollApplied, model.get(), [&] {
        if (const DeviceState* state = stateOf(*model, udidA)) atPoll = *state;
    });
    ChangeSpies spies(*model);
    pollAndWait(*model);
    settle();
    EXPECT_EQ(model->usbmuxError(), std::nullopt);
    EXPECT_EQ(spies.usbmuxError.count(), 1);
    EXPECT_EQ(model->devices().size(), 1u);
    EXPECT_EQ(atPoll, loaded);
    EXPECT_EQ(spies.deviceStates.count(), 0);
    EXPECT_EQ(daemon.sessions(), 0) << "the kept state needs no new read";
}

TEST(AppModelTest, LoadTwiceStartsOneRead) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    auto model = startModel(isolatedOptions(dir), 1);
    const MuxDevice device = model->devices().at(0);

    QSignalSpy reads(model.get(), &AppModel::readFinished);
    model->load(device);
    model->load(device);
    model->reloadAllDevices();
    ASSERT_TRUE(waitUntil([&] { return reads.count() >= 1; }));
    settle();
    EXPECT_EQ(reads.count(), 1);
    EXPECT_EQ(daemon.sessions(), 2);

    model->reload(udidB);
    settle();
    EXPECT_EQ(daemon.sessions(), 2) << "a device that is not listed is not read";
}

TEST(AppModelTest, FailedReadsKeepOldDataWithErrorAndRecover) {
    TempDir dir;
    Daemon daemon;
    SimPhone phone = phoneA();
    const MuxDevice device{udidA, phone.deviceID, MuxDevice::Connection::usb};
    const auto serveAndReload = [&](AppModel& model, const SimPhone& served) {
        daemon.serve({served});
        QSignalSpy reads(&model, &AppModel::readFinished);
        model.reload(udidA);
        ASSERT_TRUE(waitUntil([&] { return reads.count() == 1; }));
    };

    phone.paired = false;
    daemon.serve({phone});
    const std::string unpaired = readError(device);
    auto model = startModel(isolatedOptions(dir), 1);
    EXPECT_EQ(*stateOf(*model, udidA), DeviceState::failed(unpaired)) << "a first read that fails";

    phone.paired = true;
    phone.name = "First Name";
    serveAndReload(*model, phone);
    const DeviceState* state = stateOf(*model, udidA);
    EXPECT_EQ(state->kind, DeviceState::Kind::loaded);
    EXPECT_EQ(state->info->name, "First Name");
    EXPECT_EQ(state->error, std::nullopt);
    const IOSDeviceInfo first = *state->info;

    phone.paired = false;
    serveAndReload(*model, phone);
    EXPECT_EQ(*stateOf(*model, udidA), DeviceState::loaded(first, unpaired)) << "the old data stay, with the error";

    phone.paired = true;
    phone.name = "Second Name";
    serveAndReload(*model, phone);
    state = stateOf(*model, udidA);
    EXPECT_EQ(state->kind, DeviceState::Kind::loaded);
    EXPECT_EQ(state->info->name, "Second Name");
    EXPECT_EQ(state->error, std::nullopt);
}

TEST(AppModelTest, ReadFinishingAfterItsDeviceVanishedIsDropped) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    const auto gate = std::make_shared<Gate>();
    AppModelOptions options = isolatedOptions(dir);
    options.readDevice = [gate](const MuxDevice& device) {
        IOSDeviceInfo info = IOSDeviceReader::read(device);
        gate->pass();
        return info;
    };
    auto model = startModel(options);
    struct Opener {
        std::shared_ptr<Gate> gate;
        ~Opener() { gate->open(); }  // never leave the model's worker waiting
    } opener{gate};
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

TEST(AppModelTest, PropertiesAreObservableThroughTheMetaObject) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({phoneA()});
    auto model = startModel(isolatedOptions(dir), 1);
    const QMetaObject& meta = *model->metaObject();

    struct Row {
        const char* name;
        const char* notify;  // nullptr: constant
    };
    const Row rows[] = {{"selection", "selectionChanged"},
                        {"macSystem", nullptr},
                        {"macBattery", "macBatteryChanged"},
                        {"lowPowerMode", "lowPowerModeChanged"},
                        {"devices", "devicesChanged"},
                        {"deviceStates", "deviceStatesChanged"},
                        {"historyGroups", "historyGroupsChanged"},
                        {"usbmuxError", "usbmuxErrorChanged"}};
    for (const Row& row : rows) {
        const int index = meta.indexOfProperty(row.name);
        ASSERT_GE(index, 0) << row.name;
        const QMetaProperty property = meta.property(index);
        EXPECT_TRUE(property.read(model.get()).isValid()) << row.name;
        if (row.notify) {
            EXPECT_EQ(property.notifySignal().name(), row.notify);
        } else {
            EXPECT_TRUE(property.isConstant()) << row.name;
        }
    }
    EXPECT_EQ(model->property("devices").value<std::vector<MuxDevice>>(), model->devices());
    EXPECT_EQ(model->property("deviceStates").value<DeviceStates>(), model->deviceStates());

    QSignalSpy selection(model.get(), &AppModel::selectionChanged);
    EXPECT_TRUE(model->setProperty("selection", QVariant::fromValue(Selection::history())));
    EXPECT_TRUE(model->setProperty("selection", QVariant::fromValue(Selection::history())));
    EXPECT_EQ(model->selection(), Selection::history());
    EXPECT_EQ(selection.count(), 1) << "only a real change notifies";
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
    options.macRefreshInterval = std::chrono::milliseconds(40);
    options.pollInterval = std::chrono::milliseconds(40);
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
