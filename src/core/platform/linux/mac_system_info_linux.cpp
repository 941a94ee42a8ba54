#include "platform/linux/mac_system_info_linux.hpp"

#include "reading/device_catalog.hpp"
#include "platform/host_platform.hpp"
#include "base/first_of.hpp"
#include "base/text.hpp"
#include "base/utf8.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace celvio {
namespace {

bool isPlaceholder(std::string_view value) {
    // What board vendors leave in unfilled DMI fields.
    static constexpr std::array<std::string_view, 16> kPlaceholders = {"to be filled by o.e.m.",
                                                                       "to be filled by oem",
                                                                       "default string",
                                                                       "system product name",
                                                                       "system version",
                                                                       "system serial number",
                                                                       "not applicable",
                                                                       "not specified",
                                                                       "none",
                                                                       "n/a",
                                                                       "0123456789",
                                                                       "o.e.m.",
                                                                       "1.0",
                                                                       "x.x",
                                                                       "type1productconfigid",
                                                                       "invalid"};
    std::string lower(value);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return std::find(kPlaceholders.begin(), kPlaceholders.end(), lower) != kPlaceholders.end();
}

std::optional<std::string> dmiText(const std::optional<std::string>& raw) {
    if (!raw) return std::nullopt;
    const std::string_view value = trimmed(*raw);
    if (value.empty() || isPlaceholder(value)) return std::nullopt;
    return repairedUTF8(value);
}

/// A device-tree string property: the bytes before the first zero byte, spaces and tabs
/// trimmed; absent when nothing is left.
std::optional<std::string> deviceTreeText(std::string_view raw) {
    const std::string text = repairedUTF8(raw.substr(0, raw.find('\0')));
    const std::string_view value = trimmed(text, " \t");
    if (value.empty()) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> deviceTreeProperty(const std::optional<std::string>& raw) {
    return raw ? deviceTreeText(*raw) : std::nullopt;
}

/// The SoC of a "compatible" list ("apple,j413", "apple,t8112", ...): its second entry.
std::optional<std::string> deviceTreeSoC(const std::optional<std::string>& compatible) {
    if (!compatible) return std::nullopt;
    const auto end = compatible->find('\0');
    if (end == std::string::npos) return std::nullopt;
    return deviceTreeText(std::string_view(*compatible).substr(end + 1));
}

/// The value of the first "label<tabs>: value" line of /proc/cpuinfo with that label.
std::optional<std::string> cpuinfoField(const std::string& cpuinfo, std::string_view label) {
    std::string_view rest = cpuinfo;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || trimmed(line.substr(0, colon)) != label) continue;
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (!value.empty()) return repairedUTF8(value);
    }
    return std::nullopt;
}

/// A variable of machine-info ("PRETTY_HOSTNAME="; shell-style assignments, see machine-info(5)).
std::optional<std::string> machineInfoValue(const std::string& machineInfo, std::string_view key) {
    std::string_view rest = machineInfo;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!line.starts_with(key)) continue;
        std::string_view value = line.substr(key.size());
        std::string name;
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
            name = value.substr(1, value.size() - 2);
        } else {
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (value[i] == '\\' && i + 1 < value.size()) ++i;
                name += value[i];
            }
        }
        if (!trimmed(name).empty()) return repairedUTF8(name);
    }
    return std::nullopt;
}

/// "Laptop", "Desktop" or the host word: the chassis the owner named in machine-info, else
/// the SMBIOS enclosure type of DMI.
std::string chassisKind(const std::optional<std::string>& machineInfo, const std::optional<std::string>& dmiType) {
    if (const auto named = machineInfo ? machineInfoValue(*machineInfo, "CHASSIS=") : std::nullopt) {
        if (*named == "laptop" || *named == "convertible") return "Laptop";
        if (*named == "desktop") return "Desktop";
    }
    int type = 0;
    if (dmiType) {
        const std::string_view text = trimmed(*dmiType);
        std::from_chars(text.data(), text.data() + text.size(), type);
    }
    // Portable, laptop, notebook, sub notebook, convertible, detachable.
    static constexpr std::array kLaptops = {8, 9, 10, 14, 31, 32};
    // Desktop, low profile, pizza box, mini tower, tower, all in one, space-saving, lunch
    // box, sealed-case PC, mini PC.
    static constexpr std::array kDesktops = {3, 4, 5, 6, 7, 13, 15, 16, 24, 35};
    if (std::find(kLaptops.begin(), kLaptops.end(), type) != kLaptops.end()) return "Laptop";
    if (std::find(kDesktops.begin(), kDesktops.end(), type) != kDesktops.end()) return "Desktop";
    return std::string(hostWords().host);
}

/// "6.1.0-18-amd64" → "6.1.0"; missing parts are 0 ("6.8-rc1" → "6.8.0").
std::string threePartVersion(std::string_view release) {
    std::uint64_t parts[3] = {0, 0, 0};
    const char* p = release.data();
    const char* const end = release.data() + release.size();
    for (std::uint64_t& part : parts) {
        const auto [next, error] = std::from_chars(p, end, part);
        if (error != std::errc()) {
            part = 0;
            break;
        }
        if (next == end || *next != '.') break;
        p = next + 1;
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]);
}

}  // namespace

MacSystemInfo systemInfo(const SystemFacts& facts) {
    const std::string host(hostWords().host);
    MacSystemInfo info;
    info.modelIdentifier = dmiText(facts.productName).value_or(host);
    info.productName =
        firstOf({deviceTreeProperty(facts.deviceTreeModel), DeviceCatalog::marketingName(info.modelIdentifier),
                 dmiText(facts.productFamily), dmiText(facts.productVersion)})
            .value_or(info.modelIdentifier);
    info.chip = deviceTreeSoC(facts.deviceTreeCompatible);
    if (!info.chip && facts.cpuinfo)
        info.chip = firstOf({cpuinfoField(*facts.cpuinfo, "model name"), cpuinfoField(*facts.cpuinfo, "Hardware")});
    info.osVersion = threePartVersion(facts.kernelRelease);
    std::optional<std::string> name;
    if (facts.machineInfo) name = machineInfoValue(*facts.machineInfo, "PRETTY_HOSTNAME=");
    if (!name && facts.hostname && !trimmed(*facts.hostname).empty()) name = repairedUTF8(trimmed(*facts.hostname));
    info.computerName = name.value_or(host);
    info.serialNumber = firstOf({dmiText(facts.productSerial), deviceTreeProperty(facts.deviceTreeSerial)});
    info.memoryGB = static_cast<std::int64_t>(facts.memoryBytes >> 30);
    info.uptime = facts.uptime;
    info.kind = chassisKind(facts.machineInfo, facts.chassisType);
    return info;
}

MacSystemInfo readMacSystemInfo(const std::filesystem::path& root) { return systemInfo(readSystemFacts(root)); }

}  // namespace celvio
