#pragma once

#include "ios_device_info.hpp"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace celvio {

/// Number texts for the user's locale. The default is the C locale (no grouping, a
/// point); the application supplies one backed by its locale.
class NumberFormat {
public:
    virtual ~NumberFormat() = default;
    /// The integer with the locale's digit grouping.
    virtual std::string grouped(std::int64_t value) const;
    /// The real with exactly `digits` fraction digits.
    virtual std::string fixed(double value, int digits) const;
};

/// The titled label-and-value lists of a device's details.
namespace Sections {

struct Section {
    std::string title;
    std::vector<std::pair<std::string, std::string>> rows;
    bool operator==(const Section&) const = default;
};

/// "Device", "Software & Connection".
std::vector<Section> device(const IOSDeviceInfo& info);
/// "Battery", "Electrical & Status".
std::vector<Section> deviceBattery(const IOSBatteryInfo& battery, const NumberFormat& format);

}  // namespace Sections

}  // namespace celvio
