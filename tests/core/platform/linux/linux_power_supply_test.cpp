// The battery as Linux drivers expose it: recorded sysfs trees, and supplies built in place.

#include "platform/host_platform.hpp"
#include "reading/mac_battery_reader.hpp"
#include "platform/linux/battery_registry.hpp"
#include "reading/raw_values.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace celvio;
using namespace std::chrono;

namespace {

const system_clock::time_point kNow = sys_days{year{2025} / June / 15} + hours{12};
constexpr std::nullopt_t none = std::nullopt;
using Attributes = std::map<std::string, std::string, std::less<>>;

std::filesystem::path tree(const std::string& name) { return std::filesystem::path(CELVIO_HOST_DATA_DIR) / name; }

struct Expected {
    std::optional<std::int64_t> designCapacity, fullChargeCapacity, currentCapacity;
    std::int64_t chargePercent, cycleCount, voltage, amperage;
    bool isCharging, externalConnected;
    std::optional<std::int64_t> timeToFull, timeToEmpty;
    std::optional<std::string> adapterName;
    std::optional<std::int64_t> adapterWatts;
    double health, batteryPower;
    std::optional<std::string> serial;
    std::optional<system_clock::time_point> manufactureDate;
};

PowerSupply supply(std::string name, Attributes attributes) { return {std::move(name), std::move(attributes), none}; }

}  // namespace

