#include "reading/ios_device_reader.hpp"

#include "simulated_daemon.hpp"

#include <gtest/gtest.h>

using namespace celvio;
using celvio::test::expectError;
using celvio::test::SimulatedDaemon;

namespace {

const LockdownTimeouts kShort{0.5, 0.5};

const char* kGeneral = R"({"DeviceName": "Anna's iPhone", "ProductType": "iPhone15,2", "DeviceClass": "iPhone",
    "ProductVersion": "17.4.1", "BuildVersion": "21E236", "SerialNumber": "F2LXK0Q1N7", "ModelNumber": "MQ9T3",
    "RegionInfo": "ZD/A", "RegulatoryModelNumber": "A2890", "HardwareModel": "D73AP", "WiFiAddress": "a4:c3:f0:12:34:57"})";

const char* kRegistry = R"({"AppleRawCurrentCapacity": 1803, "AppleRawMaxCapacity": 2950, "CurrentCapacity": 57,
    "MaxCapacity": 100, "DesignCapacity": 3200, "CycleCount": 412, "Temperature": 3125, "Voltage": 3912,
    "InstantAmperage": 18446744073709551209, "IsCharging": false, "ExternalConnected": true, "FullyCharged": false,
    "Serial": "F5D2345ABCD1234XY", "BatteryData": {"Lifetime": {"Deep": {"A": 1}, "X": 1}},
    "AdapterDetails": {"Watts": 20, "Name": "20W USB-C Power Adapter", "Description": "pd charger"}})";

/// One USB device (deviceID 1) whose relay serves the given entries.
std::string scenario(const std::string& general, const std::string& domain, const std::string& relay,
                     const std::string& lockdownExtra = "", bool relayStarts = true) {
    return std::string(R"({"devices": [{"udid": "00008120-001A2B3C4D5E6F70",
        "attachments": [{"deviceID": 1, "connection": "USB"}],
        "lockdown": {"values": )") + general +
           R"(, "domains": {"com.apple.mobile.battery": )" + domain + "}" +
           (relayStarts ? R"(, "services": {"com.apple.mobile.diagnostics_relay": {"kind": "relay"}})" : "") +
           lockdownExtra + R"(}, "relay": )" + relay + "}]}";
}

const MuxDevice kDevice{"00008120-001A2B3C4D5E6F70", 1, MuxDevice::Connection::usb};

std::vector<std::string> relayLog(const sim::Simulator& sim) {
    std::vector<std::string> log;
    for (const auto& r : sim.relayRequests()) {
        const std::string request = stringValue(r.message, "Request").value_or("?");
        log.push_back(request == "IORegistry" ? stringValue(r.message, "EntryClass")
                                                    .value_or(stringValue(r.message, "EntryName").value_or("?"))
                                              : request);
    }
    return log;
}

}  // namespace

TEST(IOSDeviceReader, FullReadAssemblesEveryField) {
    SimulatedDaemon daemon(scenario(kGeneral, R"({"BatteryCurrentCapacity": 58, "BatteryIsCharging": true})",
                                    std::string(R"({"entries": {"IOPMPowerSource": )") + kRegistry + "}}"));
    const IOSDeviceInfo info = IOSDeviceReader::read(kDevice, kShort);
    EXPECT_EQ(info.udid, kDevice.udid);
    EXPECT_EQ(info.connection, MuxDevice::Connection::usb);
    EXPECT_EQ(info.name, "Anna's iPhone");
    EXPECT_EQ(info.productType, "iPhone15,2");
    EXPECT_EQ(info.marketingName, "iPhone 14 Pro");
    EXPECT_EQ(info.deviceClass, "iPhone");
    EXPECT_EQ(info.osVersion, "17.4.1");
    EXPECT_EQ(info.buildVersion, "21E236");
    EXPECT_EQ(info.serialNumber, "F2LXK0Q1N7");
    EXPECT_EQ(info.modelNumber, "MQ9T3ZD/A");
    EXPECT_EQ(info.regulatoryModel, "A2890");
    EXPECT_EQ(info.hardwareModel, "D73AP");
    EXPECT_EQ(info.wifiAddress, "a4:c3:f0:12:34:57");
    EXPECT_LE(std::chrono::system_clock::now() - info.readDate, std::chrono::seconds(5));

    const IOSBatteryInfo& b = info.battery;
    EXPECT_EQ(b.chargePercent, 58);  // the battery domain comes first
    EXPECT_EQ(b.currentCapacity, 1803);
    EXPECT_EQ(b.fullChargeCapacity, 2950);
    EXPECT_EQ(b.designCapacity, 3200);
    EXPECT_EQ(b.cycleCount, 412);
    EXPECT_EQ(b.temperature, 31.25);
    EXPECT_EQ(b.voltage, 3912);
    EXPECT_EQ(b.amperage, -407);
    EXPECT_FALSE(b.isCharging);  // the registry comes first
    EXPECT_TRUE(b.externalConnected);
    EXPECT_FALSE(b.fullyCharged);
    EXPECT_EQ(b.batterySerial, "F5D2345ABCD1234XY");
    EXPECT_EQ(b.adapterName, "20W USB-C Power Adapter");
    EXPECT_EQ(b.adapterWatts, 20);
    ASSERT_FALSE(b.rawValues.empty());
    EXPECT_EQ(b.rawValues.front(), (RawRow{"AdapterDetails.Description", "pd charger"}));

    EXPECT_EQ(relayLog(daemon.sim), (std::vector<std::string>{"IOPMPowerSource", "Goodbye"}));
    EXPECT_EQ(daemon.sim.lockdownRequests().back().request, "StopSession");
    EXPECT_TRUE(daemon.allClosed());
}

