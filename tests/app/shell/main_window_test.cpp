#include "shell/main_window.hpp"
#include "app_test_support.hpp"
#include "base/celvio_error.hpp"
#include "history_test_support.hpp"
#include "panels/raw_values_sheet.hpp"
#include "widgets/device_strip.hpp"
#include "widgets/segment_bar.hpp"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace celvio::test {
namespace {

const std::string udidA = "00008120-00000000000000AA";
const std::string udidB = "00008120-00000000000000BB";

/// What the test answers to the dialogs, and what the window showed.
struct Answers {
    QString exportLocation;
    QStringList alerts;
    bool cursorBusyAtAlert = false;
    int abouts = 0;
    QList<QUrl> opened;

    ShellDialogs dialogs() {
        return {.askExportLocation = [this](QWidget*) { return exportLocation; },
                .showAlert =
                    [this](QWidget*, const QString& text) {
                        alerts << text;
                        cursorBusyAtAlert = cursorBusyAtAlert || QApplication::overrideCursor() != nullptr;
                    },
                .showAbout = [this](QWidget*) { ++abouts; },
                .openUrl = [this](const QUrl& url) { opened << url; }};
    }
};

/// The text without its access key mark.
QString plain(const QAction* action) { return QString(action->text()).remove('&'); }

QMenu* menu(MainWindow& window, const QString& title) {
    for (QAction* action : window.menuBar()->actions())
        if (action->menu() && plain(action) == title) return action->menu();
    ADD_FAILURE() << "no menu " << title.toStdString();
    return nullptr;
}

QAction* action(MainWindow& window, const QString& menuTitle, const QString& text) {
    for (QAction* item : menu(window, menuTitle)->actions())
        if (plain(item) == text) return item;
    ADD_FAILURE() << "no item " << text.toStdString();
    return nullptr;
}

/// A model over these phones and the recorded laptop, and the window over it.
struct Shell {
    explicit Shell(const std::vector<SimPhone>& phones = {{.udid = udidA, .serial = "SERIAL-A"}}) {
        daemon.serve(phones);
        AppModelOptions options = isolatedOptions(dir);
        options.systemRoot = system = copyLaptop(dir);
        model = startModel(options, phones.size());
        window = std::make_unique<MainWindow>(*model, answers.dialogs());
    }
    TempDir dir;
    Daemon daemon;
    Answers answers;
    std::filesystem::path system;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<MainWindow> window;
};

/// Presses `key` where a keyboard's press goes: an open menu, the focused widget, the active window.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QWidget* target = QApplication::activePopupWidget();
    if (!target) target = QApplication::focusWidget();
    QTest::keyClick(target ? target : QApplication::activeWindow(), key, modifiers);
    QApplication::processEvents();
}

/// Presses Tab until the focused widget is `wanted`; false when forty presses never reach it.
bool tabTo(const std::function<bool(const QWidget&)>& wanted) {
    for (int i = 0; i < 40; ++i) {
        press(Qt::Key_Tab);
        if (QApplication::focusWidget() && wanted(*QApplication::focusWidget())) return true;
    }
    return false;
}

std::function<bool(const QWidget&)> named(const char* name) {
    return [name](const QWidget& widget) { return widget.objectName() == name; };
}

bool isStrip(const QWidget& widget) { return qobject_cast<const DeviceStrip*>(&widget) != nullptr; }

