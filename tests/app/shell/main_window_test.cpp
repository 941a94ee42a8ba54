#include "shell/main_window.hpp"
#include "model/app_model.hpp"
#include "app_test_support.hpp"
#include "base/celvio_error.hpp"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

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
        return {
            .askExportLocation = [this](QWidget*) { return exportLocation; },
            .showAlert =
                [this](QWidget*, const QString& text) {
                    alerts << text;
                    cursorBusyAtAlert = cursorBusyAtAlert || QApplication::overrideCursor() != nullptr;
                },
            .showAbout = [this](QWidget*) { ++abouts; },
            .openUrl = [this](const QUrl& url) { opened << url; },
        };
    }
};

QMenu* menu(MainWindow& window, const QString& title) {
    for (QAction* action : window.menuBar()->actions()) {
        if (action->menu() && action->text() == title) return action->menu();
    }
    ADD_FAILURE() << "no menu " << title.toStdString();
    return nullptr;
}

QAction* action(MainWindow& window, const QString& menuTitle, const QString& text) {
    for (QAction* item : menu(window, menuTitle)->actions()) {
        if (item->text() == text) return item;
    }
    ADD_FAILURE() << "no item " << text.toStdString();
    return nullptr;
}

std::string readFile(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

/// A model with one recorded phone and the window over it.
struct Shell {
    explicit Shell(const std::vector<SimPhone>& phones = {{.udid = udidA, .serial = "SERIAL-A"}}) {
        daemon.serve(phones);
        model = startModel(isolatedOptions(dir), phones.size());
        window = std::make_unique<MainWindow>(*model, answers.dialogs());
    }
    TempDir dir;
    Daemon daemon;
    Answers answers;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<MainWindow> window;
};

TEST(MainWindowTest, MenusListTheCommandsWithTheirShortcuts) {
    Shell shell;
    struct Row {
        QString text;
        QKeySequence shortcut;
    };
    const std::vector<Row> battery = {
        {"Refresh", QKeySequence("Ctrl+R")},       {"", {}},
        {"This Computer", QKeySequence("Ctrl+1")}, {"First iPhone/iPad", QKeySequence("Ctrl+2")},
        {"History", QKeySequence("Ctrl+3")},       {"", {}},
        {"Import coconutBattery History", {}},     {QString::fromUtf8("Export History as CSV\u2026"), {}},
        {"", {}},                                  {QString::fromUtf8("Settings\u2026"), QKeySequence("Ctrl+,")},
    };
    const QList<QAction*> items = menu(*shell.window, "Battery")->actions();
    ASSERT_EQ(items.size(), static_cast<qsizetype>(battery.size()));
    for (std::size_t i = 0; i < battery.size(); ++i) {
        EXPECT_EQ(items[i]->isSeparator(), battery[i].text.isEmpty()) << i;
        EXPECT_EQ(items[i]->text(), battery[i].text) << i;
        EXPECT_EQ(items[i]->shortcut(), battery[i].shortcut) << battery[i].text.toStdString();
    }

    QStringList help;
    for (QAction* item : menu(*shell.window, "Help")->actions()) help << item->text();
    EXPECT_EQ(help, QStringList({"About Celvio", QString::fromUtf8("Buy Me a Coffee\u2026")}));
}

TEST(MainWindowTest, WindowHasTheFixedSizeAndClosingItQuits) {
    Shell shell;
    shell.window->show();
    EXPECT_EQ(shell.window->windowTitle(), "Celvio");
    EXPECT_EQ(shell.window->centralWidget()->size(), QSize(300, 553));
    EXPECT_EQ(shell.window->minimumSize(), shell.window->maximumSize()) << "not resizable";

    // Qt quits on the last window only from within its event loop.
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QApplication::quit();
    });
    guard.start(10000);
    QTimer::singleShot(0, shell.window.get(), &QWidget::close);
    QApplication::exec();
    EXPECT_FALSE(timedOut) << "closing the window quit the application";
}

TEST(MainWindowTest, ShortcutsSwitchPanels) {
    Shell shell({{.udid = udidB, .deviceID = 2, .serial = "B"}, {.udid = udidA, .deviceID = 1, .serial = "A"}});
    shell.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(shell.window.get()));

    struct Row {
        Qt::Key key;
        Selection expected;
    };
    for (const Row& row : {Row{Qt::Key_3, Selection::history()}, Row{Qt::Key_2, Selection::device(udidA)},
                           Row{Qt::Key_1, Selection::mac()}}) {
        QTest::keyClick(shell.window.get(), row.key, Qt::ControlModifier);
        EXPECT_EQ(shell.model->selection(), row.expected) << row.key;
    }
}

TEST(MainWindowTest, FirstDeviceIsEnabledOnlyWithDevices) {
    Shell shell(std::vector<SimPhone>{});
    QAction* first = action(*shell.window, "Battery", "First iPhone/iPad");
    EXPECT_FALSE(first->isEnabled());

    shell.daemon.serve({{.udid = udidB, .deviceID = 2, .serial = "B"}, {.udid = udidA, .deviceID = 1, .serial = "A"}});
    pollAndWait(*shell.model);
    EXPECT_TRUE(first->isEnabled());
    first->trigger();
    EXPECT_EQ(shell.model->selection(), Selection::device(udidA));

    shell.daemon.serve({});
    pollAndWait(*shell.model);
    EXPECT_FALSE(first->isEnabled());
}

