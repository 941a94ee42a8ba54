#include "care/tray_icon.hpp"

#include "model/app_model.hpp"
#include "platform/host_words.hpp"

#include <QAction>
#include <QIcon>
#include <QLocale>
#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace celvio {

namespace {

QString fromStd(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString percent(double value) { return QLocale().toString(std::lround(value)) + " %"; }

QString batteryLine(const QString& name, std::optional<std::int64_t> charge, std::optional<double> health) {
    QStringList parts;
    if (charge) parts << percent(static_cast<double>(*charge));
    if (health) parts << "health " + percent(*health);
    return name + ": " + (parts.isEmpty() ? QString::fromUtf8("\u2014") : parts.join(QString::fromUtf8(" \u00b7 ")));
}

QString computerName(const AppModel& model) {
    return model.macSystem().computerName.empty() ? fromStd(hostWords().thisHost)
                                                  : fromStd(model.macSystem().computerName);
}

/// A battery outline for desktops whose icon theme has no "celvio" icon.
QIcon drawnIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(230, 230, 230), 2.5));
    painter.drawRoundedRect(QRectF(3, 9, 23, 14), 3, 3);
    painter.fillRect(QRectF(27, 13, 3, 6), QColor(230, 230, 230));
    painter.fillRect(QRectF(6.5, 12.5, 13, 7), QColor(52, 199, 89));
    return QIcon(pixmap);
}

}  // namespace

QString trayToolTip(const AppModel& model) {
    QStringList lines{"Celvio"};
    if (const auto& mac = model.macBattery())
        lines << batteryLine(computerName(model), mac->chargePercent,
                             mac->designCapacity ? std::optional(mac->health()) : std::nullopt);
    for (const MuxDevice& device : model.devices()) {
        const auto state = model.deviceStates().find(device.udid);
        if (state == model.deviceStates().end() || !state->second.info) continue;
        const IOSDeviceInfo& info = *state->second.info;
        lines << batteryLine(fromStd(info.name), info.battery.chargePercent, info.battery.health());
    }
    return lines.join('\n');
}

std::vector<TrayDevice> trayDevices(const AppModel& model) {
    std::vector<TrayDevice> devices;
    if (model.macBattery()) devices.push_back({computerName(model), Selection::mac()});
    for (const MuxDevice& device : model.devices()) {
        const auto state = model.deviceStates().find(device.udid);
        const bool named = state != model.deviceStates().end() && state->second.info;
        devices.push_back({named ? fromStd(state->second.info->name) : QString("iOS Device"),
                           Selection::device(device.udid)});
    }
    return devices;
}

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
    icon_.setIcon(QIcon::fromTheme("celvio", drawnIcon()));
    icon_.setContextMenu(&menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) emit openRequested();
    });
    setDevices({});
}

void TrayIcon::setDevices(const std::vector<TrayDevice>& devices) {
    if (devices == devices_ && !menu_.isEmpty()) return;
    devices_ = devices;
    menu_.clear();
    connect(menu_.addAction("Open Celvio"), &QAction::triggered, this, &TrayIcon::openRequested);
    menu_.addSeparator();
    for (const TrayDevice& device : devices_) {
        const Selection selection = device.selection;
        connect(menu_.addAction(device.name), &QAction::triggered, this,
                [this, selection] { emit deviceRequested(selection); });
    }
    if (!devices_.empty()) menu_.addSeparator();
    connect(menu_.addAction("Quit Celvio"), &QAction::triggered, this, &TrayIcon::quitRequested);
}

void TrayIcon::showMessage(const QString& title, const QString& body) {
    icon_.showMessage(title, body, QSystemTrayIcon::Information);
}

}  // namespace celvio