TEST(LinuxPowerSupply, RecordedBatteries) {
    const struct {
        const char* tree;
        Expected e;
    } rows[] = {
        // µAh / 1000; to full: (4,010,000 - 2,990,000) µAh at 1,520,000 µA = 40.3 min. ACPI
        // pads its strings; an Apple serial carries its week code (2019, week 37, Monday).
        // Health 4010 / 4400; power 12.48 V × 1.52 A.
        {"charge-ac-charging", {4400, 4010, 2990, 74, 312, 12480, 1520, true, true, 40, none, "ADP1", none,
                                91.136363636, 18.9696, "D869371A1CRJWLCBB", sys_days{year{2019} / September / 17}}},
        // µWh × 1000 / 11,520,000 µV: 4947.9, 4453.1, 3339.8 mAh; 8.47 W / 12.1 V = 700 mA;
        // to empty: 38,475,000 µWh at 8,470,000 µW = 4.5425 h = 272.6 min. An empty serial.
        {"energy-discharging", {4948, 4453, 3340, 75, 0, 12100, -700, false, false, none, 273, none, none,
                                89.995957963, -8.47, none, none}},
        // ACPI's positive rate while discharging; to empty: 2,400,000 µAh at 1,500,000 µA = 96 min.
        {"acpi-discharging", {4200, 3900, 2400, 61, 150, 11850, -1500, false, false, none, 96, none, none,
                              92.857142857, -17.775, "4711", none}},
        // The SMC's own signed current and estimate (5,820 s = 97 min) and manufacture date.
        {"asahi", {4382, 4120, 3378, 82, 87, 12870, -2100, false, false, none, 97, none, none, 94.020994980,
                   -27.027, "F8Y2345ABCD1234XY", sys_days{year{2022} / July / 14}}},
        // Both packs summed. BAT0 at 11.46 V: 2094.2, 1832.5, 1814.1 mAh; BAT1 at 11.4 V:
        // 6315.8, 5964.9, 2631.6 mAh. Charge: 50.79 of 89 Wh = 57 %. BAT1 charges at 15 W /
        // 12.2 V = 1229.5 mA, BAT0 idles; cycles of the older pack; to full: 38.21 Wh at 15 W.
        {"two-batteries", {8410, 7797, 4446, 57, 420, 12200, 1230, true, true, 153, none, "AC", none,
                           92.711058264, 15.006, none, none}},
        // 52,000,000, 47,000,000 and 37,600,000 µWh at 15.4 V; the USB-C contract 20 V × 3.25 A.
        {"usb-c", {3377, 3052, 2442, 80, 61, 16800, 0, false, true, none, none, "ucsi-source-psy-USBC000:002", 65,
                   90.376073438, 0.0, none, none}},
        // A percentage alone: no mAh at all. A numeric serial has no week code.
        {"capacity-only", {none, none, none, 57, 0, 11800, 0, false, false, none, none, none, none, 0.0, 0.0,
                           "00512345", none}},
        // No design voltage: 3 cells (12.16 V / 4.45 V, up) at 3.8 V = 11.4 V. 57, 51.3 and
        // 34.2 Wh: 5000, 4500, 3000 mAh; 9.12 W / 12.16 V = 750 mA; 34.2 Wh at 9.12 W = 225 min.
        {"energy-voltage-now", {5000, 4500, 3000, 67, 210, 12160, -750, false, false, none, 225, none, none, 90.0,
                                -9.12, none, none}},
        // BAT0's bay is empty; BAT1 dates itself. To empty: 2,340,000 µAh at 1,300,000 µA = 108 min.
        {"second-bay", {5200, 4680, 2340, 50, 33, 11700, -1300, false, false, none, 108, none, none, 90.0, -15.21,
                        "27182818", sys_days{year{2021} / March / 9}}},
        // "capacity" out of 0...100 is ignored: the charge over the full charge instead.
        {"capacity-negative", {4400, 4000, 1000, 25, 0, 0, 0, false, false, none, none, none, none, 90.909090909,
                               0.0, none, none}},
        {"capacity-over", {4400, 4000, 3000, 75, 0, 0, 0, false, false, none, none, none, none, 90.909090909, 0.0,
                           none, none}},
        // Only a uevent file (the first type counts). No adapter reports, and the battery is
        // not discharging: connected.
        {"uevent-only", {none, 3000, none, 0, 0, 0, 0, false, true, none, none, none, none, 0.0, 0.0, none, none}},
    };
    for (const auto& [name, e] : rows) {
        SCOPED_TRACE(name);
        const auto registry = readBatteryRegistry(tree(name));
        ASSERT_TRUE(registry);
        const auto b = MacBatteryReader::read(*registry, kNow);
        ASSERT_TRUE(b);
        EXPECT_EQ(std::tuple(b->designCapacity, b->fullChargeCapacity, b->currentCapacity, b->chargePercent,
                             b->cycleCount, b->voltage, b->amperage, b->isCharging, b->externalConnected),
                  std::tuple(e.designCapacity, e.fullChargeCapacity, e.currentCapacity, e.chargePercent,
                             e.cycleCount, e.voltage, e.amperage, e.isCharging, e.externalConnected));
        EXPECT_EQ(std::tuple(b->timeToFull, b->timeToEmpty, b->adapterName, b->adapterWatts, b->batterySerial),
                  std::tuple(e.timeToFull, e.timeToEmpty, e.adapterName, e.adapterWatts, e.serial));
        EXPECT_EQ(b->manufactureDate, e.manufactureDate);
        EXPECT_NEAR(b->health(), e.health, 1e-6);
        EXPECT_NEAR(b->batteryPower(), e.batteryPower, 1e-9);
    }
    // Tenths of °C, the gauge's name and the adapter's output.
    const auto asahi = MacBatteryReader::read(*readBatteryRegistry(tree("asahi")), kNow);
    EXPECT_EQ(std::tuple(asahi->temperature, asahi->gaugeName), std::tuple(30.6, "bq40z651"));
    EXPECT_EQ(MacBatteryReader::read(tree("charge-ac-charging"))->temperature, 0.0);
    const auto usb = MacBatteryReader::read(*readBatteryRegistry(tree("usb-c")), kNow);
    EXPECT_EQ(std::tuple(usb->adapterVoltage, usb->adapterCurrent), std::tuple(20000, 3250));
    EXPECT_TRUE(MacBatteryReader::read(tree("uevent-only"))->fullyCharged);
}

