#include "shell/main_window.hpp"

#include "celvio_version.hpp"
#include "model/app_model.hpp"
#include "platform/host_words.hpp"
#include "shell/root_view.hpp"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>

namespace celvio {

namespace {

/// The wait cursor while the main thread is busy with a file.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

void configureExportDialog(QFileDialog& dialog) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter("CSV files (*.csv)");
    dialog.setDefaultSuffix("csv");
    dialog.setDirectory(QDir::homePath());
    dialog.selectFile("Celvio History.csv");
}

ShellDialogs systemDialogs() {
    return {
        .askExportLocation =
            [](QWidget* parent) {
                QFileDialog dialog(parent, "Export History as CSV");
                configureExportDialog(dialog);
                if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
                return dialog.selectedFiles().constFirst();
            },
        .showAlert =
            [](QWidget* parent, const QString& text) {
                QMessageBox box(parent);
                box.setWindowTitle("Celvio");
                box.setText("Celvio");
                box.setInformativeText(text);
                box.exec();
            },
        .showAbout =
            [](QWidget* parent) {
                QMessageBox::about(parent, "About Celvio", aboutText());
            },
        .openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); },
    };
}

QString aboutText() {
    return QString("Celvio ") + kVersion + "\n\nBattery health of this computer and of attached iPhones and iPads.";
}

QUrl supportURL() { return QUrl("https://www.buymeacoffee.com/celvio"); }

MainWindow::MainWindow(AppModel& model, ShellDialogs dialogs, QWidget* parent)
    : QMainWindow(parent), model_(model), dialogs_(std::move(dialogs)) {
    setWindowTitle("Celvio");
    setWindowIcon(QIcon(":/celvio.png"));
    setObjectName("main");
    auto* content = new RootView(model_, this);
    connect(content, &RootView::supportRequested, this, [this] { dialogs_.openUrl(supportURL()); });
    connect(content, &RootView::exportRequested, this, &MainWindow::exportCSV);
    connect(content, &RootView::importRequested, this, &MainWindow::importCoconut);
    setCentralWidget(content);
    buildMenus();
    // The window follows its content's fixed size and cannot be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::buildMenus() {
    // Access keys: "&" marks the letter Alt (or the open menu) takes.
    QMenu* battery = menuBar()->addMenu("&Battery");

    QAction* refresh = battery->addAction("&Refresh");
    refresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(refresh, &QAction::triggered, this, [this] {
        model_.refreshMac();
        model_.pollDevices();
        model_.reloadAllDevices();
    });
    battery->addSeparator();

    QAction* thisHost = battery->addAction(
        "&" + QString::fromUtf8(hostWords().thisHost.data(), static_cast<qsizetype>(hostWords().thisHost.size()))
                  .replace("&", "&&"));
    thisHost->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    connect(thisHost, &QAction::triggered, this, [this] { model_.setSelection(Selection::mac()); });

    firstDevice_ = battery->addAction("&First iPhone/iPad");
    firstDevice_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    connect(firstDevice_, &QAction::triggered, this, [this] {
        if (!model_.devices().empty()) model_.setSelection(Selection::device(model_.devices().front().udid));
    });
    connect(&model_, &AppModel::devicesChanged, this, &MainWindow::updateDeviceCommand);
    updateDeviceCommand();

    QAction* history = battery->addAction("&History");
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_3));
    connect(history, &QAction::triggered, this, [this] { model_.setSelection(Selection::history()); });
    battery->addSeparator();

    importCoconut_ = battery->addAction("&Import coconutBattery History");
    connect(importCoconut_, &QAction::triggered, this, &MainWindow::importCoconut);
    // Checked whenever the menu opens, so a database that appears or goes away later counts.
    connect(battery, &QMenu::aboutToShow, this, &MainWindow::updateImportCommand);
    updateImportCommand();

    QAction* exportCSV = battery->addAction(QString::fromUtf8("&Export History as CSV\u2026"));
    connect(exportCSV, &QAction::triggered, this, &MainWindow::exportCSV);
    battery->addSeparator();

    QAction* settings = battery->addAction(QString::fromUtf8("&Settings\u2026"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);
    connect(settings, &QAction::triggered, this, &MainWindow::settingsRequested);

    QMenu* help = menuBar()->addMenu("&Help");
    QAction* about = help->addAction("&About Celvio");
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this] { dialogs_.showAbout(this); });
    QAction* coffee = help->addAction(QString::fromUtf8("&Buy Me a Coffee\u2026"));
    connect(coffee, &QAction::triggered, this, [this] { dialogs_.openUrl(supportURL()); });

    // F10 opens the menu bar, as across the Linux desktops.
    connect(new QShortcut(Qt::Key_F10, this), &QShortcut::activated, this, [this] {
        menuBar()->setActiveAction(menuBar()->actions().constFirst());
    });
}

void MainWindow::updateDeviceCommand() { firstDevice_->setEnabled(!model_.devices().empty()); }

void MainWindow::updateImportCommand() { importCoconut_->setEnabled(model_.coconutAvailable()); }

void MainWindow::exportCSV() {
    const QString path = dialogs_.askExportLocation(this);
    if (path.isEmpty()) return;
    std::optional<QString> failure;
    {
        BusyCursor busy;
        failure = model_.exportCSV(path);
    }
    if (failure) dialogs_.showAlert(this, *failure);
}

void MainWindow::importCoconut() {
    QString text;
    {
        BusyCursor busy;
        text = model_.importCoconut();
    }
    dialogs_.showAlert(this, text);
}

void MainWindow::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

}  // namespace celvio
