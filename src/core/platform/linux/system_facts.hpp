#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace celvio {

/// What Linux says about the machine, as read: firmware strings untrimmed, device-tree
/// properties as their raw bytes (zero-terminated).
struct SystemFacts {
    std::optional<std::string> productName{};           ///< DMI product_name ("20XW0055GE", "MacBookPro16,1")
    std::optional<std::string> productFamily{};         ///< DMI product_family
    std::optional<std::string> productVersion{};        ///< DMI product_version
    std::optional<std::string> productSerial{};         ///< DMI product_serial; root only on most systems
    std::optional<std::string> chassisType{};           ///< DMI chassis_type, the SMBIOS enclosure code ("10")
    std::optional<std::string> deviceTreeModel{};       ///< /sys/firmware/devicetree/base/model
    std::optional<std::string> deviceTreeCompatible{};  ///< zero-separated, board first, then SoC
    std::optional<std::string> deviceTreeSerial{};
    std::optional<std::string> cpuinfo{};      ///< the start of /proc/cpuinfo
    std::optional<std::string> machineInfo{};  ///< /etc/machine-info
    std::optional<std::string> hostname{};
    std::string kernelRelease{};    ///< "6.1.0-18-amd64"; empty when unknown
    std::uint64_t memoryBytes = 0;  ///< installed: online memory blocks, else MemTotal up to a whole GiB
    double uptime = 0;              ///< seconds since boot, suspended time included
};

/// The facts of the system under `root`. For "/" the kernel's own calls answer the
/// release, memory, uptime and hostname (uname, sysconf, CLOCK_BOOTTIME); for a recorded
/// tree, the /proc files that mirror them.
SystemFacts readSystemFacts(const std::filesystem::path& root);

}  // namespace celvio