TEST(LinuxPowerSupply, CapacitiesDoNotDriftWithTheVoltage) {
    // Each row is a pack of its own, read at its voltages in turn. The four-cell pack seen
    // at 16.4 V keeps its four cells (15.2 V) at 12.9 V, where a first look counts three.
    const struct {
        std::vector<const char*> microvolts;
        std::int64_t design, full, now;  // mAh
    } rows[] = {{{"12600000", "10900000"}, 5000, 4500, 3000}, {{"16400000", "12900000"}, 3750, 3375, 2250}};
    for (const auto& row : rows) {
        test::TempDir dir;
        std::filesystem::copy(tree("energy-voltage-now"), dir.path(), std::filesystem::copy_options::recursive);
        for (const char* microvolts : row.microvolts) {
            std::ofstream(dir / "sys/class/power_supply/BAT0/voltage_now", std::ios::trunc) << microvolts << '\n';
            const auto b = MacBatteryReader::read(dir.path());
            EXPECT_EQ(std::tuple(b->designCapacity, b->fullChargeCapacity, b->currentCapacity),
                      std::tuple(row.design, row.full, row.now))
                << microvolts;
        }
    }
}

TEST(LinuxPowerSupply, EveryPacksAttributesKeptAsRead) {
    const auto registry = readBatteryRegistry(tree("charge-ac-charging")).value();
    const PlistDict* original = dictValue(*dictValue(registry, "PowerSupply"), "BAT0");
    EXPECT_EQ(original->size(), 17u);  // the attribute files, without uevent and the power/ folder
    EXPECT_EQ(stringValue(*original, "serial_number"), "D869371A1CRJWLCBB   ");
    EXPECT_FALSE(original->contains("uevent") || original->contains("power"));

    // Every pack under its own name, an empty bay too; the adapter is not a pack.
    for (const char* name : {"second-bay", "two-batteries"}) {
        const auto rows = RawValues::flatten(*readBatteryRegistry(tree(name)));
        const auto has = [&](const RawRow& row) { return std::find(rows.begin(), rows.end(), row) != rows.end(); };
        EXPECT_TRUE(has({"PowerSupply.BAT0.present", std::string(name) == "second-bay" ? "0" : "1"})) << name;
        EXPECT_TRUE(has({"PowerSupply.BAT1.present", "1"})) << name;
        EXPECT_FALSE(std::ranges::any_of(rows, [](const RawRow& r) { return r.first.starts_with("PowerSupply.AC"); }));
    }
}

TEST(LinuxPowerSupply, NoInternalBattery) {
    EXPECT_EQ(boolValue(readBatteryRegistry(tree("not-present")).value(), "BatteryInstalled"), false);
    EXPECT_FALSE(MacBatteryReader::read(tree("not-present")));
    EXPECT_FALSE(readBatteryRegistry(tree("peripheral-only")));  // scope Device
    EXPECT_FALSE(readBatteryRegistry(tree("desktop")));          // no power_supply class
    EXPECT_FALSE(readBatteryRegistry("/nonexistent"));
}

