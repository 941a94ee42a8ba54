// The battery as Linux drivers expose it: recorded sysfs trees, and supplies built in place.

#include "low_power_mode.hpp"
#include "mac_battery_reader.hpp"
#include "platform/battery_registry.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <fstream>

using namespace celvio;
using namespace std::chrono;

namespace {

const system_clock::time_point kNow = sys_days{year{2025} / June / 15} + hours{12};

std::filesystem::path tree(const std::string& name) { return std::filesystem::path(CELVIO_HOST_DATA_DIR) / name; }

struct Expected {
    std::int64_t designCapacity, fullChargeCapacity, currentCapacity, chargePercent, cycleCount, voltage, amperage;
    bool isCharging, externalConnected;
    std::optional<std::int64_t> timeToFull, timeToEmpty;
    std::optional<std::string> adapterName;
    std::optional<std::int64_t> adapterWatts;
    double health, batteryPower;
};

PowerSupply supply(std::string name, std::map<std::string, std::string, std::less<>> attributes) {
    return {std::move(name), std::move(attributes)};
}

}  // namespace

TEST(LinuxPowerSupply, RecordedBatteries) {
    const struct {
        const char* tree;
        Expected e;
    } rows[] = {
        // µAh / 1000; to full: (4,010,000 - 2,990,000) µAh at 1,520,000 µA = 40.3 min.
        {"charge-ac-charging",
         {4400, 4010, 2990, 74, 312, 12480, 1520, true, true, 40, std::nullopt, "ADP1", std::nullopt,
          91.136363636,  // 4010 / 4400
          18.9696}},     // 12.48 V × 1.52 A
        // µWh × 1000 / 11,520,000 µV: 4947.9, 4453.1, 3339.8 mAh; 8.47 W / 12.1 V = 700 mA;
        // to empty: 38,475,000 µWh at 8,470,000 µW = 4.5425 h = 272.6 min.
        {"energy-discharging",
         {4948, 4453, 3340, 75, 0, 12100, -700, false, false, std::nullopt, 273, std::nullopt, std::nullopt,
          89.995957963,  // 4453 / 4948
          -8.47}},
        // ACPI's positive rate while discharging; to empty: 2,400,000 µAh at 1,500,000 µA = 96 min.
        {"acpi-discharging",
         {4200, 3900, 2400, 61, 150, 11850, -1500, false, false, std::nullopt, 96, std::nullopt, std::nullopt,
          92.857142857, -17.775}},
        // The SMC's own signed current and estimate (5,820 s = 97 min).
        {"asahi",
         {4382, 4120, 3378, 82, 87, 12870, -2100, false, false, std::nullopt, 97, std::nullopt, std::nullopt,
          94.020994980, -27.027}},
        // BAT0, not BAT1: 24,000,000, 21,000,000 and 20,790,000 µWh at 11.46 V.
        {"two-batteries",
         {2094, 1832, 1814, 99, 420, 12800, 0, false, true, std::nullopt, std::nullopt, "AC", std::nullopt,
          87.488061127, 0.0}},
        // 52,000,000, 47,000,000 and 37,600,000 µWh at 15.4 V; the USB-C contract 20 V × 3.25 A.
        {"usb-c",
         {3377, 3052, 2442, 80, 61, 16800, 0, false, true, std::nullopt, std::nullopt, "ucsi-source-psy-USBC000:002",
          65, 90.376073438, 0.0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tree);
        const auto registry = MacBatteryReader::readRegistry(tree(row.tree));
        ASSERT_TRUE(registry);
        const auto b = MacBatteryReader::read(*registry, kNow);
        ASSERT_TRUE(b);
        const Expected& e = row.e;
        EXPECT_EQ(b->designCapacity, e.designCapacity);
        EXPECT_EQ(b->fullChargeCapacity, e.fullChargeCapacity);
        EXPECT_EQ(b->currentCapacity, e.currentCapacity);
        EXPECT_EQ(b->chargePercent, e.chargePercent);
        EXPECT_EQ(b->cycleCount, e.cycleCount);
        EXPECT_EQ(b->voltage, e.voltage);
        EXPECT_EQ(b->amperage, e.amperage);
        EXPECT_EQ(b->isCharging, e.isCharging);
        EXPECT_EQ(b->externalConnected, e.externalConnected);
        EXPECT_EQ(b->timeToFull, e.timeToFull);
        EXPECT_EQ(b->timeToEmpty, e.timeToEmpty);
        EXPECT_EQ(b->adapterName, e.adapterName);
        EXPECT_EQ(b->adapterWatts, e.adapterWatts);
        EXPECT_NEAR(b->health(), e.health, 1e-6);
        EXPECT_NEAR(b->batteryPower(), e.batteryPower, 1e-9);
    }
}

TEST(LinuxPowerSupply, TextsTemperatureAndDates) {
    const auto asahi = MacBatteryReader::read(*MacBatteryReader::readRegistry(tree("asahi")), kNow);
    EXPECT_DOUBLE_EQ(asahi->temperature, 30.6);  // tenths of °C
    EXPECT_EQ(asahi->manufactureDate, sys_days{year{2022} / July / 14});
    EXPECT_EQ(asahi->batterySerial, "F8Y2345ABCD1234XY");
    EXPECT_EQ(asahi->gaugeName, "bq40z651");

    // ACPI pads its strings; an Apple serial carries its week code (2019, week 37, Monday).
    const auto mac = MacBatteryReader::read(*MacBatteryReader::readRegistry(tree("charge-ac-charging")), kNow);
    EXPECT_EQ(mac->batterySerial, "D869371A1CRJWLCBB");
    EXPECT_EQ(mac->manufactureDate, sys_days{year{2019} / September / 17});
    EXPECT_EQ(mac->temperature, 0.0);

    const auto usb = MacBatteryReader::read(*MacBatteryReader::readRegistry(tree("usb-c")), kNow);
    EXPECT_EQ(usb->adapterVoltage, 20000);
    EXPECT_EQ(usb->adapterCurrent, 3250);
    EXPECT_EQ(MacBatteryReader::read(*MacBatteryReader::readRegistry(tree("energy-discharging")), kNow)->batterySerial,
              std::nullopt);  // an empty serial_number
}

TEST(LinuxPowerSupply, EveryAttributeKeptAsRead) {
    const auto registry = MacBatteryReader::readRegistry(tree("charge-ac-charging"));
    const PlistDict* original = dictValue(*registry, "PowerSupply");
    ASSERT_TRUE(original);
    EXPECT_EQ(original->size(), 17u);  // the attribute files, without uevent and the power/ folder
    EXPECT_EQ(stringValue(*original, "serial_number"), "D869371A1CRJWLCBB   ");
    EXPECT_EQ(stringValue(*original, "alarm"), "0");
    EXPECT_FALSE(original->contains("uevent"));
    EXPECT_FALSE(original->contains("power"));
}

TEST(LinuxPowerSupply, NoInternalBattery) {
    const auto bayEmpty = MacBatteryReader::readRegistry(tree("not-present"));
    ASSERT_TRUE(bayEmpty);
    EXPECT_EQ(boolValue(*bayEmpty, "BatteryInstalled"), false);
    EXPECT_FALSE(MacBatteryReader::read(tree("not-present")));
    EXPECT_FALSE(MacBatteryReader::readRegistry(tree("peripheral-only")));  // scope Device
    EXPECT_FALSE(MacBatteryReader::readRegistry(tree("desktop")));          // no power_supply class
    EXPECT_FALSE(MacBatteryReader::readRegistry("/nonexistent"));
}

TEST(LinuxPowerSupply, UeventStandsInForMissingAttributeFiles) {
    test::TempDir root;
    const auto folder = root / "sys/class/power_supply/BAT0";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "uevent") << "POWER_SUPPLY_NAME=BAT0\nPOWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_TYPE=Mains\n"
                                        "POWER_SUPPLY_STATUS=Full\nPOWER_SUPPLY_CHARGE_FULL=3000000\n";
    const auto b = MacBatteryReader::read(root.path());
    ASSERT_TRUE(b);
    EXPECT_EQ(b->fullChargeCapacity, 3000);
    EXPECT_TRUE(b->fullyCharged);
    EXPECT_TRUE(b->externalConnected);  // no adapter reports, and the battery is not discharging
}

