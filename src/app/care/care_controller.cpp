#include "care/care_controller.hpp"

#include "base/file_io.hpp"
#include "history/health_trend.hpp"
#include "model/app_model.hpp"
#include "platform/autostart.hpp"
#include "platform/host_words.hpp"

#include <QApplication>
#include <QLocale>

#include <chrono>
#include <cmath>

namespace celvio {

namespace {

QString fromStd(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString percent(double value) { return QLocale().toString(std::lround(value)) + " %"; }

}  // namespace

CareController::CareController(AppModel& model, CareSettings& settings, CareOptions options, QObject* parent)
    : QObject(parent), model_(model), settings_(settings), options_(std::move(options)), notifier_(options_.bus) {
    notifier_.setFallback([this](const QString& title, const QString& body) {
        if (tray_ && tray_->isVisible()) tray_->showMessage(title, body);
    });
    connect(&settings_, &CareSettings::changed, this, &CareController::updateTray);
    connect(&model_, &AppModel::macBatteryChanged, this, &CareController::checkComputer);
    connect(&model_, &AppModel::deviceStatesChanged, this, &CareController::checkDevices);
    connect(&model_, &AppModel::historyGroupsChanged, this, &CareController::checkHealth);
    for (auto signal : {&AppModel::macBatteryChanged, &AppModel::devicesChanged, &AppModel::deviceStatesChanged})
        connect(&model_, signal, this, &CareController::updateTrayContent);
    // What the model read before now is where each battery stands, not a crossing.
    checkComputer();
    checkDevices();
    for (const HistoryDeviceGroup& group : model_.historyGroups())
        if (!group.entries.empty()) newestSeen_[group.serial] = group.entries.back().date.time_since_epoch().count();
    updateTray();
    if (options_.background && !options_.trayAvailable) waitForTray();
}

void CareController::waitForTray() {
    // Started at login, we often come before the panel that hosts the tray: look again
    // for three minutes. Recording goes on either way.
    trayWait_.setInterval(2000);
    connect(&trayWait_, &QTimer::timeout, this, [this] {
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            options_.trayAvailable = true;
            updateTray();
        }
        if (options_.trayAvailable || ++trayChecks_ >= 90) trayWait_.stop();
    });
    trayWait_.start();
}

CareController::~CareController() { QApplication::setQuitOnLastWindowClosed(true); }

void CareController::updateTray() {
    const bool wanted = options_.trayAvailable && (options_.background || settings_.keepInTray());
    if (wanted && !tray_) {
        tray_ = std::make_unique<TrayIcon>();
        connect(tray_.get(), &TrayIcon::openRequested, this, &CareController::openRequested);
        connect(tray_.get(), &TrayIcon::quitRequested, this, &CareController::quitRequested);
        connect(tray_.get(), &TrayIcon::deviceRequested, this, [this](const Selection& selection) {
            model_.setSelection(selection);
            emit openRequested();
        });
        updateTrayContent();
    }
    if (tray_) tray_->setVisible(wanted);
    QApplication::setQuitOnLastWindowClosed(!wanted);
}

void CareController::updateTrayContent() {
    if (!tray_) return;
    tray_->setToolTip(trayToolTip(model_));
    tray_->setDevices(trayDevices(model_));
}

void CareController::checkComputer() {
    const auto& battery = model_.macBattery();
    if (!battery) return;
    const QString name = model_.macSystem().computerName.empty() ? fromStd(hostWords().thisHost)
                                                                 : fromStd(model_.macSystem().computerName);
    remind(name, reminders_.update("computer", {battery->chargePercent, battery->isCharging},
                                   settings_.chargeLimits()));
}

void CareController::checkDevices() {
    for (const auto& [udid, state] : model_.deviceStates()) {
        if (!state.info || !state.info->battery.chargePercent) continue;
        const IOSBatteryInfo& battery = state.info->battery;
        remind(fromStd(state.info->name), reminders_.update("device " + state.info->serialNumber,
                                                            {*battery.chargePercent, battery.isCharging},
                                                            settings_.chargeLimits()));
    }
}

void CareController::remind(const QString& name, std::optional<ChargeReminder> reminder) {
    // Every reading moves the reminders on, so turning them on later starts from where
    // each battery stands rather than from a crossing long past.
    if (!reminder || !settings_.chargeReminders()) return;
    const ChargeLimits limits = settings_.chargeLimits();
    if (*reminder == ChargeReminder::upperReached)
        notifier_.notify(name + " is charged to " + percent(static_cast<double>(limits.upper)),
                         "You can unplug it now.");
    else
        notifier_.notify(name + " is down to " + percent(static_cast<double>(limits.lower)), "Plug it in soon.");
}

void CareController::checkHealth() {
    const auto now = HistoryEntry::Date(std::chrono::system_clock::now());
    for (const HistoryDeviceGroup& group : model_.historyGroups()) {
        if (group.entries.empty()) continue;
        const HistoryEntry& newest = group.entries.back();
        const double date = newest.date.time_since_epoch().count();
        const auto [seen, added] = newestSeen_.try_emplace(group.serial, date);
        // A group new since the start (a first measurement, an import) sets where it stands.
        if (added || seen->second == date) continue;
        seen->second = date;
        if (!settings_.healthReminder() || !healthFellBelow80(group)) continue;
        // One battery of the device: a replacement that wears out again is told again.
        const QString battery = fromStd(group.serial) + "/" +
                                (newest.batterySerial ? fromStd(*newest.batterySerial)
                                                      : QString::number(newest.designCapacity));
        if (settings_.healthToldFor(battery)) continue;
        settings_.setHealthTold(battery);
        // One fraction digit: 79.6 % must not read as 80 %.
        QString body = "Health " + QLocale().toString(newest.health(), 'f', 1) + " %";
        if (const auto trend = healthTrend(group, now))
            body += QString::fromUtf8(" \u00b7 ") +
                    fromStd(healthTrendText(*trend, QLocale().decimalPoint().toStdString()));
        body += QString::fromUtf8("\n80 % is the usual point to replace a battery.");
        notifier_.notify(QString::fromUtf8("%1: battery health below 80 %").arg(fromStd(newest.deviceName)), body);
    }
}

void CareController::showSettings() {
    if (!settingsWindow_) {
        settingsWindow_ = std::make_unique<SettingsWindow>(settings_, options_.trayAvailable);
        settingsWindow_->showStartAtLogin(Autostart::isEnabled());
        connect(settingsWindow_.get(), &SettingsWindow::startAtLoginRequested, this, [this](bool on) {
            const int error = Autostart::setEnabled(on);
            settingsWindow_->showStartAtLogin(
                Autostart::isEnabled(),
                error ? "The login entry could not be changed: " + fromStd(FileIO::errorText(error)) : QString());
        });
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

}  // namespace celvio
