#pragma once

#include <filesystem>

/// Starting Celvio when the user logs in: `celvio --background` (no window, recording
/// only). Each platform backend has its own way.
namespace celvio::Autostart {

/// Linux: the XDG autostart entry, "celvio.desktop" in the "autostart" folder of
/// $XDG_CONFIG_HOME when it is absolute, else of "~/.config".
std::filesystem::path entryFile();

/// Whether the entry exists now.
bool isEnabled();

/// Writes the entry (creating its folder), or removes it; removing a missing entry is no
/// failure. Returns 0 or the errno value of what failed.
int setEnabled(bool enabled);

}  // namespace celvio::Autostart
