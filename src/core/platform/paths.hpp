#pragma once

#include <filesystem>

/// Where the user's files live. Each platform backend has its own answers. Part of what a
/// platform provides (platform/host_platform.hpp).
namespace celvio::Paths {

/// The user's home folder: $HOME, else the password database's entry, else "/".
std::filesystem::path homeDirectory();

/// The folder for the application's data: $XDG_DATA_HOME when it is absolute, else
/// "~/.local/share", as the freedesktop.org base-directory rules say.
std::filesystem::path dataDirectory();

/// The folder for temporary files: $TMPDIR when set and not empty, else "/tmp".
std::filesystem::path temporaryDirectory();

}  // namespace celvio::Paths
