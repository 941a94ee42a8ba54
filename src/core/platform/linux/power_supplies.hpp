#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace celvio {

/// One entry of /sys/class/power_supply and the attributes read from it, as read
/// (attribute file name → its text without the final newline).
struct PowerSupply {
    std::string name;
    std::map<std::string, std::string, std::less<>> attributes;
    /// The highest "voltage_now" (µV) this process has read of this pack so far, this
    /// reading included; absent when unknown.
    std::optional<std::int64_t> highestMicrovolts;

    /// The attribute with blanks trimmed; absent when missing or blank.
    std::optional<std::string> text(std::string_view attribute) const;
    /// The attribute as a decimal integer; absent when missing or not a whole number.
    std::optional<std::int64_t> number(std::string_view attribute) const;

    /// A battery that powers the computer: type "Battery", scope not "Device".
    bool isSystemBattery() const;
    /// Not an empty bay: "present" is missing or not 0.
    bool isPresent() const;
    /// Mains or USB power that may feed the computer (type "Mains" or "USB*"; a "Device"
    /// scope means it powers a peripheral instead).
    bool isExternalPower() const;
};

/// The supplies under `root`/sys/class/power_supply in name order. Each gets "type" and
/// "scope"; every system battery "present", and a present one every attribute; external
/// power the few that describe an adapter. Other supplies are not read further: a wireless peripheral's
/// driver may ask the device over the air for each attribute.
std::vector<PowerSupply> readPowerSupplies(const std::filesystem::path& root);

}  // namespace celvio
