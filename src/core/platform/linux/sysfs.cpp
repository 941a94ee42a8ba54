#include "platform/linux/sysfs.hpp"

#include "base/file_io.hpp"  // FileDescriptor

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string_view>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace celvio::sysfs {
namespace {

using FileIO::FileDescriptor;

struct DirectoryCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

FileDescriptor openForReading(const std::string& path) {
    for (;;) {
        // O_NONBLOCK: a FIFO planted in a recorded tree must not hang the reader.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0 || errno != EINTR) return FileDescriptor(fd);
    }
}

}  // namespace

std::optional<std::string> readFile(const std::string& path, std::size_t limit) {
    const FileDescriptor file = openForReading(path);
    if (!file.isOpen()) return std::nullopt;
    // Kernel attributes are regular files; a FIFO, socket or device planted in their
    // place is never waited on.
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    std::string bytes;
    char buffer[4096];  // one sysfs attribute is at most a page
    while (bytes.size() < limit) {
        const ssize_t n = ::read(file.get(), buffer, std::min(sizeof(buffer), limit - bytes.size()));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;  // EIO, ENODATA, ENODEV from a driver ...
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

std::optional<std::string> readAttribute(const std::string& path) {
    auto value = readFile(path, 4096);
    if (value && !value->empty() && value->back() == '\n') value->pop_back();
    return value;
}

std::vector<std::string> listDirectory(const std::string& path, bool filesOnly) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, DirectoryCloser> dir(::opendir(path.c_str()));
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        // sysfs links "device" and "subsystem" and holds "power/" and "hwmonN/" beside the attributes.
        if (filesOnly && (entry->d_type == DT_DIR || entry->d_type == DT_LNK)) continue;
        names.emplace_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace celvio::sysfs
