#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

/// Small reads of kernel-provided files (sysfs, procfs, the device tree).
namespace celvio::sysfs {

/// The file's bytes as they are (at most `limit` of them), or absent when it cannot be
/// opened or read.
std::optional<std::string> readFile(const std::string& path, std::size_t limit = 65536);

/// A sysfs attribute: the file without the one newline the kernel ends it with.
std::optional<std::string> readAttribute(const std::string& path);

/// The names in a folder in byte order, without "." and "..". With `filesOnly`, entries
/// known to be folders or symbolic links are left out. Empty when it cannot be read.
std::vector<std::string> listDirectory(const std::string& path, bool filesOnly = false);

}  // namespace celvio::sysfs
