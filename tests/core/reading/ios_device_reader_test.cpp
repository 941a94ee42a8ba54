#include "reading/ios_device_reader.hpp"

#include "simulated_daemon.hpp"

#include <gtest/gtest.h>

using namespace celvio;
using celvio::test::expectError;
using celvio::test::SimulatedDaemon;

namespace {

const LockdownTimeouts kShort{0.5, 0.5};

// An iPhone 14 Pro's lockdown values and its battery's IORegistry entry.
const std::string kGeneral = celvio::test::readText(CELVIO_TEST_DATA_DIR "/simulator/iphone-values.json");
const std::string kRegistry = celvio::test::readText(CELVIO_TEST_DATA_DIR "/simulator/iphone-registry.json");

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
    EXPECT_LE(std::chrono::system_clock::now() - info.readDate, std::chrono::seconds(5));
    EXPECT_FALSE(info.battery.rawValues.empty());  // their order is RawValues' test
    const IOSDeviceInfo expected{
        kDevice.udid, MuxDevice::Connection::usb, "Anna's iPhone", "iPhone15,2", "iPhone 14 Pro", "iPhone", "17.4.1",
        "21E236", "F2LXK0Q1N7", "MQ9T3ZD/A", "A2890", "D73AP", "a4:c3:f0:12:34:57",
        // The battery domain's charge comes first, the registry's charging state.
        {58, 1803, 2950, 3200, 412, 31.25, 3912, -407, false, true, false, "F5D2345ABCD1234XY",
         "20W USB-C Power Adapter", 20, info.battery.rawValues},
        info.readDate};
    EXPECT_EQ(info, expected);
    EXPECT_EQ(relayLog(daemon.sim), (std::vector<std::string>{"IOPMPowerSource", "Goodbye"}));
    EXPECT_EQ(daemon.sim.lockdownRequests().back().request, "StopSession");
    EXPECT_TRUE(daemon.allClosed());

    // What a device leaves out.
    SimulatedDaemon bare(scenario(R"({"ModelNumber": "MQ9T3"})", "{}",
                                  std::string(R"({"entries": {"IOPMPowerSource": )") + kRegistry + "}}"));
    const IOSDeviceInfo defaults = IOSDeviceReader::read(kDevice, kShort);
    EXPECT_EQ(std::tuple(defaults.name, defaults.productType, defaults.marketingName, defaults.deviceClass,
                         defaults.osVersion, defaults.serialNumber, defaults.modelNumber, defaults.buildVersion),
              std::tuple("iOS Device", "Unknown", "Unknown", "iPhone", "?", kDevice.udid, "MQ9T3", std::nullopt));
    EXPECT_EQ(defaults.battery.chargePercent, 57);  // 57 of a MaxCapacity of 100
}

