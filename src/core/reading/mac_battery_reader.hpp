#pragma once

#include "reading/mac_battery_info.hpp"
#include "plist/plist.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

/// The computer's internal battery: the platform fetches the battery's registry
/// dictionary (readBatteryRegistry, platform/host_platform.hpp), a pure conversion here
/// turns it into the record.
namespace celvio::MacBatteryReader {

/// The registry of the system under `root` ("/" is this machine) converted; absent
/// without an internal battery.
std::optional<MacBatteryInfo> read(const std::filesystem::path& root = "/");

/// The record a registry dictionary describes, read at `now`; absent when the dictionary
/// says "BatteryInstalled" false. Missing values give 0, false, empty or absent.
std::optional<MacBatteryInfo> read(const PlistDict& registry,
                                   std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

/// The battery's manufacturing day at midnight UTC: the packed registry date
/// (bits 0-4 day, 5-8 month, 9-15 years since 1980) when `raw` is 1...65535, else the
/// week code of an Apple serial (characters 4-7: year digit, week, weekday), never
/// later than `now`, when the serial has the maker's shape (17 upper-case letters and
/// digits). Absent when neither gives a date.
std::optional<std::chrono::system_clock::time_point> manufactureDate(
    std::optional<std::int64_t> raw, const std::optional<std::string>& serial,
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace celvio::MacBatteryReader
