#include "reading/mac_battery_reader.hpp"

#include "base/first_of.hpp"
#include "base/utf8.hpp"
#include "platform/host_platform.hpp"

#include <algorithm>
#include <cmath>

namespace celvio::MacBatteryReader {
namespace {

using std::chrono::system_clock;

/// Halves away from zero; a hostile registry must not push the cast out of range.
std::int64_t roundedToInt(double value) {
    if (!(value > -9.2e18)) return value < 0 ? INT64_MIN : 0;
    if (value >= 9.2e18) return INT64_MAX;
    return std::llround(value);
}

std::optional<std::int64_t> estimateMinutes(const PlistDict& registry, std::string_view key) {
    const auto minutes = intValue(registry, key);
    // 65535 is the gauge's "no estimate".
    if (!minutes || *minutes < 1 || *minutes > 65534) return std::nullopt;
    return minutes;
}

/// "MaxCapacity" when it is a capacity in mAh: above 100, beyond the percent scale.
std::optional<std::int64_t> maxCapacityInMAh(const PlistDict& registry) {
    const auto max = intValue(registry, "MaxCapacity");
    return max && *max >= 101 ? max : std::nullopt;
}

std::optional<std::int64_t> chargePercent(const PlistDict& registry, std::optional<std::int64_t> currentCapacity) {
    if (const auto max = maxCapacityInMAh(registry))
        return roundedToInt(static_cast<double>(currentCapacity.value_or(0)) / static_cast<double>(*max) * 100.0);
    return intValue(registry, "CurrentCapacity");
}

/// The week code of an Apple serial describes the maker's own packs only: 17 upper-case
/// letters and digits, letters among them. Any other serial would decode to a made-up date.
bool hasMakersSerialShape(std::string_view serial) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isLetter = [](char c) { return c >= 'A' && c <= 'Z'; };
    return serial.size() == 17 &&
           std::all_of(serial.begin(), serial.end(), [&](char c) { return isDigit(c) || isLetter(c); }) &&
           std::any_of(serial.begin(), serial.end(), isLetter);
}

double temperature(const PlistDict& registry) {
    auto hundredths = intValue(registry, "VirtualTemperature");
    if (!hundredths || *hundredths <= 0) hundredths = intValue(registry, "Temperature");
    return hundredths ? static_cast<double>(*hundredths) / 100.0 : 0.0;
}

/// Every element's integer value, or empty when any element is not a number.
std::vector<std::int64_t> cellVoltages(const PlistDict& batteryData) {
    const auto found = batteryData.find("CellVoltage");
    const PlistArray* cells = found == batteryData.end() ? nullptr : found->second.get<PlistArray>();
    if (!cells) return {};
    std::vector<std::int64_t> voltages;
    voltages.reserve(cells->size());
    for (const PlistValue& cell : *cells) {
        // intValue reads a dictionary entry; a one-entry dictionary keeps one conversion rule.
        if (cell.get<std::string>()) return {};
        const auto millivolts = intValue(PlistDict{{"", cell}}, "");
        if (!millivolts) return {};
        voltages.push_back(*millivolts);
    }
    return voltages;
}

constexpr int floorDiv(int a, int b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

/// Midnight UTC of a Gregorian date; months and days beyond their range roll over into
/// the neighbouring months and years, as the platform calendar does.
system_clock::time_point lenientDate(int year, int month, int day) {
    using namespace std::chrono;
    const int months = month - 1;
    const int carry = floorDiv(months, 12);
    const auto first =
        sys_days{std::chrono::year{year + carry} / std::chrono::month(unsigned(months - carry * 12 + 1)) / 1};
    return first + days{day - 1};
}

std::optional<system_clock::time_point> serialDate(const std::string& serial, system_clock::time_point now) {
    using namespace std::chrono;
    const std::u32string text =
        decodeUTF8(ByteView(reinterpret_cast<const std::uint8_t*>(serial.data()), serial.size()));
    if (text.size() < 7) return std::nullopt;
    const auto isDigit = [](char32_t c) { return c >= U'0' && c <= U'9'; };
    if (!isDigit(text[3])) return std::nullopt;
    const int yearDigit = static_cast<int>(text[3] - U'0');

    // Characters 5 and 6: a week number, which may carry a sign of its own.
    int sign = 1;
    std::size_t i = 4;
    if (text[i] == U'+' || text[i] == U'-') sign = text[i++] == U'-' ? -1 : 1;
    int week = 0;
    for (; i < 6; ++i) {
        if (!isDigit(text[i])) return std::nullopt;
        week = week * 10 + static_cast<int>(text[i] - U'0');
    }
    week *= sign;
    if (week > 53) return std::nullopt;
    if (text[6] < U'1' || text[6] > U'7') return std::nullopt;
    const int weekday = static_cast<int>(text[6] - U'0');

    const int thisYear = static_cast<int>(year_month_day{floor<days>(now)}.year());
    // The latest year not after this one that ends in the digit.
    const int year = thisYear - ((thisYear % 10 - yearDigit + 10) % 10);
    const auto date = lenientDate(year, 1, 1) + days{7 * week + weekday - 1};
    if (date > now) return std::nullopt;
    return date;
}

}  // namespace

std::optional<MacBatteryInfo> read(const std::filesystem::path& root) {
    const auto registry = readBatteryRegistry(root);
    if (!registry) return std::nullopt;
    return read(*registry);
}

std::optional<MacBatteryInfo> read(const PlistDict& registry, system_clock::time_point now) {
    if (boolValue(registry, "BatteryInstalled") == false) return std::nullopt;
    static const PlistDict empty;
    const PlistDict* foundData = dictValue(registry, "BatteryData");
    const PlistDict& batteryData = foundData ? *foundData : empty;

    MacBatteryInfo b;
    // A percentage never passes for mAh: "MaxCapacity" and "CurrentCapacity" count as
    // capacities only when "MaxCapacity" is beyond the percent scale.
    const bool maxInMAh = maxCapacityInMAh(registry).has_value();
    b.fullChargeCapacity = firstOf(
        {intValue(registry, "AppleRawMaxCapacity"), maxInMAh ? intValue(registry, "MaxCapacity") : std::nullopt});
    b.currentCapacity = firstOf({intValue(registry, "AppleRawCurrentCapacity"),
                                 maxInMAh ? intValue(registry, "CurrentCapacity") : std::nullopt});
    b.chargePercent = chargePercent(registry, b.currentCapacity).value_or(0);
    b.temperature = temperature(registry);
    b.timeToFull = estimateMinutes(registry, "AvgTimeToFull");
    b.timeToEmpty = estimateMinutes(registry, "AvgTimeToEmpty");
    b.batterySerial = firstOf({stringValue(registry, "Serial"), stringValue(batteryData, "Serial")});
    b.designCapacity = firstOf({intValue(registry, "DesignCapacity"), intValue(batteryData, "DesignCapacity")});
    b.nominalChargeCapacity = intValue(registry, "NominalChargeCapacity");
    b.cycleCount = intValue(registry, "CycleCount").value_or(0);
    b.designCycleCount = intValue(registry, "DesignCycleCount9C");
    b.voltage = firstOf({intValue(registry, "Voltage"), intValue(registry, "AppleRawBatteryVoltage")}).value_or(0);
    b.amperage = firstOf({intValue(registry, "InstantAmperage"), intValue(registry, "Amperage")}).value_or(0);
    b.isCharging = boolValue(registry, "IsCharging").value_or(false);
    b.externalConnected = boolValue(registry, "ExternalConnected").value_or(false);
    b.fullyCharged = boolValue(registry, "FullyCharged").value_or(false);
    b.manufactureDate =
        manufactureDate(firstOf({intValue(registry, "ManufactureDate"), intValue(batteryData, "ManufactureDate")}),
                        b.batterySerial, now);
    b.gaugeName = stringValue(registry, "DeviceName");
    b.cellVoltages = cellVoltages(batteryData);
    if (const PlistDict* adapter = dictValue(registry, "AdapterDetails")) {
        b.adapterName = firstOf({stringValue(*adapter, "Name"), stringValue(*adapter, "Description")});
        b.adapterWatts = intValue(*adapter, "Watts");
        b.adapterVoltage = intValue(*adapter, "AdapterVoltage");
        b.adapterCurrent = intValue(*adapter, "Current");
    }
    b.systemPower = doubleValue(batteryData, "SystemPower");
    b.readDate = now;
    return b;
}

std::optional<system_clock::time_point> manufactureDate(std::optional<std::int64_t> raw,
                                                        const std::optional<std::string>& serial,
                                                        system_clock::time_point now) {
    if (raw && *raw >= 1 && *raw <= 65535) {
        const int packed = static_cast<int>(*raw);
        return lenientDate(1980 + (packed >> 9), (packed >> 5) & 15, packed & 31);
    }
    if (serial && hasMakersSerialShape(*serial)) return serialDate(*serial, now);
    return std::nullopt;
}

}  // namespace celvio::MacBatteryReader
