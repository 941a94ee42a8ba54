#include "care/settings_window.hpp"

#include "care/care_settings.hpp"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace celvio {

namespace {

QLabel* note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QSpinBox* percentBox(QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(1, 100);
    box->setSuffix(" %");
    return box;
}

}  // namespace

SettingsWindow::SettingsWindow(CareSettings& settings, bool trayAvailable, QWidget* parent)
    : QWidget(parent, Qt::Window), settings_(settings) {
    setObjectName("settings");
    setWindowTitle("Settings");
    auto* layout = new QVBoxLayout(this);

    auto* background = new QGroupBox("In the background", this);
    auto* backgroundLayout = new QVBoxLayout(background);
    keepInTray_ = new QCheckBox("Keep running in the tray when the window is closed", background);
    keepInTray_->setChecked(trayAvailable && settings_.keepInTray());
    keepInTray_->setEnabled(trayAvailable);
    backgroundLayout->addWidget(keepInTray_);
    if (!trayAvailable)
        backgroundLayout->addWidget(
            note("This desktop has no system tray, so closing the window quits Celvio.", background));
    startAtLogin_ = new QCheckBox("Start at login, recording in the background", background);
    backgroundLayout->addWidget(startAtLogin_);
    loginFailure_ = note({}, background);
    loginFailure_->hide();
    backgroundLayout->addWidget(loginFailure_);
    layout->addWidget(background);

    auto* reminders = new QGroupBox("Reminders", this);
    auto* remindersLayout = new QVBoxLayout(reminders);
    chargeReminders_ = new QCheckBox("Remind me at these charge limits", reminders);
    chargeReminders_->setChecked(settings_.chargeReminders());
    remindersLayout->addWidget(chargeReminders_);
    auto* limits = new QFormLayout;
    upper_ = percentBox(reminders);
    lower_ = percentBox(reminders);
    upper_->setValue(static_cast<int>(settings_.chargeLimits().upper));
    lower_->setValue(static_cast<int>(settings_.chargeLimits().lower));
    limits->addRow("Unplug when charging reaches", upper_);
    limits->addRow("Plug in when the charge falls to", lower_);
    remindersLayout->addLayout(limits);
    healthReminder_ = new QCheckBox(QString::fromUtf8("Tell me when a battery\u2019s health falls below 80 %"),
                                    reminders);
    healthReminder_->setChecked(settings_.healthReminder());
    remindersLayout->addWidget(healthReminder_);
    remindersLayout->addWidget(note("Reminders appear as desktop notifications.", reminders));
    layout->addWidget(reminders);
    layout->addStretch();
    updateLimits();

    connect(keepInTray_, &QCheckBox::toggled, &settings_, &CareSettings::setKeepInTray);
    connect(startAtLogin_, &QCheckBox::toggled, this, &SettingsWindow::startAtLoginRequested);
    connect(chargeReminders_, &QCheckBox::toggled, this, [this](bool on) {
        settings_.setChargeReminders(on);
        updateLimits();
    });
    connect(healthReminder_, &QCheckBox::toggled, &settings_, &CareSettings::setHealthReminder);
    const auto storeLimits = [this] {
        settings_.setChargeLimits({.upper = upper_->value(), .lower = lower_->value()});
    };
    connect(upper_, &QSpinBox::valueChanged, this, storeLimits);
    connect(lower_, &QSpinBox::valueChanged, this, storeLimits);
}

void SettingsWindow::showStartAtLogin(bool on, const QString& failure) {
    const QSignalBlocker quiet(startAtLogin_);
    startAtLogin_->setChecked(on);
    loginFailure_->setText(failure);
    loginFailure_->setVisible(!failure.isEmpty());
}

void SettingsWindow::updateLimits() {
    upper_->setEnabled(chargeReminders_->isChecked());
    lower_->setEnabled(chargeReminders_->isChecked());
}

}  // namespace celvio
