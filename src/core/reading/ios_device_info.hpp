#pragma once

#include "reading/raw_values.hpp"  // RawRow
#include "link/usbmux.hpp"       // MuxDevice::Connection

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace celvio {

/// The battery of an iPhone or iPad as one read found it. Absent: not reported.
struct IOSBatteryInfo {
    std::optional<std::int64_t> chargePercent;       ///< %
    std::optional<std::int64_t> currentCapacity;     ///< mAh
    std::optional<std::int64_t> fullChargeCapacity;  ///< mAh, the aged battery when full
    std::optional<std::int64_t> designCapacity;      ///< mAh, a new battery
    std::optional<std::int64_t> cycleCount;
    std::optional<double> temperature;               ///< °C
    std::optional<std::int64_t> voltage;             ///< mV
    std::optional<std::int64_t> amperage;            ///< mA, negative while discharging
    bool isCharging = false;
    bool externalConnected = false;
    bool fullyCharged = false;
    std::optional<std::string> batterySerial;
    std::optional<std::string> adapterName;
    std::optional<std::int64_t> adapterWatts;        ///< W, the adapter's rating
    std::vector<RawRow> rawValues;                   ///< the whole registry, flattened; empty without one

    /// Full-charge over design capacity in percent, never clamped; absent without both
    /// capacities or with a design capacity below 1.
    std::optional<double> health() const;
    /// Voltage times current in W, signed like the current; absent without both or at 0 mA.
    std::optional<double> watts() const;

    bool operator==(const IOSBatteryInfo&) const = default;
};

/// One read of an iPhone or iPad.
struct IOSDeviceInfo {
    std::string udid;
    MuxDevice::Connection connection = MuxDevice::Connection::usb;
    std::string name;           ///< "DeviceName", else "iOS Device"
    std::string productType;    ///< "ProductType", else "Unknown"
    std::string marketingName;  ///< from the device catalog, else the product type
    std::string deviceClass;    ///< "DeviceClass", else "iPhone"
    std::string osVersion;      ///< "ProductVersion", else "?"
    std::optional<std::string> buildVersion;
    std::string serialNumber;   ///< "SerialNumber", else the UDID
    std::optional<std::string> modelNumber;  ///< "ModelNumber" directly followed by "RegionInfo"
    std::optional<std::string> regulatoryModel;
    std::optional<std::string> hardwareModel;
    std::optional<std::string> wifiAddress;
    IOSBatteryInfo battery;
    std::chrono::system_clock::time_point readDate;  ///< when the read completed

    bool operator==(const IOSDeviceInfo&) const = default;
};

}  // namespace celvio