TEST(MainWindowTest, RefreshReadsTheComputerPollsAndReloads) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({{.udid = udidA}});
    AppModelOptions options = isolatedOptions(dir);
    options.systemRoot = dir / "system";
    std::filesystem::copy(appDataDir() / "laptop", options.systemRoot, std::filesystem::copy_options::recursive);
    auto model = startModel(options, 1);
    Answers answers;
    MainWindow window(*model, answers.dialogs());
    ASSERT_EQ(model->macBattery()->cycleCount, 120);

    std::ofstream(options.systemRoot / "sys/class/power_supply/BAT0/cycle_count") << "121\n";
    QSignalSpy polls(model.get(), &AppModel::pollApplied);
    QSignalSpy reads(model.get(), &AppModel::readFinished);
    action(window, "Battery", "Refresh")->trigger();
    EXPECT_EQ(model->macBattery()->cycleCount, 121) << "the computer at once";
    EXPECT_TRUE(waitUntil([&] { return polls.count() == 1 && reads.count() == 1; }));
    EXPECT_EQ(daemon.sessions(), 2);
}

TEST(MainWindowTest, ImportIsEnabledOnlyWhileTheDatabaseExists) {
    Shell shell;
    QMenu* battery = menu(*shell.window, "Battery");
    QAction* import = action(*shell.window, "Battery", "Import coconutBattery History");
    EXPECT_FALSE(import->isEnabled());

    writeCoconutDatabase(shell.dir / "coconut" / "history.sqlite", {{.date = 700000000, .serial = "OLD"}});
    battery->popup(QPoint(0, 0));
    battery->hide();
    EXPECT_TRUE(import->isEnabled()) << "checked again when the menu opens";
}

TEST(MainWindowTest, ImportTwiceFindsNothingNewTheSecondTime) {
    Shell shell;
    writeCoconutDatabase(shell.dir / "coconut" / "history.sqlite",
                         {{.date = 700000000, .serial = "OLD"}, {.date = 700086400, .serial = "OLD"}});
    QSignalSpy groups(shell.model.get(), &AppModel::historyGroupsChanged);
    shell.window->importCoconut();
    shell.window->importCoconut();
    EXPECT_EQ(shell.answers.alerts, QStringList({"Imported 2 entries from coconutBattery.",
                                                 "No new entries found in the coconutBattery history."}));
    EXPECT_EQ(groups.count(), 1);
    EXPECT_TRUE(shell.model->historyForSerial("OLD"));
    EXPECT_FALSE(shell.answers.cursorBusyAtAlert);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MainWindowTest, ImportFailureShowsTheReason) {
    Shell shell;
    writeCoconutDatabase(shell.dir / "coconut" / "history.sqlite", {{.date = 700000000, .serial = "OLD"}}, false);
    QSignalSpy groups(shell.model.get(), &AppModel::historyGroupsChanged);
    shell.window->importCoconut();
    const std::string reason = CelvioError::diagnostics("Unsupported coconutBattery database format").description();
    EXPECT_EQ(shell.answers.alerts, QStringList({"Import failed: " + QString::fromStdString(reason)}));
    EXPECT_EQ(groups.count(), 0);
}

TEST(MainWindowTest, ExportWritesTheHistoryAsCSV) {
    Shell shell;
    const auto target = shell.dir / "Celvio History.csv";
    shell.answers.exportLocation = qstr(target);
    action(*shell.window, "Battery", QString::fromUtf8("Export History as CSV\u2026"))->trigger();
    EXPECT_TRUE(shell.answers.alerts.isEmpty());
    const std::string csv = readFile(target);
    EXPECT_EQ(csv, HistoryStore(shell.dir / "history.json").csv());
    EXPECT_NE(csv.find(";SERIAL-A;"), std::string::npos) << csv;
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MainWindowTest, ExportToAnUnwritableLocationShowsTheSystemsReason) {
    Shell shell;
    const auto target = shell.dir / "no-such-folder" / "Celvio History.csv";
    shell.answers.exportLocation = qstr(target);
    shell.window->exportCSV();
    EXPECT_EQ(shell.answers.alerts, QStringList({"Export failed: " + QString::fromLocal8Bit(std::strerror(ENOENT))}));
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_FALSE(shell.answers.cursorBusyAtAlert);
}

TEST(MainWindowTest, CancelledExportShowsNothing) {
    Shell shell;
    shell.answers.exportLocation.clear();
    shell.window->exportCSV();
    EXPECT_TRUE(shell.answers.alerts.isEmpty());
}

TEST(MainWindowTest, HelpMenuShowsAboutAndOpensTheSupportPage) {
    Shell shell;
    action(*shell.window, "Help", "About Celvio")->trigger();
    action(*shell.window, "Help", QString::fromUtf8("Buy Me a Coffee\u2026"))->trigger();
    EXPECT_EQ(shell.answers.abouts, 1);
    ASSERT_EQ(shell.answers.opened, QList<QUrl>({supportURL()}));
    EXPECT_TRUE(supportURL().isValid());
    EXPECT_FALSE(supportURL().isRelative());
}

TEST(MainWindowTest, ExportDialogProposesTheNameForCSVFiles) {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    configureExportDialog(dialog);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.nameFilters(), QStringList({"CSV files (*.csv)"}));
    EXPECT_EQ(dialog.defaultSuffix(), "csv");
    ASSERT_FALSE(dialog.selectedFiles().isEmpty());
    EXPECT_TRUE(dialog.selectedFiles().constFirst().endsWith("/Celvio History.csv"));
}

}  // namespace
}  // namespace celvio::test
