#pragma once

#include <QMainWindow>
#include <QString>
#include <QUrl>

#include <functional>

class QAction;
class QFileDialog;

namespace celvio {

class AppModel;

/// The modal dialogs and the browser hand-off the shell uses, replaceable so a test can
/// answer them.
struct ShellDialogs {
    /// Asks where to save the CSV export; an empty text when the user cancelled.
    std::function<QString(QWidget* parent)> askExportLocation;
    /// A modal alert with the message text "Celvio" and `text` as informative text.
    std::function<void(QWidget* parent, const QString& text)> showAlert;
    /// The "About Celvio" box.
    std::function<void(QWidget* parent)> showAbout;
    /// Hands an address to the default browser without waiting for it.
    std::function<void(const QUrl& url)> openUrl;
};

/// The platform's dialogs, the desktop's browser.
ShellDialogs systemDialogs();

/// The save dialog of the export: CSV files only, proposing "Celvio History.csv" in the
/// home folder. Owned by the caller.
void configureExportDialog(QFileDialog& dialog);

/// The support (donation) page that "Buy Me a Coffee…" opens.
QUrl supportURL();

/// "Celvio 0.1.0" and what it is for: the About box's text.
QString aboutText();

/// The single window: a fixed 300 x 553 content area below the "Battery" and "Help" menus.
/// Closing it quits the application unless it keeps running in the tray.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(AppModel& model, ShellDialogs dialogs = systemDialogs(), QWidget* parent = nullptr);

    /// Saves the history as CSV where the user chooses; reports a failed write.
    void exportCSV();
    /// Imports the coconutBattery history and tells the user what came of it.
    void importCoconut();
    /// Shows the window in front of the others, restoring it when minimised.
    void bringToFront();

signals:
    /// "Settings…" was chosen.
    void settingsRequested();

private:
    void buildMenus();
    void updateDeviceCommand();
    void updateImportCommand();

    AppModel& model_;
    ShellDialogs dialogs_;
    QAction* firstDevice_ = nullptr;
    QAction* importCoconut_ = nullptr;
};

}  // namespace celvio
