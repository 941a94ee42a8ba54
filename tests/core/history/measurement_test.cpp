#include "history/measurement.hpp"

#include <gtest/gtest.h>

#include <optional>

using namespace celvio;
using std::chrono::system_clock;

namespace {

const system_clock::time_point kNow = system_clock::from_time_t(1'700'000'000);

IOSDeviceInfo device(std::optional<std::int64_t> fcc, std::optional<std::int64_t> design,
                     std::optional<std::int64_t> cycles) {
    IOSDeviceInfo info;
    info.name = "Anna's iPhone";
    info.productType = "iPhone15,2";
    info.osVersion = "17.1";
    info.serialNumber = "F2LXK0ABCDEF";
    info.readDate = kNow;
    info.battery.fullChargeCapacity = fcc;
    info.battery.designCapacity = design;
    info.battery.cycleCount = cycles;
    info.battery.batterySerial = "F5D1234";
    return info;
}

MacBatteryInfo macBattery(std::optional<std::int64_t> fcc, std::optional<std::int64_t> design) {
    return {.fullChargeCapacity = fcc, .designCapacity = design, .cycleCount = 412, .batterySerial = "D86123"};
}

MacSystemInfo macSystem(std::optional<std::string> serial) {
    return {.computerName = "workbench", .modelIdentifier = "20XW0055GE", .serialNumber = std::move(serial),
            .osVersion = "6.1.0"};
}

/// The entry without its fresh id, to compare with the expected one.
std::optional<HistoryEntry> withoutId(std::optional<HistoryEntry> entry) {
    if (entry) {
        EXPECT_NE(entry->id, UUID());
        entry->id = UUID();
    }
    return entry;
}

}  // namespace

TEST(Measurement, EntriesOfReads) {
    const HistoryEntry phone{UUID(),  kNow, HistoryEntry::Kind::ios, "F2LXK0ABCDEF", "Anna's iPhone", "iPhone15,2",
                             "17.1",  "F5D1234", 301, 2900, 3200, std::nullopt};
    const HistoryEntry mac{UUID(),  kNow, HistoryEntry::Kind::mac, "PF3ABCDE", "workbench", "20XW0055GE",
                           "6.1.0", "D86123", 412, 4800, 5100, std::nullopt};
    const auto edited = [](HistoryEntry entry, auto change) {
        change(entry);
        return entry;
    };
    const struct {
        const char* name;
        std::optional<HistoryEntry> entry;
        std::optional<HistoryEntry> expected;
    } rows[] = {
        {"device", Measurement::ofDevice(device(2900, 3200, 301)), phone},
        {"device without cycle count", Measurement::ofDevice(device(2900, 3200, std::nullopt)),
         edited(phone, [](HistoryEntry& e) { e.cycleCount = 0; })},
        {"device without full charge", Measurement::ofDevice(device(std::nullopt, 3200, 301)), std::nullopt},
        {"device without design", Measurement::ofDevice(device(2900, std::nullopt, 301)), std::nullopt},
        {"device with design 0", Measurement::ofDevice(device(2900, 0, 301)), std::nullopt},
        {"computer", Measurement::ofMac(macBattery(4800, 5100), macSystem("PF3ABCDE"), kNow), mac},
        {"computer without serial", Measurement::ofMac(macBattery(4800, 5100), macSystem(std::nullopt), kNow),
         edited(mac, [](HistoryEntry& e) { e.deviceSerial = "20XW0055GE"; })},
        {"computer in percent only", Measurement::ofMac(macBattery(std::nullopt, std::nullopt), macSystem("X"), kNow),
         std::nullopt},
        {"computer with design -1", Measurement::ofMac(macBattery(4800, -1), macSystem("X"), kNow), std::nullopt}};
    for (const auto& row : rows) EXPECT_EQ(withoutId(row.entry), row.expected) << row.name;
}
