#include "reading/ios_device_reader.hpp"

#include "base/celvio_error.hpp"
#include "base/first_of.hpp"
#include "reading/device_catalog.hpp"
#include "reading/raw_values.hpp"

#include <exception>

namespace celvio::IOSDeviceReader {
namespace {

PlistDict asDict(std::optional<PlistValue> value) {
    if (value) {
        if (auto* dict = value->get<PlistDict>()) return std::move(*dict);
    }
    return {};
}

bool hasDesignCapacity(const PlistDict& registry) {
    if (registry.contains("DesignCapacity")) return true;
    const PlistDict* batteryData = dictValue(registry, "BatteryData");
    return batteryData && batteryData->contains("DesignCapacity");
}

/// "CurrentCapacity" as a percentage of a "MaxCapacity" of 1 to 100, truncated; absent when
/// the result does not fit (a hostile value must not fail the read).
std::optional<std::int64_t> percentOf(const PlistDict& registry) {
    const auto current = intValue(registry, "CurrentCapacity");
    const auto max = intValue(registry, "MaxCapacity");
    if (!current || !max || *max < 1 || *max > 100) return std::nullopt;
    const __int128 percent = static_cast<__int128>(*current) * 100 / *max;
    if (percent > INT64_MAX || percent < INT64_MIN) return std::nullopt;
    return static_cast<std::int64_t>(percent);
}

std::optional<double> hundredths(const PlistDict& registry, std::string_view key) {
    const auto raw = intValue(registry, key);
    if (!raw || *raw == 0) return std::nullopt;
    return static_cast<double>(*raw) / 100.0;
}

}  // namespace

PlistDict ioRegistry(PlistService& relay) {
    static const PlistDict requests[] = {
        {{"Request", "IORegistry"}, {"EntryClass", "IOPMPowerSource"}},
        {{"Request", "IORegistry"}, {"EntryName", "AppleSmartBattery"}},
        {{"Request", "IORegistry"}, {"EntryName", "AppleARMPMUCharger"}},
    };
    PlistDict fallback;
    for (const PlistDict& request : requests) {
        PlistDict reply;
        try {
            reply = relay.request(request);
        } catch (...) {
            if (!fallback.empty()) return fallback;
            throw;
        }
        if (stringValue(reply, "Status") != "Success") continue;
        const PlistDict* diagnostics = dictValue(reply, "Diagnostics");
        const PlistDict* registry = diagnostics ? dictValue(*diagnostics, "IORegistry") : nullptr;
        if (!registry) continue;
        if (hasDesignCapacity(*registry)) return *registry;
        if (fallback.empty()) fallback = *registry;
    }
    if (!fallback.empty()) return fallback;
    throw CelvioError::diagnostics("No battery data returned by the device.");
}

IOSBatteryInfo makeBattery(const PlistDict& registry, const PlistDict& lockdownBattery) {
    static const PlistDict empty;
    const PlistDict* found = dictValue(registry, "BatteryData");
    const PlistDict& batteryData = found ? *found : empty;
    const PlistDict* adapter = dictValue(registry, "AdapterDetails");

    IOSBatteryInfo battery;
    battery.designCapacity = firstOf({intValue(registry, "DesignCapacity"), intValue(batteryData, "DesignCapacity")});
    battery.fullChargeCapacity = firstOf({intValue(registry, "AppleRawMaxCapacity"),
                                          intValue(registry, "NominalChargeCapacity"), intValue(batteryData, "FccComp1")});
    battery.chargePercent = firstOf({intValue(lockdownBattery, "BatteryCurrentCapacity"), percentOf(registry)});
    battery.currentCapacity = intValue(registry, "AppleRawCurrentCapacity");
    battery.cycleCount = firstOf({intValue(registry, "CycleCount"), intValue(batteryData, "CycleCount")});
    battery.temperature = firstOf({hundredths(registry, "Temperature"), hundredths(registry, "VirtualTemperature")});
    battery.voltage = firstOf({intValue(registry, "Voltage"), intValue(registry, "AppleRawBatteryVoltage")});
    battery.amperage = firstOf({intValue(registry, "InstantAmperage"), intValue(registry, "Amperage")});
    battery.isCharging =
        firstOf({boolValue(registry, "IsCharging"), boolValue(lockdownBattery, "BatteryIsCharging")}).value_or(false);
    battery.externalConnected =
        firstOf({boolValue(registry, "ExternalConnected"), boolValue(lockdownBattery, "ExternalConnected")}).value_or(false);
    battery.fullyCharged =
        firstOf({boolValue(registry, "FullyCharged"), boolValue(lockdownBattery, "FullyCharged")}).value_or(false);
    battery.batterySerial = firstOf({stringValue(registry, "Serial"), stringValue(batteryData, "Serial")});
    if (adapter) {
        battery.adapterName = firstOf({stringValue(*adapter, "Name"), stringValue(*adapter, "Description")});
        battery.adapterWatts = intValue(*adapter, "Watts");
    }
    battery.rawValues = RawValues::flatten(registry, "", 0);
    return battery;
}

IOSDeviceInfo read(const MuxDevice& device, LockdownTimeouts timeouts) {
    // The client closes itself on every path out of here, StopSession included.
    LockdownClient client(device, timeouts);
    client.startSession();
    const PlistDict general = asDict(client.value(std::nullopt, std::nullopt));

    PlistDict batteryDomainValues;
    try {
        batteryDomainValues = asDict(client.value(IOSDeviceReader::batteryDomain, std::nullopt));
    } catch (const std::exception&) {
        // Optional: the relay may still answer.
    }

    PlistDict registry;
    std::exception_ptr relayError;
    try {
        const auto relay = client.startService(diagnosticsRelay);
        try {
            registry = ioRegistry(*relay);
        } catch (...) {
            relayError = std::current_exception();
        }
        try {
            relay->request({{"Request", "Goodbye"}});
        } catch (...) {
            // The relay is closed below whatever it answered.
        }
        relay->close();
    } catch (...) {
        relayError = std::current_exception();
    }
    if (relayError && batteryDomainValues.empty()) std::rethrow_exception(relayError);

    IOSDeviceInfo info;
    info.udid = device.udid;
    info.connection = device.connection;
    info.battery = makeBattery(registry, batteryDomainValues);
    info.productType = stringValue(general, "ProductType").value_or("Unknown");
    info.name = stringValue(general, "DeviceName").value_or("iOS Device");
    info.marketingName = DeviceCatalog::marketingName(info.productType).value_or(info.productType);
    info.deviceClass = stringValue(general, "DeviceClass").value_or("iPhone");
    info.osVersion = stringValue(general, "ProductVersion").value_or("?");
    info.buildVersion = stringValue(general, "BuildVersion");
    info.serialNumber = stringValue(general, "SerialNumber").value_or(device.udid);
    if (auto model = stringValue(general, "ModelNumber"))
        info.modelNumber = *model + stringValue(general, "RegionInfo").value_or("");
    info.regulatoryModel = stringValue(general, "RegulatoryModelNumber");
    info.hardwareModel = stringValue(general, "HardwareModel");
    info.wifiAddress = stringValue(general, "WiFiAddress");
    info.readDate = std::chrono::system_clock::now();
    client.close();
    return info;
}

}  // namespace celvio::IOSDeviceReader
