#include "care/care_controller.hpp"
#include "care/care_settings.hpp"
#include "care/settings_window.hpp"
#include "care/tray_icon.hpp"
#include "app_test_support.hpp"
#include "history/history_store.hpp"
#include "history_test_support.hpp"
#include "shell/app_shell.hpp"
#include "shell/main_window.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <fstream>

namespace celvio::test {
namespace {

const std::string udid = "00008120-00000000000000AA";

/// A private session bus: dbus-daemon with a configuration of its own (no activation of
/// the machine's services), ended with this object on every path.
class PrivateBus {
public:
    PrivateBus() {
        std::ofstream(dir_ / "bus.conf") << "<busconfig><type>session</type><listen>unix:dir=" << dir_.path().string()
                                         << "</listen><policy context=\"default\"><allow send_destination=\"*\" "
                                            "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                            "</policy></busconfig>";
        daemon_.start("dbus-daemon", {"--config-file=" + qstr(dir_ / "bus.conf"), "--print-address", "--nofork"});
        if (daemon_.waitForStarted() && daemon_.waitForReadyRead(10'000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished();
    }

    const QString& address() const { return address_; }
    /// A new connection of its own to the bus.
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    TempDir dir_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

/// org.freedesktop.Notifications as a test sees it: it keeps what it was sent and answers
/// with an id.
class FakeNotifications : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != "Notify") return false;
        const auto arguments = message.arguments();
        summaries << arguments.value(3).toString();
        bodies << arguments.value(4).toString();
        connection.send(message.createReply(QVariant::fromValue(static_cast<uint>(summaries.size()))));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    QStringList summaries;
    QStringList bodies;
};

/// The recorded laptop, charging or not at `percent`.
void setCharge(const std::filesystem::path& root, int percent, bool charging) {
    setSupplyAttribute(root, "BAT0/status", charging ? "Charging" : "Discharging");
    setSupplyAttribute(root, "BAT0/capacity", std::to_string(percent));
    setSupplyAttribute(root, "BAT0/charge_now", std::to_string(percent * 45'000));
}

/// The visible widget or action of type W in `parent` whose text starts with `start`.
template <typename W>
W* shown(const QWidget& parent, const QString& start) {
    for (W* item : parent.findChildren<W*>())
        if (item->isVisible() && item->text().startsWith(start)) return item;
    return nullptr;
}

/// A simulator serving nothing yet, and a folder for every file of the test.
class CareTest : public ::testing::Test {
protected:
    CareTest() { daemon.serve({}); }
    TempDir dir;
    Daemon daemon;
};

/// Never the machine's session bus.
CareOptions careOptions(bool background, bool tray, QDBusConnection bus = QDBusConnection(QString())) {
    return {.background = background, .trayAvailable = tray, .bus = std::move(bus)};
}

TEST_F(CareTest, TrayShowsEachBatteryAndItsMenuTheDevices) {
    daemon.serve({{.udid = udid, .name = "Alex's iPhone", .fullChargeCapacity = 2950, .designCapacity = 3200}});
    AppModelOptions options = isolatedOptions(dir);
    options.systemRoot = copyLaptop(dir);
    auto model = startModel(options, 1);
    CareSettings settings(qstr(dir / "care.ini"));
    ScopedLocale english;

    // Background, keep in tray, tray available: in the tray, so closing the window does not quit.
    const std::array<bool, 4> rows[] = {{false, false, true, false}, {false, true, true, true},
                                        {true, false, true, true},   {true, true, false, false},
                                        {false, true, false, false}};
    for (const auto [background, keep, available, inTray] : rows) {
        settings.setKeepInTray(keep);
        CareController care(*model, settings, careOptions(background, available));
        EXPECT_EQ(care.inTray(), inTray) << background << keep << available;
        EXPECT_EQ(QApplication::quitOnLastWindowClosed(), !inTray);
    }
    QApplication::setQuitOnLastWindowClosed(true);

    CareController care(*model, settings, careOptions(false, true));
    ASSERT_TRUE(care.tray());
    const QString computer = QString::fromStdString(model->macSystem().computerName);
    EXPECT_EQ(care.tray()->toolTip(), QString::fromUtf8("Celvio\n%1: 80 % \u00b7 health 90 %\n"
                                                        "Alex's iPhone: 50 % \u00b7 health 92 %")
                                          .arg(computer));
    QStringList menu;
    for (const QAction* action : care.tray()->menu().actions())
        if (!action->isSeparator()) menu << action->text();
    EXPECT_EQ(menu, (QStringList{"Open Celvio", computer, "Alex's iPhone", "Quit Celvio"}));

    int opened = 0;
    QObject::connect(&care, &CareController::openRequested, [&] { ++opened; });
    care.tray()->menu().actions().at(3)->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(model->selection(), Selection::device(udid)) << "the chosen device is shown";
}

TEST_F(CareTest, StartAtLoginWritesAndRemovesTheAutostartEntry) {
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").string());
    auto model = startModel(isolatedOptions(dir));
    CareSettings settings(qstr(dir / "care.ini"));
    CareController care(*model, settings, careOptions(false, false));
    care.showSettings();
    SettingsWindow* window = care.settingsWindow();
    ASSERT_TRUE(window);
    QCheckBox* login = shown<QCheckBox>(*window, "Start at login");
    QCheckBox* tray = shown<QCheckBox>(*window, "Keep running in the tray");
    ASSERT_TRUE(login && tray);
    EXPECT_FALSE(tray->isEnabled()) << "no tray on this desktop";

    const auto entry = dir / "config" / "autostart" / "celvio.desktop";
    login->click();
    EXPECT_NE(readText(entry).find("\nExec=celvio --background\n"), std::string::npos) << readText(entry);
    EXPECT_TRUE(login->isChecked());
    login->click();
    EXPECT_FALSE(std::filesystem::exists(entry) || login->isChecked());

    // The folder cannot be made: the box stays off and says why.
    std::filesystem::remove_all(dir / "config");
    writeText(dir / "config", "a file");
    login->click();
    EXPECT_FALSE(login->isChecked());
    EXPECT_TRUE(shown<QLabel>(*window, "The login entry could not be changed: Not a directory"));
}

TEST_F(CareTest, BackgroundStartRecordsWithoutAWindow) {
    daemon.serve({{.udid = udid, .serial = "BACKGROUND"}});
    {
        // In this process: no window is made until one is asked for.
        auto model = startModel(isolatedOptions(dir), 1);
        CareSettings settings(qstr(dir / "care.ini"));
        AppShell shell(*model, settings, careOptions(true, true));
        EXPECT_EQ(shell.window(), nullptr);
        shell.openWindow();
        ASSERT_TRUE(shell.window() && shell.window()->isVisible());
        shown<QAction>(*shell.window(), QString::fromUtf8("&Settings\u2026"))->trigger();
        ASSERT_TRUE(shell.care().settingsWindow() && shell.care().settingsWindow()->isVisible());
        // Closing the window leaves the application running: the tray's table above.
    }
    QApplication::setQuitOnLastWindowClosed(true);

    // The program itself, started the way the login entry starts it.
    QProcess app;
    app.setProcessEnvironment(isolatedEnvironment(dir.path()));
    app.start(CELVIO_APP, {"--background"});
    ASSERT_TRUE(app.waitForStarted());
    const auto file = dir / "data" / "Celvio" / "history.json";
    EXPECT_TRUE(waitUntil([&] {
        if (!std::filesystem::exists(file)) return false;
        for (const HistoryEntry& entry : HistoryStore::read(file))
            if (entry.deviceSerial == "BACKGROUND") return true;
        return false;
    })) << "the simulated device is recorded";
    EXPECT_EQ(app.state(), QProcess::Running);
    endProcess(app);
}

TEST_F(CareTest, RemindersGoToTheNotificationServiceOncePerCrossing) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon started";
    QDBusConnection serviceSide = bus.connect("celvio-test-service");
    FakeNotifications service;
    ASSERT_TRUE(serviceSide.registerVirtualObject("/org/freedesktop/Notifications", &service));
    ASSERT_TRUE(serviceSide.registerService("org.freedesktop.Notifications"));

    // A phone recorded a month ago at 90 %, read now at 78 %.
    AppModelOptions options = isolatedOptions(dir);
    options.systemRoot = copyLaptop(dir);
    const auto monthAgo = HistoryEntry::Date(std::chrono::system_clock::now()) - std::chrono::days(30);
    HistoryStore(*options.historyFile).record(phoneEntry("WEARING", monthAgo));
    setCharge(options.systemRoot, 78, true);
    auto model = startModel(options);
    CareSettings settings(qstr(dir / "care.ini"));
    settings.setChargeReminders(true);
    settings.setHealthReminder(true);
    CareController care(*model, settings, careOptions(false, true, bus.connect("celvio-test-app")));
    QStringList fallbacks;
    care.notifier().setFallback([&](const QString& title, const QString&) { fallbacks << title; });
    const QString computer = QString::fromStdString(model->macSystem().computerName);
    ScopedLocale english;

    // Which readings cross a threshold is the core's; here: each crossing reaches the service.
    for (const auto& [percent, charging] : {std::pair(80, true), {79, true}, {21, false}, {20, false}, {19, false}}) {
        setCharge(options.systemRoot, percent, charging);
        model->refreshMac();
    }
    daemon.serve({{.udid = udid, .name = "Alex's iPhone", .serial = "WEARING", .fullChargeCapacity = 2500}});
    pollAndWait(*model);
    ASSERT_TRUE(waitUntil([&] { return service.summaries.size() >= 3; }));
    QSignalSpy reads(model.get(), &AppModel::readFinished);
    model->reload(udid);
    ASSERT_TRUE(waitUntil([&] { return reads.count() == 1; }));
    QTest::qWait(200);
    EXPECT_EQ(service.summaries, QStringList({computer + " is charged to 80 %", computer + " is down to 20 %",
                                              "Alex's iPhone: battery health below 80 %"}))
        << "the fall below 80 % told once";
    EXPECT_TRUE(service.bodies[2].startsWith("Health 78.1 %")) << service.bodies[2].toStdString();

    // Nobody owns the name: the tray's message instead.
    setCharge(options.systemRoot, 21, true);
    model->refreshMac();
    ASSERT_TRUE(serviceSide.unregisterService("org.freedesktop.Notifications"));
    setCharge(options.systemRoot, 20, false);
    model->refreshMac();
    EXPECT_TRUE(waitUntil([&] { return !fallbacks.isEmpty(); }));
    EXPECT_EQ(fallbacks, QStringList{computer + " is down to 20 %"});
    EXPECT_EQ(service.summaries.size(), 3);
    serviceSide.unregisterObject("/org/freedesktop/Notifications");
}

}  // namespace
}  // namespace celvio::test
