#include "care/care_settings.hpp"

#include <algorithm>

namespace celvio {

namespace {

const QString kKeepInTray = "care/keepInTray";
const QString kChargeReminders = "care/chargeReminders";
const QString kUpperLimit = "care/upperLimit";
const QString kLowerLimit = "care/lowerLimit";
const QString kHealthReminder = "care/healthReminder";
const QString kHealthTold = "care/healthTold";

}  // namespace

CareSettings::CareSettings(const std::optional<QString>& file, QObject* parent)
    : QObject(parent),
      settings_(file ? std::make_unique<QSettings>(*file, QSettings::IniFormat) : std::make_unique<QSettings>()) {}

bool CareSettings::keepInTray() const { return settings_->value(kKeepInTray, false).toBool(); }
void CareSettings::setKeepInTray(bool on) { store(kKeepInTray, on); }

bool CareSettings::chargeReminders() const { return settings_->value(kChargeReminders, false).toBool(); }
void CareSettings::setChargeReminders(bool on) { store(kChargeReminders, on); }

ChargeLimits CareSettings::chargeLimits() const {
    // A hand-edited file may hold anything; keep the limits where a battery can reach them.
    const auto limit = [&](const QString& key, int fallback) {
        bool ok = false;
        const int value = settings_->value(key, fallback).toInt(&ok);
        return ok ? std::clamp(value, 1, 100) : fallback;
    };
    return {.upper = limit(kUpperLimit, 80), .lower = limit(kLowerLimit, 20)};
}

void CareSettings::setChargeLimits(ChargeLimits limits) {
    settings_->setValue(kUpperLimit, static_cast<int>(limits.upper));
    store(kLowerLimit, static_cast<int>(limits.lower));
}

bool CareSettings::healthReminder() const { return settings_->value(kHealthReminder, false).toBool(); }
void CareSettings::setHealthReminder(bool on) { store(kHealthReminder, on); }

bool CareSettings::healthToldFor(const QString& battery) const {
    return settings_->value(kHealthTold).toStringList().contains(battery);
}

void CareSettings::setHealthTold(const QString& battery) {
    QStringList told = settings_->value(kHealthTold).toStringList();
    if (told.contains(battery)) return;
    told.append(battery);
    settings_->setValue(kHealthTold, told);
    settings_->sync();
}

void CareSettings::store(const QString& key, const QVariant& value) {
    settings_->setValue(key, value);
    settings_->sync();
    emit changed();
}

}  // namespace celvio
