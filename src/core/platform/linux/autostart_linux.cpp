#include "platform/autostart.hpp"

#include "base/file_io.hpp"
#include "platform/paths.hpp"

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace celvio::Autostart {
namespace {

// The desktop session starts it with the user's PATH, like the launcher entry does.
constexpr std::string_view kEntry =
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=Celvio\n"
    "Comment=Records battery health in the background\n"
    "Exec=celvio --background\n"
    "Icon=celvio\n"
    "Terminal=false\n"
    "NoDisplay=true\n"
    "X-GNOME-Autostart-enabled=true\n";

std::filesystem::path configDirectory() {
    // freedesktop.org: a relative value is to be ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return config;
    return Paths::homeDirectory() / ".config";
}

}  // namespace

std::filesystem::path entryFile() { return configDirectory() / "autostart" / "celvio.desktop"; }

bool isEnabled() {
    std::error_code error;
    return std::filesystem::is_regular_file(entryFile(), error);
}

int setEnabled(bool enabled) {
    const std::filesystem::path file = entryFile();
    std::error_code error;
    if (!enabled) {
        std::filesystem::remove(file, error);
        return error.value();
    }
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) return error.value();
    return FileIO::writeAtomically(file, kEntry);
}

}  // namespace celvio::Autostart
