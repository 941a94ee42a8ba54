#include "display/sections.hpp"

#include <gtest/gtest.h>

using namespace celvio;
using namespace std::chrono;
using Sections::Section;

namespace {

/// A grouping locale, to tell grouped figures from plain ones (enough for four digits).
class Grouping : public NumberFormat {
public:
    std::string grouped(std::int64_t value) const override {
        std::string digits = std::to_string(value);
        return value >= 1000 && value < 10000 ? digits.insert(1, ",") : digits;
    }
};

system_clock::time_point at(int y, unsigned m, unsigned d, int hour = 0) {
    return sys_days{year{y} / month{m} / day{d}} + hours{hour};
}

}  // namespace

TEST(Sections, MacBattery) {
    const auto made = at(2023, 3, 9);
    const MacBatteryInfo battery{
        .chargePercent = 1234, .currentCapacity = 2990, .fullChargeCapacity = 4382, .designCapacity = 4700,
        .cycleCount = 312, .designCycleCount = 1000, .temperature = 30.56, .voltage = 12600, .amperage = -1500,
        .externalConnected = true, .timeToFull = 95, .manufactureDate = made, .batterySerial = "F8Y2345",
        .gaugeName = "bq40z651", .cellVoltages = {4012, 4018}, .adapterName = "96W USB-C", .adapterWatts = 96,
        .adapterVoltage = 20000, .adapterCurrent = 3250, .systemPower = 14.26};
    const std::vector<Section> expected{
        {"Battery", {{"Serial Number", "F8Y2345"}, {"Gas Gauge", "bq40z651"}, {"Manufacture Date", "2023-03-09"},
                     {"Age", ageString(made)}}},
        {"Capacity", {{"Current Charge", "2,990 mAh"}, {"Full Charge Capacity", "4,382 mAh"},
                      {"Nominal Capacity", "\u2014"}, {"Design Capacity", "4,700 mAh"}, {"Health", "93.2 %"},
                      {"Charge Cycles", "312 of 1000"}}},
        {"Electrical", {{"Voltage", "12.60 V"}, {"Amperage", "-1500 mA"}, {"Battery Power", "-18.9 W"},
                        {"Cell Voltages", "4.01 V, 4.02 V"}, {"Temperature", "30.6 \u00B0C"}}},
        {"Status", {{"Charge", "1234 %"}, {"Charging", "No"}, {"Fully Charged", "No"}, {"Time to Full", "1:35 h"}}},
        {"Power Adapter", {{"Connected", "Yes"}, {"Adapter", "96W USB-C"}, {"Negotiated Power", "96 W"},
                           {"Adapter Output", "20.00 V / 3.25 A"}, {"System Power", "14.3 W"}}},
    };
    EXPECT_EQ(Sections::macBattery(battery, Grouping()), expected);
}

TEST(Sections, MacBatteryWithNothingReported) {
    const auto sections = Sections::macBattery(MacBatteryInfo{}, NumberFormat());
    EXPECT_EQ(sections[0].rows[3].second, "\u2014");  // no age without a date
    for (const std::size_t row : {0, 1, 3, 4})        // no capacities, so no health either
        EXPECT_EQ(sections[1].rows[row].second, "\u2014") << sections[1].rows[row].first;
    EXPECT_EQ(sections[2].rows[3].second, "\u2014");  // no cells
    EXPECT_EQ(sections[2].rows[4].second, "\u2014");  // temperature 0
    EXPECT_EQ(sections[3].rows.size(), 3u);           // no time rows
    EXPECT_EQ(sections[4].rows, (std::vector<std::pair<std::string, std::string>>{{"Connected", "No"}}));

    const auto status =
        Sections::macBattery(MacBatteryInfo{.timeToEmpty = 605, .adapterVoltage = 20000}, NumberFormat());
    EXPECT_EQ(status[3].rows.back(), (std::pair<std::string, std::string>{"Time Remaining", "10:05 h"}));
    EXPECT_EQ(status[4].rows.size(), 1u);  // an output needs both voltage and current
}

TEST(Sections, Mac) {
    MacSystemInfo info{"Anna's MacBook Pro", "MacBookPro16,1", "MacBook Pro (16-inch, 2019)", std::nullopt,
                       "MVVJ2D/A", std::nullopt, "Intel(R) Core(TM) i7-9750H CPU @ 2.60GHz", 16, "6.1.0", 273845.61,
                       "Laptop"};
    const std::vector<Section> expected{
        {"Computer", {{"Name", "Anna's MacBook Pro"}, {"Model", "MacBook Pro (16-inch, 2019)"},
                      {"Model Identifier", "MacBookPro16,1"}, {"Model Number", "MVVJ2D/A"},
                      {"Regulatory Model", "\u2014"}, {"Serial Number", "\u2014"}}},
        {"Hardware & System", {{"Chip", "Intel(R) Core(TM) i7-9750H CPU @ 2.60GHz"}, {"Memory", "16 GB"},
                               {"Linux", "6.1.0"}, {"Uptime", "3d 4h 4m"}}},
    };
    EXPECT_EQ(Sections::mac(info, NumberFormat()), expected);

    const struct {
        double seconds;
        const char* text;
    } uptimes[] = {{0.42, "0m"}, {59.9, "0m"}, {60, "1m"}, {3600, "1h"}, {86400 + 60, "1d 1m"}, {90061, "1d 1h 1m"}};
    for (const auto& row : uptimes) {
        info.uptime = row.seconds;
        EXPECT_EQ(Sections::mac(info, NumberFormat())[1].rows[3].second, row.text) << row.seconds;
    }
}

TEST(Sections, AgeString) {
    const auto now = at(2025, 6, 15, 12);
    const struct {
        system_clock::time_point since;
        const char* text;
    } rows[] = {
        {at(2024, 5, 15), "1 y 1 m"},   {at(2024, 6, 15), "1 y 0 m"},    // 13 and 12 months
        {at(2025, 5, 25), "0 months"},  {at(2025, 5, 15), "1 month"},    // 3 weeks, a month
        {at(2024, 7, 16), "10 months"},                                  // a day short of 11
        {at(2025, 6, 15, 13), "0 months"}, {at(2025, 7, 20), "-1 months"},  // an hour and five weeks ahead
        {at(2024, 1, 31), "1 y 4 m"},                                    // the 31st is not reached yet
    };
    for (const auto& row : rows) EXPECT_EQ(ageString(row.since, now), row.text) << row.text;
}