TEST(IOSDeviceReader, DeviceDefaults) {
    SimulatedDaemon daemon(scenario(R"({"ModelNumber": "MQ9T3"})", "{}",
                                    std::string(R"({"entries": {"IOPMPowerSource": )") + kRegistry + "}}"));
    const IOSDeviceInfo info = IOSDeviceReader::read(kDevice, kShort);
    EXPECT_EQ(info.name, "iOS Device");
    EXPECT_EQ(info.productType, "Unknown");
    EXPECT_EQ(info.marketingName, "Unknown");
    EXPECT_EQ(info.deviceClass, "iPhone");
    EXPECT_EQ(info.osVersion, "?");
    EXPECT_EQ(info.serialNumber, kDevice.udid);
    EXPECT_EQ(info.modelNumber, "MQ9T3");
    EXPECT_EQ(info.buildVersion, std::nullopt);
    EXPECT_EQ(info.battery.chargePercent, 57);  // 57 of a MaxCapacity of 100
}

TEST(IOSDeviceReader, RelayFallbacks) {
    const std::string noDesign = R"({"CycleCount": 7, "Voltage": 3800})";
    {
        // The second entry has the design capacity: the third is never asked for.
        SimulatedDaemon daemon(scenario(kGeneral, "{}",
                                        R"({"entries": {"IOPMPowerSource": )" + noDesign +
                                            R"(, "AppleSmartBattery": {"BatteryData": {"DesignCapacity": 3000}},
                                            "AppleARMPMUCharger": {"DesignCapacity": 1}}})"));
        const auto info = IOSDeviceReader::read(kDevice, kShort);
        EXPECT_EQ(info.battery.designCapacity, 3000);
        EXPECT_EQ(info.battery.cycleCount, std::nullopt);
        EXPECT_EQ(relayLog(daemon.sim),
                  (std::vector<std::string>{"IOPMPowerSource", "AppleSmartBattery", "Goodbye"}));
        EXPECT_TRUE(daemon.allClosed());
    }
    {
        // Nothing has it: the first non-empty registry is used.
        SimulatedDaemon daemon(scenario(kGeneral, "{}",
                                        R"({"entries": {"AppleSmartBattery": )" + noDesign +
                                            R"(, "AppleARMPMUCharger": {"CycleCount": 9}}})"));
        const auto info = IOSDeviceReader::read(kDevice, kShort);
        EXPECT_EQ(info.battery.cycleCount, 7);
        EXPECT_EQ(relayLog(daemon.sim),
                  (std::vector<std::string>{"IOPMPowerSource", "AppleSmartBattery", "AppleARMPMUCharger", "Goodbye"}));
    }
    {
        // The relay hangs up after answering once without a design capacity.
        SimulatedDaemon daemon(scenario(kGeneral, "{}",
                                        R"({"entries": {"IOPMPowerSource": )" + noDesign + R"(,
                                            "AppleSmartBattery": {"DesignCapacity": 3000}}, "faults": {"dropAfter": 1}})"));
        const auto info = IOSDeviceReader::read(kDevice, kShort);
        EXPECT_EQ(info.battery.cycleCount, 7);
        EXPECT_EQ(info.battery.designCapacity, std::nullopt);
        EXPECT_TRUE(daemon.allClosed());
    }
    {
        // Every answer fails, but the battery domain answered: the read goes on without a registry.
        SimulatedDaemon daemon(scenario(kGeneral, R"({"BatteryCurrentCapacity": 40})",
                                        std::string(R"({"entries": {"IOPMPowerSource": )") + kRegistry +
                                            R"(}, "faults": {"status": "Failure"}})"));
        const auto info = IOSDeviceReader::read(kDevice, kShort);
        EXPECT_EQ(info.battery.chargePercent, 40);
        EXPECT_TRUE(info.battery.rawValues.empty());
        EXPECT_EQ(info.battery.designCapacity, std::nullopt);
        EXPECT_EQ(info.battery.temperature, std::nullopt);
        EXPECT_EQ(relayLog(daemon.sim).back(), "Goodbye");
        EXPECT_TRUE(daemon.allClosed());
    }
}