TEST(LinuxPowerSupply, UnreadableAttributesAreAbsent) {
    test::TempDir root;
    const auto folder = root / "sys/class/power_supply/BAT0";
    std::filesystem::create_directories(folder / "capacity");  // EISDIR
    for (const auto& [attribute, value] :
         {std::pair{"type", "Battery"}, {"charge_full", "4000000"}, {"charge_now", "1000000"}})
        std::ofstream(folder / attribute) << value << '\n';
    // A FIFO that nobody writes must not hang the read; a file without read permission
    // fails like a driver's EIO (unless the tests run as root).
    ASSERT_EQ(::mkfifo((folder / "voltage_now").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((folder / "status").c_str(), 0600), 0);
    std::ofstream(folder / "cycle_count") << "12\n";
    std::filesystem::permissions(folder / "cycle_count", std::filesystem::perms::none);
    const auto b = MacBatteryReader::read(root.path());
    ASSERT_TRUE(b);
    EXPECT_EQ(std::tuple(b->chargePercent, b->voltage, b->isCharging), std::tuple(25, 0, false));
    EXPECT_TRUE(::geteuid() == 0 || b->cycleCount == 0) << b->cycleCount;
}

TEST(LinuxPowerSupply, DriverQuirks) {
    const auto registry = [](Attributes extra, std::vector<PowerSupply> others = {}) {
        extra.emplace("type", "Battery");
        others.insert(others.begin(), supply("BAT0", std::move(extra)));
        return *batteryRegistry(others);
    };
    const struct {
        const char* what;
        Attributes battery;
        PlistDict expected;  // keys absent when absent here, except those listed in `absent`
        std::vector<const char*> absent;
    } rows[] = {
        {"no capacity: 37.5 % from the charge, rounded up", {{"charge_now", "1500000"}, {"charge_full", "4000000"}},
         {{"CurrentCapacity", 38}, {"MaxCapacity", 100}}, {}},
        // 13.2 V / 4.35 V = 3 cells at 3.8 V each: 57 Wh is 5000 mAh.
        {"cells from the full-charge voltage", {{"energy_full_design", "57000000"}, {"voltage_max_design", "13200000"}},
         {{"DesignCapacity", 5000}}, {}},
        {"beyond a laptop pack", {{"voltage_now", "150000000"}, {"current_now", "-60000000"}, {"temp", "1500"}},
         {}, {"Voltage", "InstantAmperage", "Temperature"}},
        {"beyond in power and cold", {{"voltage_now", "12000000"}, {"power_now", "-600000000"}, {"temp", "-410"}},
         {}, {"InstantAmperage", "Temperature"}},
        {"at the limits", {{"voltage_now", "12000000"}, {"power_now", "6000000"}, {"temp", "-400"}},
         {{"InstantAmperage", 500}, {"Temperature", -4000}}, {}},
        {"energy without voltage; cycle count 0 is unknown",
         {{"energy_full_design", "57000000"}, {"cycle_count", "0"}, {"capacity", "x"}},
         {}, {"DesignCapacity", "CycleCount", "CurrentCapacity"}},
        {"charging with a negative current", {{"status", "Charging"}, {"current_now", "-900000"}},
         {{"InstantAmperage", 900}}, {}},
        {"month 13", {{"manufacture_year", "2022"}, {"manufacture_month", "13"}, {"manufacture_day", "1"}},
         {}, {"ManufactureDate"}},
    };
    for (const auto& row : rows) {
        const PlistDict r = registry(row.battery);
        for (const auto& [key, value] : row.expected) EXPECT_EQ(r.at(key), value) << row.what << ": " << key;
        for (const char* key : row.absent) EXPECT_FALSE(r.contains(key)) << row.what << ": " << key;
    }

    // Garbage around the strings, broken UTF-8 inside; the original kept as read.
    auto r = registry({{"model_name", "\xff\xfe 5B\xc3" "10 \x01"}, {"serial_number", "   "}});
    EXPECT_EQ(stringValue(r, "DeviceName"), "5B\uFFFD" "10");
    EXPECT_FALSE(r.contains("Serial"));
    EXPECT_EQ(stringValue(*dictValue(*dictValue(r, "PowerSupply"), "BAT0"), "model_name"),
              "\uFFFD\uFFFD 5B\uFFFD" "10 \x01");

    // A programmable USB PD supply says online 2; a peripheral's USB supply is not the computer's.
    r = registry({{"status", "Discharging"}},
                 {supply("cros-usbpd-charger-port0", {{"type", "USB_PD"}, {"online", "2"}})});
    EXPECT_EQ(boolValue(r, "ExternalConnected"), true);
    r = registry({{"status", "Charging"}},
                 {supply("apple_mfi_fastcharge", {{"type", "USB"}, {"scope", "Device"}, {"online", "1"}}),
                  supply("AC", {{"type", "Mains"}, {"online", "0"}})});
    EXPECT_EQ(boolValue(r, "ExternalConnected"), false);
    EXPECT_FALSE(r.contains("AdapterDetails"));
}

TEST(LowPowerMode, PlatformProfile) {
    // "low-power", "balanced", no profile.
    EXPECT_EQ(std::tuple(lowPowerModeEnabled(tree("energy-discharging")),
                         lowPowerModeEnabled(tree("charge-ac-charging")), lowPowerModeEnabled(tree("desktop"))),
              std::tuple(true, false, false));
}