TEST(IOSDeviceReader, RelayFallbacksAndFailures) {
    const std::string noDesign = R"({"CycleCount": 7, "Voltage": 3800})";
    const std::string failing = std::string(R"({"entries": {"IOPMPowerSource": )") + kRegistry +
                                R"(}, "faults": {"status": "Failure"}})";
    using Log = std::vector<std::string>;
    const struct {
        const char* what;
        std::string domain, relay, extra;
        bool relayStarts;
        std::string error;  // empty: the read succeeds with the figures below
        std::optional<std::int64_t> percent, design, cycles;
        Log log;            // empty: not checked
    } rows[] = {
        {"the second entry has the design capacity: the third is never asked for", "{}",
         R"({"entries": {"IOPMPowerSource": )" + noDesign + R"(, "AppleSmartBattery": {"BatteryData": {"DesignCapacity":
         3000}}, "AppleARMPMUCharger": {"DesignCapacity": 1}}})", "", true, "", std::nullopt, 3000, std::nullopt,
         Log{"IOPMPowerSource", "AppleSmartBattery", "Goodbye"}},
        {"nothing has it: the first non-empty registry", "{}",
         R"({"entries": {"AppleSmartBattery": )" + noDesign + R"(, "AppleARMPMUCharger": {"CycleCount": 9}}})", "",
         true, "", std::nullopt, std::nullopt, 7,
         Log{"IOPMPowerSource", "AppleSmartBattery", "AppleARMPMUCharger", "Goodbye"}},
        {"the relay hangs up after one answer", "{}",
         R"({"entries": {"IOPMPowerSource": )" + noDesign +
             R"(, "AppleSmartBattery": {"DesignCapacity": 3000}}, "faults": {"dropAfter": 1}})",
         "", true, "", std::nullopt, std::nullopt, 7, {}},
        {"every answer fails, the battery domain answered", R"({"BatteryCurrentCapacity": 40})", failing, "", true,
         "", 40, std::nullopt, std::nullopt, Log{"IOPMPowerSource", "AppleSmartBattery", "AppleARMPMUCharger",
         "Goodbye"}},
        {"the battery domain fails too", R"({"BatteryCurrentCapacity": 40})", failing,
         R"(, "errors": {"GetValue:com.apple.mobile.battery": "InvalidDomain"})", true,
         "Diagnostics: No battery data returned by the device.", {}, {}, {},
         Log{"IOPMPowerSource", "AppleSmartBattery", "AppleARMPMUCharger", "Goodbye"}},
        {"no relay, no domain", "{}", R"({"entries": {}})", "", false, "Device error: InvalidService", {}, {}, {}, {}},
        {"no relay", R"({"BatteryCurrentCapacity": 40})", R"({"entries": {}})", "", false, "", 40, {}, {}, {}},
        {"locked", "{}", "{}", R"(, "errors": {"StartSession": "PasswordProtected"})", true,
         "The device is locked. Unlock it and try again.", {}, {}, {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SimulatedDaemon daemon(scenario(kGeneral, row.domain, row.relay, row.extra, row.relayStarts));
        if (!row.error.empty()) {
            expectError([] { IOSDeviceReader::read(kDevice, kShort); }, row.error);
        } else {
            const IOSBatteryInfo b = IOSDeviceReader::read(kDevice, kShort).battery;
            EXPECT_EQ(std::tuple(b.chargePercent, b.designCapacity, b.cycleCount),
                      std::tuple(row.percent, row.design, row.cycles));
            EXPECT_EQ(b.rawValues.empty(), !b.cycleCount && !b.designCapacity);  // a registry, or none at all
        }
        if (!row.log.empty()) {
            EXPECT_EQ(relayLog(daemon.sim), row.log);
        }
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
    } percents[] = {  // INT64_MAX of 1 overflows when multiplied by 100: no crash, no value
        {57, 100, 57}, {2000, 4000, std::nullopt}, {INT64_MAX, 1, std::nullopt}, {INT64_MAX, 100, INT64_MAX}};
    for (const auto& row : percents)
        EXPECT_EQ(battery({{"CurrentCapacity", row.current}, {"MaxCapacity", row.max}}).chargePercent, row.percent);
    EXPECT_EQ(battery({{"Temperature", 0}, {"VirtualTemperature", 3125}}).temperature, 31.25);
    EXPECT_EQ(battery({{"AdapterDetails", PlistDict{{"Description", "pd charger"}}}}).adapterName, "pd charger");
    const auto fromData =
        battery({{"NominalChargeCapacity", 2980}, {"AppleRawBatteryVoltage", 3900}, {"Amperage", -5},
                 {"BatteryData", PlistDict{{"FccComp1", 1}, {"CycleCount", 3}, {"Serial", "S"}}}},
                {{"FullyCharged", true}});
    EXPECT_EQ(std::tuple(fromData.fullChargeCapacity, fromData.cycleCount, fromData.voltage, fromData.amperage,
                         fromData.batterySerial, fromData.fullyCharged, fromData.isCharging),
              std::tuple(2980, 3, 3900, -5, "S", true, false));
}

TEST(IOSBatteryInfo, HealthAndWatts) {
    using Figure = std::optional<std::int64_t>;
    const auto info = [](Figure full, Figure design, Figure mV, Figure mA) {
        IOSBatteryInfo b{};
        std::tie(b.fullChargeCapacity, b.designCapacity, b.voltage, b.amperage) = std::tuple(full, design, mV, mA);
        return b;
    };
    EXPECT_DOUBLE_EQ(info(3100, 3000, {}, {}).health().value_or(0), 103.33333333333333);
    for (const auto& [full, design] : {std::pair<Figure, Figure>{{}, 3000}, {3100, 0}, {3100, -5}})
        EXPECT_EQ(info(full, design, {}, {}).health(), std::nullopt);
    EXPECT_DOUBLE_EQ(info({}, {}, 3800, -1200).watts().value_or(0), -4.56);
    EXPECT_EQ(std::tuple(info({}, {}, 3800, 0).watts(), info({}, {}, {}, -1200).watts()),
              std::tuple(std::nullopt, std::nullopt));
}
