#include "platform/paths.hpp"

#include <cstdlib>
#include <string>
#include <vector>

#include <pwd.h>     // getpwuid_r
#include <unistd.h>  // getuid, sysconf

namespace celvio::Paths {
namespace {

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

}  // namespace

std::filesystem::path homeDirectory() {
    if (const char* home = environment("HOME")) return home;
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16'384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        *found->pw_dir)
        return found->pw_dir;
    // No home at all (a stripped container): the root folder at least exists.
    return "/";
}

std::filesystem::path dataDirectory() {
    // freedesktop.org: a relative value is to be ignored.
    if (const char* data = environment("XDG_DATA_HOME"); data && *data == '/') return data;
    return homeDirectory() / ".local" / "share";
}

std::filesystem::path temporaryDirectory() {
    if (const char* tmp = environment("TMPDIR")) return tmp;
    return "/tmp";
}

}  // namespace celvio::Paths
