#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QSpinBox;

namespace celvio {

class CareSettings;

/// The "Settings" window: running in the tray, starting at login, and the reminders. The
/// choices go straight into `CareSettings`; starting at login is asked for, since writing
/// the login entry is the system's business, and its outcome shown with `showStartAtLogin`.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    /// `trayAvailable` false: the tray option is off and the window says why.
    SettingsWindow(CareSettings& settings, bool trayAvailable, QWidget* parent = nullptr);

    /// Whether Celvio starts at login now, and the text of a failed change (empty: none).
    void showStartAtLogin(bool on, const QString& failure = {});

signals:
    void startAtLoginRequested(bool on);

private:
    void updateLimits();

    CareSettings& settings_;
    QCheckBox* keepInTray_;
    QCheckBox* startAtLogin_;
    QLabel* loginFailure_;
    QCheckBox* chargeReminders_;
    QSpinBox* upper_;
    QSpinBox* lower_;
    QCheckBox* healthReminder_;
};

}  // namespace celvio
