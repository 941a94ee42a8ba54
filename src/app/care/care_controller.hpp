#pragma once

#include "care/care_settings.hpp"
#include "care/notifier.hpp"
#include "care/settings_window.hpp"
#include "care/tray_icon.hpp"
#include "history/battery_reminders.hpp"
#include "model/selection.hpp"

#include <QDBusConnection>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <map>
#include <memory>
#include <string>

namespace celvio {

class AppModel;

struct CareOptions {
    /// Started with `--background`: the tray shows whatever the settings say.
    bool background = false;
    /// Whether the desktop has a system tray.
    bool trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    /// Where the notification service is looked for.
    QDBusConnection bus = QDBusConnection::sessionBus();
};

/// Running in the background and the reminders: shows the tray icon while it is wanted
/// (and then lets the window close without quitting), keeps its tooltip and menu current,
/// sends the reminders the model's readings call for, and opens the settings window.
class CareController : public QObject {
    Q_OBJECT

public:
    CareController(AppModel& model, CareSettings& settings, CareOptions options = {}, QObject* parent = nullptr);
    ~CareController() override;

    /// Whether the tray icon is shown: closing the window then leaves Celvio running.
    bool inTray() const { return tray_ && tray_->isVisible(); }
    /// Absent while no tray icon is shown.
    TrayIcon* tray() const { return inTray() ? tray_.get() : nullptr; }
    void showSettings();
    SettingsWindow* settingsWindow() const { return settingsWindow_.get(); }
    Notifier& notifier() { return notifier_; }

signals:
    /// The tray asked for the window; a chosen device is already selected.
    void openRequested();
    void quitRequested();

private:
    void updateTray();
    void waitForTray();
    void updateTrayContent();
    void checkComputer();
    void checkDevices();
    void checkHealth();
    void remind(const QString& name, std::optional<ChargeReminder> reminder);

    AppModel& model_;
    CareSettings& settings_;
    CareOptions options_;
    Notifier notifier_;
    ChargeReminders reminders_;
    /// The newest entry of each group when it was last looked at: only a new entry can
    /// be a fall below 80 %.
    std::map<std::string, double> newestSeen_;
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<SettingsWindow> settingsWindow_;
    QTimer trayWait_;
    int trayChecks_ = 0;
};

}  // namespace celvio