TEST(MainWindowTest, AWholeUseByKeyboardAlone) {
    Shell shell({{.udid = udidA, .name = "Alex's iPhone", .serial = "SERIAL-A"},
                 {.udid = udidB, .deviceID = 2, .name = "Kitchen iPad", .serial = "SERIAL-B"}});
    AppModel& model = *shell.model;
    shell.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(shell.window.get()));
    const auto history = [&] { return HistoryStore::read(shell.dir / "history.json"); };
    ASSERT_EQ(history().size(), 3u) << "the computer and both devices";

    // The second device: in the strip, two to the right of the computer.
    ASSERT_TRUE(tabTo(isStrip));
    for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Return}) press(key);
    EXPECT_EQ(model.selection(), Selection::device(udidB));

    ASSERT_TRUE(tabTo([](const QWidget& widget) { return qobject_cast<SegmentBar*>(widget.parentWidget()); }));
    for (const auto& [key, segment] : {std::pair(Qt::Key_Right, PanelSegment::history),
                                       {Qt::Key_Right, PanelSegment::details}, {Qt::Key_Left, PanelSegment::history}}) {
        press(key);
        EXPECT_EQ(model.panelSegment(), segment);
    }
    ASSERT_TRUE(tabTo(named("refresh")));
    press(Qt::Key_Return);
    EXPECT_TRUE(waitUntil([&] { return shell.daemon.sessions() == 3; })) << "the device read again";

    ASSERT_TRUE(tabTo(named("rawValues")));
    press(Qt::Key_Space);
    const QPointer<RawValuesSheet> sheet = shell.window->findChild<RawValuesSheet*>();
    ASSERT_TRUE(sheet && waitUntil([&] { return sheet->isActiveWindow(); }));
    EXPECT_TRUE(sheet->shownKeys().contains("CycleCount"));
    press(Qt::Key_Escape);
    EXPECT_TRUE(!sheet || sheet->isHidden());
    // A window manager activates the window again; the offscreen platform leaves that to us.
    shell.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(shell.window.get()));
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "rawValues") << "the focus back where it was";

    ASSERT_TRUE(tabTo(isStrip));
    for (const Qt::Key key : {Qt::Key_End, Qt::Key_Space}) press(key);
    EXPECT_EQ(model.selection(), Selection::history());

    // Open the first block, delete its measurement, take the deletion back.
    ASSERT_TRUE(tabTo(named("historyBlock")));
    const QString serial = QApplication::focusWidget()->property("serial").toString();
    press(Qt::Key_Space);
    ASSERT_TRUE(tabTo(named("measurementRow")));
    press(Qt::Key_Delete);
    EXPECT_EQ(history().size(), 2u);
    EXPECT_FALSE(model.historyForSerial(serial.toStdString()));
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(history().size(), 3u);
    EXPECT_TRUE(model.historyForSerial(serial.toStdString()));

    shell.answers.exportLocation = qstr(shell.dir / "export.csv");
    ASSERT_TRUE(tabTo(named("exportHistory")));
    press(Qt::Key_Space);
    EXPECT_EQ(readText(shell.dir / "export.csv"), HistoryStore(shell.dir / "history.json").csv());
    EXPECT_TRUE(shell.answers.alerts.isEmpty());

    for (const auto& [key, selection] : {std::pair(Qt::Key_1, Selection::mac()), {Qt::Key_2, Selection::device(udidA)},
                                         {Qt::Key_3, Selection::history()}}) {
        press(key, Qt::ControlModifier);
        EXPECT_EQ(model.selection(), selection) << key;
    }

    // The menus: each item its own access key; F10 and Alt+H open them.
    const auto expectOwnKeys = [](const QList<QAction*>& actions) {
        QSet<QString> keys;
        for (const QAction* action : actions) keys.insert(QKeySequence::mnemonic(action->text()).toString());
        keys.remove("");
        EXPECT_EQ(keys.size(), std::ranges::count_if(actions, [](QAction* a) { return !a->isSeparator(); }));
    };
    expectOwnKeys(shell.window->menuBar()->actions());
    for (QAction* bar : shell.window->menuBar()->actions()) expectOwnKeys(bar->menu()->actions());
    for (const auto& [key, modifier, title] :
         {std::tuple(Qt::Key_F10, Qt::NoModifier, "Battery"), {Qt::Key_H, Qt::AltModifier, "Help"}}) {
        press(key, modifier);
        EXPECT_TRUE(waitUntil([&] { return menu(*shell.window, title)->isVisible(); }, std::chrono::seconds(2))) << title;
        press(Qt::Key_Escape);
        EXPECT_FALSE(menu(*shell.window, title)->isVisible()) << title;
    }
}

TEST(MainWindowTest, FixedSizeWindowWhoseClosingQuits) {
    Shell shell;
    shell.window->show();
    EXPECT_EQ(shell.window->minimumSize(), shell.window->maximumSize()) << "not resizable";
    EXPECT_TRUE(shell.window->windowIcon().availableSizes().contains(QSize(128, 128))) << "the packaged icon";

    // Qt quits on the last window only from within its event loop.
    bool timedOut = false;
    QTimer::singleShot(10000, qApp, [&] {
        timedOut = true;
        QApplication::quit();
    });
    QTimer::singleShot(0, shell.window.get(), &QWidget::close);
    QApplication::exec();
    EXPECT_FALSE(timedOut) << "closing the window quit the application";
}

TEST(MainWindowTest, ShowsBeforeTheHistoryArrivesAndRecordsWhatWasMeasuredMeanwhile) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({{.udid = udidA, .serial = "SERIAL-A"}});
    AppModelOptions options = isolatedOptions(dir);
    options.systemRoot = copyLaptop(dir);
    HistoryStore(options.historyFile).record(phoneEntry("OLD", utc("2025-03-01T10:00:00Z")));
    Gate gate;
    options.openHistory = [&gate, file = options.historyFile] {
        gate.wait();
        return std::make_unique<HistoryStore>(file);
    };
    AppModel model(options);
    const auto opener = gate.openOnExit();
    QSignalSpy reads(&model, &AppModel::readFinished);
    MainWindow window(model, Answers().dialogs());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(waitUntil([&] { return reads.count() == 1; }));
    setSupplyAttribute(options.systemRoot, "BAT0/charge_full", "4400000");
    model.refreshMac();
    EXPECT_FALSE(model.historyArrived());
    EXPECT_TRUE(model.historyGroups().empty());

    gate.open();
    ASSERT_TRUE(waitUntil([&] { return model.historyArrived(); }));
    std::multiset<std::string> serials;
    for (const HistoryEntry& entry : HistoryStore::read(*options.historyFile)) serials.insert(entry.deviceSerial);
    EXPECT_EQ(serials, (std::multiset<std::string>{"20XW0055GE", "OLD", "SERIAL-A"})) << "one entry a device and day";
    EXPECT_EQ(model.historyForSerial("20XW0055GE")->entries.at(0).fullChargeCapacity, 4400) << "the newest";
    EXPECT_EQ(model.historyGroups().size(), 3u);
}

