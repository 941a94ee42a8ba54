#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace celvio {

/// One reading of the computer's internal battery. The core measurements are never
/// absent: the reader gives 0 (or false) for what the system did not report. Capacities
/// in mAh are the exception: a battery that reports only its percentage has none, and
/// a 0 would read as a dead battery.
struct MacBatteryInfo {
    std::int64_t chargePercent = 0;                       ///< %
    std::optional<std::int64_t> currentCapacity{};        ///< mAh
    std::optional<std::int64_t> fullChargeCapacity{};     ///< mAh, the aged battery when full
    std::optional<std::int64_t> designCapacity{};         ///< mAh, a new battery
    std::optional<std::int64_t> nominalChargeCapacity{};  ///< mAh, the gauge's nominal full charge
    std::int64_t cycleCount = 0;
    std::optional<std::int64_t> designCycleCount{};  ///< cycles the battery is made for
    double temperature = 0;                          ///< °C; 0 when unknown
    std::int64_t voltage = 0;                        ///< mV
    std::int64_t amperage = 0;                       ///< mA, negative while discharging
    bool isCharging = false;
    bool externalConnected = false;
    bool fullyCharged = false;
    std::optional<std::int64_t> timeToFull{};                                ///< minutes; absent without an estimate
    std::optional<std::int64_t> timeToEmpty{};                               ///< minutes; absent without an estimate
    std::optional<std::chrono::system_clock::time_point> manufactureDate{};  ///< midnight UTC of that day
    std::optional<std::string> batterySerial{};
    std::optional<std::string> gaugeName{};    ///< the fuel-gauge device's name
    std::vector<std::int64_t> cellVoltages{};  ///< mV per cell in registry order; empty when unknown
    std::optional<std::string> adapterName{};
    std::optional<std::int64_t> adapterWatts{};    ///< W, negotiated
    std::optional<std::int64_t> adapterVoltage{};  ///< mV, the adapter's output
    std::optional<std::int64_t> adapterCurrent{};  ///< mA, the adapter's output
    std::optional<double> systemPower{};           ///< W, the whole system's draw
    std::chrono::system_clock::time_point readDate{};

    /// Full-charge over design capacity in percent, never clamped (it may pass 100);
    /// exactly 0 when either capacity is absent or the design capacity is below 1.
    double health() const;
    /// Voltage times current in W: negative while discharging, 0 when either is 0.
    double batteryPower() const;

    bool operator==(const MacBatteryInfo&) const = default;
};

}  // namespace celvio
