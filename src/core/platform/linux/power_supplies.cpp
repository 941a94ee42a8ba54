#include "platform/linux/power_supplies.hpp"

#include "base/text.hpp"
#include "platform/linux/sysfs.hpp"

#include <charconv>

namespace celvio {
namespace {

/// "POWER_SUPPLY_TYPE=Battery" lines; some drivers repeat a key, the first one counts.
void addFromUevent(PowerSupply& supply, const std::string& folder) {
    const auto uevent = sysfs::readFile(folder + "/uevent");
    if (!uevent) return;
    constexpr std::string_view kPrefix = "POWER_SUPPLY_";
    std::string_view rest = *uevent;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const auto equals = line.find('=');
        if (!line.starts_with(kPrefix) || equals == std::string_view::npos) continue;
        std::string key(line.substr(kPrefix.size(), equals - kPrefix.size()));
        for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        supply.attributes.try_emplace(std::move(key), line.substr(equals + 1));
    }
}

void addAttribute(PowerSupply& supply, const std::string& folder, const std::string& attribute) {
    if (auto value = sysfs::readAttribute(folder + "/" + attribute))
        supply.attributes.insert_or_assign(attribute, std::move(*value));
}

}  // namespace

std::optional<std::string> PowerSupply::text(std::string_view attribute) const {
    const auto found = attributes.find(attribute);
    if (found == attributes.end()) return std::nullopt;
    const std::string_view value = trimmed(found->second);
    if (value.empty()) return std::nullopt;
    return std::string(value);
}

std::optional<std::int64_t> PowerSupply::number(std::string_view attribute) const {
    const auto found = attributes.find(attribute);
    if (found == attributes.end()) return std::nullopt;
    const std::string_view value = trimmed(found->second);
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size()) return std::nullopt;
    return number;
}

bool PowerSupply::isSystemBattery() const { return text("type") == "Battery" && text("scope") != "Device"; }

bool PowerSupply::isPresent() const { return number("present").value_or(1) != 0; }

bool PowerSupply::isExternalPower() const {
    const auto type = text("type");
    return type && (*type == "Mains" || type->starts_with("USB")) && text("scope") != "Device";
}

std::vector<PowerSupply> readPowerSupplies(const std::filesystem::path& root) {
    const std::string classFolder = (root / "sys/class/power_supply").string();
    std::vector<PowerSupply> supplies;
    // Class entries are symbolic links to the device folders, so they are not filtered.
    for (std::string& name : sysfs::listDirectory(classFolder)) {
        PowerSupply supply{std::move(name), {}, std::nullopt};
        const std::string folder = classFolder + "/" + supply.name;
        addAttribute(supply, folder, "type");
        addAttribute(supply, folder, "scope");
        if (!supply.attributes.contains("type")) addFromUevent(supply, folder);
        if (supply.isSystemBattery()) {
            addAttribute(supply, folder, "present");
            // An empty bay has nothing more to say.
            if (supply.isPresent())
                for (const std::string& attribute : sysfs::listDirectory(folder, true))
                    if (attribute != "uevent" && attribute != "type" && attribute != "scope" && attribute != "present")
                        addAttribute(supply, folder, attribute);
        } else if (supply.isExternalPower()) {
            for (const char* attribute : {"online", "model_name", "voltage_now", "current_max"})
                addAttribute(supply, folder, attribute);
        }
        supplies.push_back(std::move(supply));
    }
    return supplies;
}

}  // namespace celvio
