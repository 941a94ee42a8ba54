#pragma once

// Qt first: moc (6.4) fails on <concepts> when a core header brings it in before Qt's.
#include <QColor>
#include <QString>

#include "history/history_grouping.hpp"
#include "reading/ios_device_info.hpp"
#include "reading/mac_battery_info.hpp"
#include "reading/mac_system_info.hpp"
#include "panels/power_state.hpp"
#include "display/sections.hpp"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace celvio {

/// One tile of a panel's "Stats" segment. Titles are unique within a panel.
struct StatSpec {
    std::string symbol;
    QColor tint;
    QString title;
    QString value;
    std::optional<QString> note;

    bool operator==(const StatSpec&) const = default;
};

/// Everything one battery panel shows, recomputed from the model on every change.
struct PanelData {
    std::string iconModel;     ///< the model code whose icon heads the panel
    std::string iconFallback;  ///< the symbol drawn when the model has no icon
    QString name;
    QString subtitle;
    std::optional<double> chargePercent;  ///< absent: an empty charge gauge
    std::optional<double> health;         ///< percent; absent: an empty health gauge
    PowerState power;
    std::optional<QString> timeInfo;  ///< shown after the power text
    std::vector<StatSpec> stats;
    std::optional<std::string> historySerial;
    /// The measurements kept under `historySerial`; absent when there are none.
    std::optional<HistoryDeviceGroup> history;
    std::vector<Sections::Section> details;
    std::optional<std::chrono::system_clock::time_point> updated;
    std::optional<QString> warning;
};

/// The computer's panel without its history. Its history is kept under the serial
/// number, or the model identifier when the system has none.
PanelData macPanelData(const MacBatteryInfo& battery, const MacSystemInfo& system, bool lowPowerMode);
/// An iPhone's or iPad's panel without its history; `error` is the message of a later
/// read that failed.
PanelData iosPanelData(const IOSDeviceInfo& info, const std::optional<std::string>& error);

}  // namespace celvio
