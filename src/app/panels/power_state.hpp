#pragma once

#include <QColor>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace celvio {

/// A device's power situation in one line: "Charging with 15.8 W" after a green bolt.
struct PowerState {
    QString text;
    std::string symbol;  ///< the symbol shown before the text
    QColor tint;         ///< of symbol and text

    bool operator==(const PowerState&) const = default;

    /// From the battery's voltage (mV) and current (mA, negative while discharging); a
    /// missing one counts as no current, so only the battery and adapter texts can apply.
    static PowerState from(std::optional<std::int64_t> millivolts, std::optional<std::int64_t> milliamps,
                           bool externalConnected, bool fullyCharged);
};

/// The "Adapter" tile's value: "—" when not connected, else "20 W", or "Connected"
/// when the adapter's power is unknown.
QString adapterValue(bool externalConnected, std::optional<std::int64_t> adapterWatts);

}  // namespace celvio