TEST(MainWindowTest, FirstDeviceNeedsADeviceAndTheHelpMenuOpensItsPages) {
    Shell shell(std::vector<SimPhone>{});
    action(*shell.window, "Help", "About Celvio")->trigger();
    action(*shell.window, "Help", QString::fromUtf8("Buy Me a Coffee\u2026"))->trigger();
    EXPECT_EQ(shell.answers.abouts, 1);
    EXPECT_EQ(shell.answers.opened, QList<QUrl>({supportURL()}));
    QAction* first = action(*shell.window, "Battery", "First iPhone/iPad");
    EXPECT_FALSE(first->isEnabled());
    shell.daemon.serve({{.udid = udidA}});
    pollAndWait(*shell.model);
    EXPECT_TRUE(first->isEnabled());
    shell.daemon.serve({});
    pollAndWait(*shell.model);
    EXPECT_FALSE(first->isEnabled());
}

TEST(MainWindowTest, RefreshReadsTheComputerPollsAndReloads) {
    Shell shell;
    ASSERT_EQ(shell.model->macBattery()->cycleCount, 120);
    setSupplyAttribute(shell.system, "BAT0/cycle_count", "121");
    QSignalSpy polls(shell.model.get(), &AppModel::pollApplied);
    QSignalSpy reads(shell.model.get(), &AppModel::readFinished);
    action(*shell.window, "Battery", "Refresh")->trigger();
    EXPECT_EQ(shell.model->macBattery()->cycleCount, 121) << "the computer at once";
    EXPECT_TRUE(waitUntil([&] { return polls.count() == 1 && reads.count() == 1; }));
    EXPECT_EQ(shell.daemon.sessions(), 2);
}

TEST(MainWindowTest, ImportIsOfferedWhileTheDatabaseExistsAndTellsWhatItFound) {
    Shell shell;
    QAction* import = action(*shell.window, "Battery", "Import coconutBattery History");
    EXPECT_FALSE(import->isEnabled());
    const auto database = shell.dir / "coconut" / "history.sqlite";
    writeCoconutDatabase(database, {{.date = 700000000, .serial = "OLD"}}, false);
    menu(*shell.window, "Battery")->popup(QPoint(0, 0));
    menu(*shell.window, "Battery")->hide();
    EXPECT_TRUE(import->isEnabled()) << "checked again when the menu opens";

    QSignalSpy groups(shell.model.get(), &AppModel::historyGroupsChanged);
    import->trigger();
    const std::string reason = CelvioError::diagnostics("Unsupported coconutBattery database format").description();
    EXPECT_EQ(shell.answers.alerts, QStringList({"Import failed: " + QString::fromStdString(reason)}));

    std::filesystem::remove(database);
    writeCoconutDatabase(database, {{.date = 700000000, .serial = "OLD"}, {.date = 700086400, .serial = "OLD"}});
    shell.window->importCoconut();
    shell.window->importCoconut();
    EXPECT_EQ(shell.answers.alerts.mid(1), QStringList({"Imported 2 entries from coconutBattery.",
                                                        "No new entries found in the coconutBattery history."}));
    EXPECT_EQ(groups.count(), 1);
    EXPECT_TRUE(shell.model->historyForSerial("OLD"));
    EXPECT_FALSE(shell.answers.cursorBusyAtAlert);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MainWindowTest, ExportTellsTheSystemsReasonOrNothingWhenCancelled) {
    Shell shell;
    const auto target = shell.dir / "no-such-folder" / "Celvio History.csv";
    for (const auto& [location, alerts] :
         {std::pair(qstr(target), QStringList{"Export failed: " + QString::fromLocal8Bit(std::strerror(ENOENT))}),
          {QString(), QStringList{}}}) {
        shell.answers.alerts.clear();
        shell.answers.exportLocation = location;
        action(*shell.window, "Battery", QString::fromUtf8("Export History as CSV\u2026"))->trigger();
        EXPECT_EQ(shell.answers.alerts, alerts) << location.toStdString();
        EXPECT_FALSE(shell.answers.cursorBusyAtAlert);
    }
    EXPECT_FALSE(std::filesystem::exists(target));
}

}  // namespace
}  // namespace celvio::test
