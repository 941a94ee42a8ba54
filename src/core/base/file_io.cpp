#include "base/file_io.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>  // flock
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

FileStamp stampFrom(const struct stat& info) noexcept {
    return {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

}  // namespace

bool FileStamp::operator==(const FileStamp& other) const noexcept {
    if (exists != other.exists) return false;
    return !exists || (device == other.device && inode == other.inode && size == other.size &&
                       modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec);
}

FileStamp stampOf(const std::filesystem::path& file) noexcept {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return {};
    return stampFrom(info);
}

std::string errorText(int error) { return std::strerror(error); }

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

ReadResult readFile(const std::filesystem::path& file, std::uint64_t maxSize) {
    ReadResult result;
    const auto fail = [&result](int error, std::string reason = {}) {
        result.error = error;
        result.reason = reason.empty() ? errorText(error) : std::move(reason);
        result.bytes.clear();
        return std::move(result);
    };
    // O_NONBLOCK: opening a FIFO without a writer must not wait; regular files ignore it.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isOpen()) return fail(errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return fail(errno);
    if (!S_ISREG(info.st_mode)) {
        result.refused = true;
        return fail(S_ISDIR(info.st_mode) ? EISDIR : EINVAL, S_ISDIR(info.st_mode) ? "" : "Not a regular file");
    }
    const auto tooLarge = [&] {
        result.refused = true;
        constexpr std::uint64_t gib = std::uint64_t{1} << 30;
        return fail(EFBIG, "File larger than " + (maxSize % gib == 0 ? std::to_string(maxSize / gib) + " GiB"
                                                                     : std::to_string(maxSize) + " bytes"));
    };
    if (static_cast<std::uint64_t>(info.st_size) > maxSize) return tooLarge();
    result.stamp = stampFrom(info);
    result.bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65'536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got > 0) {
            // A file still growing is held to the same limit.
            if (result.bytes.size() + static_cast<std::size_t>(got) > maxSize) return tooLarge();
            result.bytes.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            return fail(errno);
        }
    }
    return result;
}

std::filesystem::path linkTarget(const std::filesystem::path& file) {
    std::filesystem::path path = file;
    // The kernel's own limit on links followed in one lookup (path_resolution(7)).
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        const auto status = std::filesystem::symlink_status(path, error);
        if (error || !std::filesystem::is_symlink(status)) return path;
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error) return path;
        path = next.is_absolute() ? next : folderOf(path) / next;
    }
    return path;
}

int writeAtomically(const std::filesystem::path& link, std::string_view bytes) {
    // Renaming over a link would replace the link; the file it points to is the one to replace.
    const std::filesystem::path file = linkTarget(link);
    const std::filesystem::path folder = folderOf(file);
    std::string temporary = (folder / (temporaryPrefix(file) + "XXXXXX")).string();
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.isOpen()) return errno;

    int error = 0;
    struct stat old {};
    if (::stat(file.c_str(), &old) == 0 && ::fchmod(fd.get(), old.st_mode & 07777) != 0) error = errno;
    if (error == 0) error = writeAll(fd.get(), bytes);
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

FileLock::FileLock(const std::filesystem::path& file, std::chrono::milliseconds patience) {
    fd_ = FileDescriptor(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    // A lock file someone else made may not be writable for us; flock needs no write access.
    if (!fd_.isOpen()) {
        error_ = errno;
        if (error_ != EACCES && error_ != EROFS) return;
        fd_ = FileDescriptor(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd_.isOpen()) return;  // the reason that counts is why it could not be made
        error_ = 0;
    }
    // flock has no time-out of its own: ask without waiting, and again after a pause.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            error_ = errno;
            fd_.close();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
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

void removeStaleFolders(const std::filesystem::path& parent, std::string_view prefix,
                        std::chrono::seconds age) noexcept {
    std::error_code error;
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::directory_iterator it(parent, error);
    for (const std::filesystem::directory_iterator end; !error && it != end; it.increment(error)) {
        if (!it->path().filename().string().starts_with(prefix)) continue;
        struct stat info {};
        // lstat: a link of that name is not ours to follow; another user's folder is not ours.
        if (::lstat(it->path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) continue;
        std::error_code ignored;
        const auto changed = std::filesystem::last_write_time(it->path(), ignored);
        if (!ignored && now - changed > age) std::filesystem::remove_all(it->path(), ignored);
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
