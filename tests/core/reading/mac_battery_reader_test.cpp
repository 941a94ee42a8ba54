#include "reading/mac_battery_reader.hpp"

#include <gtest/gtest.h>

using namespace celvio;
using namespace std::chrono;

namespace {

const system_clock::time_point kNow = sys_days{year{2025} / June / 15} + hours{12};

system_clock::time_point midnight(int y, unsigned m, unsigned d) { return sys_days{year{y} / month{m} / day{d}}; }

MacBatteryInfo convert(const PlistDict& registry) {
    const auto battery = MacBatteryReader::read(registry, kNow);
    EXPECT_TRUE(battery.has_value());
    return battery.value_or(MacBatteryInfo{});
}

}  // namespace

// BatteryInstalled false is the recorded machines' (not-present).
TEST(MacBatteryReader, BatteryInstalled) {
    EXPECT_EQ(convert({}), MacBatteryInfo{.readDate = kNow});  // missing: a record of defaults
    EXPECT_EQ(convert({{"BatteryInstalled", true}, {"CycleCount", 7}}).cycleCount, 7);
}

TEST(MacBatteryReader, ChargeTemperatureAndEstimates) {
    const struct {
        const char* what;
        PlistDict registry;
        std::int64_t percent;
    } rows[] = {
        {"percent scale", {{"MaxCapacity", 100}, {"CurrentCapacity", 80}}, 80},
        {"mAh scale, 74.75 rounds up", {{"MaxCapacity", 4000}, {"AppleRawCurrentCapacity", 2990}}, 75},
        {"negative half away from zero", {{"MaxCapacity", 200}, {"CurrentCapacity", -149}}, -75},
        {"101 is already mAh", {{"MaxCapacity", 101}, {"CurrentCapacity", 101}}, 100},
        {"above full is not clamped", {{"MaxCapacity", 5000}, {"AppleRawCurrentCapacity", 5100}}, 102},
        {"no maximum", {{"CurrentCapacity", 57}}, 57},
    };
    for (const auto& row : rows) EXPECT_EQ(convert(row.registry).chargePercent, row.percent) << row.what;

    // The virtual temperature first, unless it is 0 or below.
    for (const auto& [virtualTemperature, celsius] : {std::pair{0, 30.5}, {-20, 30.5}, {2950, 29.5}})
        EXPECT_DOUBLE_EQ(convert({{"VirtualTemperature", virtualTemperature}, {"Temperature", 3050}}).temperature,
                         celsius);

    // Only estimates within the gauge's window are kept.
    const std::pair<std::int64_t, std::optional<std::int64_t>> estimates[] = {
        {65535, std::nullopt}, {0, std::nullopt}, {-1, std::nullopt}, {1, 1}, {65534, 65534}};
    for (const auto& [minutes, kept] : estimates) {
        const auto b = convert({{"AvgTimeToFull", minutes}, {"AvgTimeToEmpty", minutes}});
        EXPECT_EQ(std::tuple(b.timeToFull, b.timeToEmpty), std::tuple(kept, kept)) << minutes;
    }
}

TEST(MacBatteryReader, FirstOfEachChainWins) {
    const auto b = convert({{"AppleRawMaxCapacity", 4100}, {"MaxCapacity", 4300}, {"AppleRawCurrentCapacity", 2000},
                            {"CurrentCapacity", 2100}, {"DesignCapacity", 4400}, {"Voltage", 12600},
                            {"AppleRawBatteryVoltage", 1}, {"InstantAmperage", -1500}, {"Amperage", -1},
                            {"Serial", "TOP"}, {"BatteryData", PlistDict{{"DesignCapacity", 1}, {"Serial", "DATA"}}}});
    EXPECT_EQ(std::tuple(b.fullChargeCapacity, b.currentCapacity, b.designCapacity, b.voltage, b.amperage),
              std::tuple(4100, 2000, 4400, 12600, -1500));
    EXPECT_EQ(b.batterySerial, "TOP");

    // The fallbacks; negative numbers arrive as text or as 64-bit patterns.
    const auto f = convert({{"MaxCapacity", 4300}, {"CurrentCapacity", 2100}, {"AppleRawBatteryVoltage", 11900},
                            {"Amperage", "-95923"},
                            {"BatteryData", PlistDict{{"DesignCapacity", 4500}, {"Serial", "DATA"},
                                                      {"SystemPower", 7.25}}}});
    EXPECT_EQ(
        std::tuple(f.fullChargeCapacity, f.currentCapacity, f.chargePercent, f.designCapacity, f.voltage, f.amperage),
        std::tuple(4300, 2100, 49, 4500, 11900, -95923));  // 2100 / 4300 = 48.8 %
    EXPECT_EQ(std::tuple(f.batterySerial, f.systemPower), std::tuple("DATA", 7.25));
    EXPECT_EQ(convert({{"InstantAmperage", std::int64_t(18446744073709551209ULL)}}).amperage, -407);

    // A percentage never passes for mAh.
    const auto percent = convert({{"MaxCapacity", 100}, {"CurrentCapacity", 57}});
    EXPECT_EQ(std::tuple(percent.chargePercent, percent.currentCapacity, percent.fullChargeCapacity),
              std::tuple(57, std::nullopt, std::nullopt));
}

