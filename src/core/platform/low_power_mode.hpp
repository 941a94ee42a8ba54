#pragma once

#include <filesystem>

namespace celvio {

/// Whether the system under `root` ("/" is this machine) runs in its low-power mode. On
/// Linux: the ACPI platform profile reads "low-power". False when it cannot be read.
bool lowPowerModeEnabled(const std::filesystem::path& root = "/");

}  // namespace celvio