TEST(IOSDeviceReader, FailsOnlyWhenTheBatteryDomainIsEmptyToo) {
    const std::string failing = std::string(R"({"entries": {"IOPMPowerSource": )") + kRegistry +
                                R"(}, "faults": {"status": "Failure"}})";
    {
        SimulatedDaemon daemon(scenario(kGeneral, R"({"BatteryCurrentCapacity": 40})", failing,
                                        R"(, "errors": {"GetValue:com.apple.mobile.battery": "InvalidDomain"})"));
        expectError([] { IOSDeviceReader::read(kDevice, kShort); }, "Diagnostics: No battery data returned by the device.");
        EXPECT_EQ(relayLog(daemon.sim).back(), "Goodbye");
        EXPECT_TRUE(daemon.allClosed());
    }
    {
        SimulatedDaemon daemon(scenario(kGeneral, "{}", R"({"entries": {}})", "", false));
        expectError([] { IOSDeviceReader::read(kDevice, kShort); }, "Device error: InvalidService");
        EXPECT_TRUE(daemon.allClosed());
    }
    {
        SimulatedDaemon daemon(scenario(kGeneral, R"({"BatteryCurrentCapacity": 40})", R"({"entries": {}})", "", false));
        EXPECT_EQ(IOSDeviceReader::read(kDevice, kShort).battery.chargePercent, 40);
        EXPECT_TRUE(daemon.allClosed());
    }
    {
        SimulatedDaemon daemon(scenario(kGeneral, "{}", "{}", R"(, "errors": {"StartSession": "PasswordProtected"})"));
        expectError([] { IOSDeviceReader::read(kDevice, kShort); }, "The device is locked. Unlock it and try again.");
        EXPECT_TRUE(daemon.allClosed());
    }
}

TEST(IOSDeviceReader, DeviceSilentAfterTheGeneralValuesCostsOneTimeout) {
    SimulatedDaemon daemon(scenario(kGeneral, R"({"BatteryCurrentCapacity": 40})", R"({"entries": {}})",
                                    R"(, "faults": {"silentOn": "GetValue:com.apple.mobile.battery"})"));
    expectError([&] { IOSDeviceReader::read(kDevice, kShort); }, "TLS: Read failed (5)");
    // Nothing at all went out after the failed read, so neither the relay's StartService
    // nor StopSession could wait out a time-out of its own.
    EXPECT_TRUE(daemon.allClosed());
    EXPECT_EQ(daemon.sim.bytesAfterSilence(), 0u);
    EXPECT_EQ(daemon.sim.lockdownRequests().back().request, "GetValue");
}

TEST(IOSDeviceReader, MakeBatteryChains) {
    const auto battery = [](const PlistDict& registry, const PlistDict& domain = {}) {
        return IOSDeviceReader::makeBattery(registry, domain);
    };
    const struct {
        std::int64_t current, max;
        std::optional<std::int64_t> percent;
    } percents[] = {
        {57, 100, 57},
        {2000, 4000, std::nullopt},
        {INT64_MAX, 1, std::nullopt},  // overflows when multiplied by 100: no crash, no value
        {INT64_MAX, 100, INT64_MAX},
    };
    for (const auto& row : percents)
        EXPECT_EQ(battery({{"CurrentCapacity", row.current}, {"MaxCapacity", row.max}}).chargePercent, row.percent);
    EXPECT_EQ(battery({{"Temperature", 0}, {"VirtualTemperature", 3125}}).temperature, 31.25);
    EXPECT_EQ(battery({{"AdapterDetails", PlistDict{{"Description", "pd charger"}}}}).adapterName, "pd charger");
    const auto fromData =
        battery({{"NominalChargeCapacity", 2980}, {"AppleRawBatteryVoltage", 3900}, {"Amperage", -5},
                 {"BatteryData", PlistDict{{"FccComp1", 1}, {"CycleCount", 3}, {"Serial", "S"}}}},
                {{"FullyCharged", true}});
    EXPECT_EQ(std::tuple(fromData.fullChargeCapacity, fromData.cycleCount, fromData.voltage, fromData.amperage),
              std::tuple(2980, 3, 3900, -5));
    EXPECT_EQ(fromData.batterySerial, "S");
    EXPECT_TRUE(fromData.fullyCharged);
    EXPECT_FALSE(fromData.isCharging);
    EXPECT_TRUE(battery({}).rawValues.empty());
}

TEST(IOSBatteryInfo, HealthAndWatts) {
    IOSBatteryInfo b;
    EXPECT_EQ(b.health(), std::nullopt);
    b.fullChargeCapacity = 3100;
    b.designCapacity = 3000;
    EXPECT_DOUBLE_EQ(*b.health(), 103.33333333333333);
    for (std::int64_t design : {0, -5}) {
        b.designCapacity = design;
        EXPECT_EQ(b.health(), std::nullopt) << design;
    }
    b.voltage = 3800;
    b.amperage = 0;
    EXPECT_EQ(b.watts(), std::nullopt);
    b.amperage = -1200;
    EXPECT_DOUBLE_EQ(*b.watts(), -4.56);
    b.voltage.reset();
    EXPECT_EQ(b.watts(), std::nullopt);
}
