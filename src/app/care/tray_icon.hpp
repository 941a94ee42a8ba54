#pragma once

#include "model/selection.hpp"

#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <vector>

namespace celvio {

class AppModel;

/// One entry of the tray menu's device list.
struct TrayDevice {
    QString name;
    Selection selection;

    bool operator==(const TrayDevice&) const = default;
};

/// The tooltip: "Celvio", then one line per battery, the computer's first:
/// "ThinkPad: 80 % · health 90 %". A device not read yet has no line.
QString trayToolTip(const AppModel& model);

/// The menu's devices: the computer when it has a battery, then every listed device.
std::vector<TrayDevice> trayDevices(const AppModel& model);

/// The icon in the system tray while Celvio runs in the background: its tooltip, and a
/// menu with Open, the devices and Quit. Values in, the user's choice out.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);

    void setToolTip(const QString& text) { icon_.setToolTip(text); }
    QString toolTip() const { return icon_.toolTip(); }
    void setDevices(const std::vector<TrayDevice>& devices);
    void setVisible(bool visible) { icon_.setVisible(visible); }
    bool isVisible() const { return icon_.isVisible(); }
    /// A balloon message from the icon, where the desktop shows those.
    void showMessage(const QString& title, const QString& body);
    QMenu& menu() { return menu_; }

signals:
    void openRequested();
    void deviceRequested(const celvio::Selection& selection);
    void quitRequested();

private:
    QMenu menu_;
    QSystemTrayIcon icon_;
    std::vector<TrayDevice> devices_;
};

}  // namespace celvio