TEST(MacBatteryReader, CellVoltagesOnlyWhenAllAreNumbers) {
    const std::pair<PlistValue, std::vector<std::int64_t>> rows[] = {
        {PlistArray{4012, 4018, 4009}, {4012, 4018, 4009}}, {PlistArray{4012.9, true}, {4012, 1}},
        {PlistArray{4012, "4018"}, {}}, {PlistArray{4012, PlistDict{}}, {}}, {PlistArray{}, {}}, {4012, {}}};
    for (const auto& [cells, voltages] : rows)
        EXPECT_EQ(convert({{"BatteryData", PlistDict{{"CellVoltage", cells}}}}).cellVoltages, voltages);
}

// Watts and the adapter's output are the recorded machines' (usb-c); the name is the
// description only when there is no name.
TEST(MacBatteryReader, AdapterName) {
    EXPECT_EQ(convert({{"AdapterDetails", PlistDict{{"Description", "pd charger"}}}}).adapterName, "pd charger");
    EXPECT_EQ(convert({{"AdapterDetails", PlistDict{{"Name", "96W USB-C"}, {"Description", "pd"}}}}).adapterName,
              "96W USB-C");
}

TEST(MacBatteryReader, ManufactureDate) {
    const struct {
        const char* what;
        std::optional<std::int64_t> raw;
        std::optional<std::string> serial;
        std::optional<system_clock::time_point> date;
    } rows[] = {
        {"packed 0x5A21", 0x5A21, std::nullopt, midnight(2025, 1, 1)},
        {"packed wins over the serial", 0x5A21, "ABC9371XYZ1234567", midnight(2025, 1, 1)},
        {"packed month 13 rolls over", (44 << 9) | (13 << 5) | 1, std::nullopt, midnight(2025, 1, 1)},
        {"packed day 0 is the month's eve", (45 << 9) | (3 << 5) | 0, std::nullopt, midnight(2025, 2, 28)},
        {"packed 0 leaves it to the serial", 0, "ABC5221XYZ1234567", midnight(2025, 6, 4)},
        {"beyond 16 bits", 65536, std::nullopt, std::nullopt},
        {"serial in the future", std::nullopt, "ABC5241XYZ1234567", std::nullopt},
        {"a sign is not the maker's alphabet", std::nullopt, "ABC5-11XYZ1234567", std::nullopt},
        {"lower case", std::nullopt, "abc5221xyz1234567", std::nullopt},
        {"16 characters", std::nullopt, "ABC5221XYZ123456", std::nullopt},
        {"week 54", std::nullopt, "ABC5541XYZ1234567", std::nullopt},
        {"weekday 0", std::nullopt, "ABC5220XYZ1234567", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(MacBatteryReader::manufactureDate(row.raw, row.serial, kNow), row.date) << row.what;

    // The record decodes the serial it keeps (this decade: week 22, Monday), from either place.
    EXPECT_EQ(convert({{"BatteryData", PlistDict{{"Serial", "ABC5221XYZ1234567"}}}}).manufactureDate,
              midnight(2025, 6, 4));
    EXPECT_EQ(convert({{"BatteryData", PlistDict{{"ManufactureDate", 0x5A21}}}}).manufactureDate, midnight(2025, 1, 1));
}
