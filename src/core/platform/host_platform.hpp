#pragma once

#include "platform/host_words.hpp"
#include "platform/paths.hpp"
#include "plist/plist.hpp"
#include "reading/mac_system_info.hpp"

#include <filesystem>
#include <optional>

/// What a platform provides to the rest of Celvio, all of it here: the battery registry,
/// the system facts, the low-power flag, and (in the two headers included above, which
/// most callers need alone) the host words and the user's folders. Each platform defines
/// these in its own folder (platform/linux/), which the build picks; nothing else reads
/// the operating system's files. Every reader takes the root of the system to read ("/"
/// is this machine), so tests read recorded trees.
namespace celvio {

/// Whether `root` is a folder a system can be read from; an empty path is none.
bool isSystemRoot(const std::filesystem::path& root);

/// The battery's registry dictionary, which MacBatteryReader turns into the record.
/// Absent when the computer has no internal battery. On Linux these are the present power
/// supplies that are batteries and not a peripheral's, summed into one, with every
/// battery's original attributes under "PowerSupply" and its supply name. Never throws.
std::optional<PlistDict> readBatteryRegistry(const std::filesystem::path& root = "/");

/// What the computer is. Never fails: every missing source gives its default.
MacSystemInfo readMacSystemInfo(const std::filesystem::path& root = "/");

/// Whether the system runs in its low-power mode. On Linux: the ACPI platform profile
/// reads "low-power". False when it cannot be read.
bool lowPowerModeEnabled(const std::filesystem::path& root = "/");

}  // namespace celvio
