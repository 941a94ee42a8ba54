#include "platform/host_platform.hpp"

#include "platform/linux/sysfs.hpp"

namespace celvio {

bool lowPowerModeEnabled(const std::filesystem::path& root) {
    // Documented in the kernel's Documentation/ABI/testing/sysfs-platform_profile.
    return sysfs::readAttribute((root / "sys/firmware/acpi/platform_profile").string()) == "low-power";
}

}  // namespace celvio
