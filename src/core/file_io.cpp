#include "file_io.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace celvio::FileIO {
namespace {

constexpr std::string_view kTemporaryInfix = ".tmp-";

/// ".history.json.tmp-": hidden, and named after the file it will replace.
std::string temporaryPrefix(const std::filesystem::path& file) {
    std::string prefix = ".";
    prefix += file.filename().string();
    prefix += kTemporaryInfix;
    return prefix;
}

int writeAll(int fd, std::string_view bytes) noexcept {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + offset, bytes.size() - offset);
        if (written >= 0) {
            offset += static_cast<std::size_t>(written);
            continue;
        }
        if (errno != EINTR) return errno;
    }
    return 0;
}

int syncFD(int fd) noexcept {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    const auto parent = file.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

int FileDescriptor::close() noexcept {
    if (fd_ < 0) return 0;
    // Never retried: after EINTR the descriptor is already released on Linux.
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
}

ReadResult readFile(const std::filesystem::path& file) {
    ReadResult result;
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.isOpen()) {
        result.error = errno;
        return result;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && info.st_size > 0) result.bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65'536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got > 0) {
            result.bytes.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            result.error = errno;
            result.bytes.clear();
            break;
        }
    }
    return result;
}

int writeAtomically(const std::filesystem::path& file, std::string_view bytes) {
    const std::filesystem::path folder = folderOf(file);
    std::string temporary = (folder / (temporaryPrefix(file) + "XXXXXX")).string();
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.isOpen()) return errno;

    int error = writeAll(fd.get(), bytes);
    if (error == 0) error = syncFD(fd.get());
    if (const int closed = fd.close(); error == 0) error = closed;
    if (error == 0 && ::rename(temporary.c_str(), file.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    // The rename itself is only durable once the folder is flushed (fsync(2), NOTES).
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.isOpen()) syncFD(directory.get());
    return 0;
}

void removeStaleTemporaries(const std::filesystem::path& file, std::chrono::seconds age) noexcept {
    const std::string prefix = temporaryPrefix(file);
    std::error_code error;
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::directory_iterator it(folderOf(file), error);
    for (const std::filesystem::directory_iterator end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        // mkostemp adds exactly six characters.
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) continue;
        std::error_code ignored;
        const auto changed = std::filesystem::last_write_time(it->path(), ignored);
        if (!ignored && now - changed > age) std::filesystem::remove(it->path(), ignored);
    }
}

TemporaryFolder::TemporaryFolder(const std::filesystem::path& parent, const std::string& name) {
    std::filesystem::create_directories(parent);
    const std::filesystem::path folder = parent / name;
    if (::mkdir(folder.c_str(), 0700) != 0)
        throw std::system_error(errno, std::generic_category(), "mkdir " + folder.string());
    path_ = folder;
}

void TemporaryFolder::remove() noexcept {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    path_.clear();
}

}  // namespace celvio::FileIO
