#pragma once

// Qt's headers first: moc cannot parse the standard headers the core's pull in first.
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

#include "history/battery_reminders.hpp"

#include <memory>
#include <optional>

namespace celvio {

/// The background and reminder choices, kept in QSettings under "care/". All off by
/// default: nothing acts on its own until the user asks for it.
class CareSettings : public QObject {
    Q_OBJECT

public:
    /// `file`: an ini file; absent: QSettings of organisation and application "Celvio".
    explicit CareSettings(const std::optional<QString>& file = std::nullopt, QObject* parent = nullptr);

    /// "Keep running in the tray when the window is closed".
    bool keepInTray() const;
    void setKeepInTray(bool on);

    /// Reminders at the charge limits.
    bool chargeReminders() const;
    void setChargeReminders(bool on);
    /// Percentages; 80 and 20 unless changed.
    ChargeLimits chargeLimits() const;
    void setChargeLimits(ChargeLimits limits);

    /// The reminder when a battery's health first falls below 80 %.
    bool healthReminder() const;
    void setHealthReminder(bool on);
    /// The batteries already told about, so a restart does not tell again.
    bool healthToldFor(const QString& battery) const;
    void setHealthTold(const QString& battery);

signals:
    void changed();

private:
    void store(const QString& key, const QVariant& value);

    std::unique_ptr<QSettings> settings_;
};

}  // namespace celvio
