#pragma once

#include "reading/ios_device_info.hpp"
#include "reading/mac_battery_info.hpp"
#include "reading/mac_system_info.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
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
/// The computer: the host word's section ("Computer"), "Hardware & System".
std::vector<Section> mac(const MacSystemInfo& info, const NumberFormat& format);
/// "Battery", "Capacity", "Electrical", "Status", "Power Adapter".
std::vector<Section> macBattery(const MacBatteryInfo& battery, const NumberFormat& format);

}  // namespace Sections

/// The em dash that stands for every absent value, in the details and in the views.
inline constexpr char kAbsentText[] = "\u2014";

/// The value texts the details and the panels' tiles share; "—" stands for absent.
/// The UTC calendar day, "2025-01-01".
std::string dayString(const std::optional<std::chrono::system_clock::time_point>& date);
/// Minutes as "1:35 h".
std::string hoursString(std::int64_t minutes);
/// "31.3 °C" when above 0 °C; "—" when absent or not above 0 (no reading).
std::string temperatureString(const std::optional<double>& celsius, const NumberFormat& format);
/// Millivolts as "4.01 V".
std::string voltsString(std::int64_t millivolts, const NumberFormat& format);

/// How old something made at `since` is at `now`, in whole calendar months (UTC):
/// "0 months", "1 month", "11 months", then "1 y 0 m", "2 y 3 m". A date in the future
/// counts backwards ("-1 months").
std::string ageString(std::chrono::system_clock::time_point since,
                      std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace celvio