TEST(LinuxPowerSupply, DriverQuirks) {
    const auto battery = [](std::map<std::string, std::string, std::less<>> extra) {
        std::map<std::string, std::string, std::less<>> attributes{{"type", "Battery"}};
        attributes.merge(extra);
        return supply("BAT0", std::move(attributes));
    };
    const auto registryOf = [](std::vector<PowerSupply> supplies) { return *batteryRegistry(supplies); };

    // No "capacity": the percentage comes from the charge, not 0.
    auto r = registryOf({battery({{"charge_now", "1500000"}, {"charge_full", "4000000"}})});
    EXPECT_EQ(intValue(r, "CurrentCapacity"), 38);  // 37.5 rounds up
    EXPECT_EQ(intValue(r, "MaxCapacity"), 100);

    // Garbage around the strings, broken UTF-8 inside.
    r = registryOf({battery({{"model_name",
                              "\xff\xfe 5B\xc3"
                              "10 \x01"},
                             {"serial_number", "   "}})});
    EXPECT_EQ(stringValue(r, "DeviceName"),
              "5B\uFFFD"
              "10");
    EXPECT_FALSE(r.contains("Serial"));
    EXPECT_EQ(stringValue(*dictValue(r, "PowerSupply"), "model_name"),
              "\uFFFD\uFFFD 5B\uFFFD"
              "10 \x01");

    // Energy without any voltage cannot become mAh; a cycle count of 0 is unknown.
    r = registryOf({battery({{"energy_full_design", "57000000"}, {"cycle_count", "0"}, {"capacity", "x"}})});
    EXPECT_FALSE(r.contains("DesignCapacity"));
    EXPECT_FALSE(r.contains("CycleCount"));
    EXPECT_FALSE(r.contains("CurrentCapacity"));

    // Charging with a driver that reports a negative current.
    r = registryOf({battery({{"status", "Charging"}, {"current_now", "-900000"}})});
    EXPECT_EQ(intValue(r, "InstantAmperage"), 900);

    // A programmable USB PD supply says online 2; a peripheral's USB supply is not the computer's.
    r = registryOf({battery({{"status", "Discharging"}}),
                    supply("cros-usbpd-charger-port0", {{"type", "USB_PD"}, {"online", "2"}})});
    EXPECT_EQ(boolValue(r, "ExternalConnected"), true);
    r = registryOf({battery({{"status", "Charging"}}),
                    supply("apple_mfi_fastcharge", {{"type", "USB"}, {"scope", "Device"}, {"online", "1"}}),
                    supply("AC", {{"type", "Mains"}, {"online", "0"}})});
    EXPECT_EQ(boolValue(r, "ExternalConnected"), false);
    EXPECT_FALSE(r.contains("AdapterDetails"));

    // Only real calendar values are packed.
    r = registryOf({battery({{"manufacture_year", "2022"}, {"manufacture_month", "13"}, {"manufacture_day", "1"}})});
    EXPECT_FALSE(r.contains("ManufactureDate"));
}

TEST(LowPowerMode, PlatformProfile) {
    EXPECT_TRUE(lowPowerModeEnabled(tree("energy-discharging")));   // "low-power"
    EXPECT_FALSE(lowPowerModeEnabled(tree("charge-ac-charging")));  // "balanced"
    EXPECT_FALSE(lowPowerModeEnabled(tree("desktop")));             // no profile
}
