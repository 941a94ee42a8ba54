#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include <sys/types.h>  // dev_t, ino_t, off_t

/// Whole-file reads, crash-safe replacement of a file, an advisory lock beside a file,
/// and a self-removing folder.
namespace celvio::FileIO {

/// Owns one open descriptor. Move-only.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const noexcept { return fd_; }
    bool isOpen() const noexcept { return fd_ >= 0; }
    /// Closes the descriptor; idempotent. Returns 0, or the errno of a failed close
    /// (which can mean that written data was lost).
    int close() noexcept;

private:
    int fd_ = -1;
};

/// Which file a path names and how it was last written: a file replaced by a rename gets
/// a new inode, one rewritten in place a new size or modification time.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::timespec modified{};

    bool operator==(const FileStamp& other) const noexcept;
};
/// The stamp of the file `file` names, through symbolic links; `exists` false when there is none.
FileStamp stampOf(const std::filesystem::path& file) noexcept;

/// Files above this size are not read: a history of that size is no history.
inline constexpr std::uint64_t kMaxReadSize = std::uint64_t{1} << 30;

/// The bytes of a file and the stamp of what was read, or `error` (an errno value; ENOENT
/// for a missing file) with `reason`, the system's text for it. `refused` marks a path that
/// is no regular file or is larger than the limit: it was not read at all.
struct ReadResult {
    std::string bytes;
    FileStamp stamp;
    int error = 0;
    bool refused = false;
    std::string reason;
};
/// Never blocks on a FIFO or a device: those are refused before a byte is read.
ReadResult readFile(const std::filesystem::path& file, std::uint64_t maxSize = kMaxReadSize);

/// `file` with every symbolic link of its last component followed; `file` itself when it
/// is no link (or does not exist). A dangling link gives the path it points to.
std::filesystem::path linkTarget(const std::filesystem::path& file);

/// Replaces `file` with `bytes` so that the file holds either all old or all new bytes
/// whenever the process or the machine stops: a temporary file in the same folder,
/// written and flushed to disk, renamed over `file`, then the folder flushed. A symbolic
/// link stays a link: its target is replaced, in the target's folder. The new file keeps
/// the old one's permission bits (a new one is private, 0600). Returns 0 or an errno
/// value; after a failure `file` is untouched and the temporary file gone.
int writeAtomically(const std::filesystem::path& file, std::string_view bytes);

/// An exclusive advisory lock (flock) on `file`, created when missing, held until this
/// object ends. Waits up to `patience` while another process holds it: a holder that was
/// stopped (Ctrl-Z) or hangs on a network file system must not freeze us for good. Move-only.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& file, std::chrono::milliseconds patience = std::chrono::seconds(10));
    /// 0 when the lock is held, else the errno of the failed open or flock; EWOULDBLOCK
    /// when another process held it all the time.
    int error() const noexcept { return error_; }

private:
    FileDescriptor fd_;
    int error_ = 0;
};

/// Removes temporary files of `writeAtomically` for `file` that were left behind by a
/// process killed before its rename and have not changed for `age`.
void removeStaleTemporaries(const std::filesystem::path& file, std::chrono::seconds age) noexcept;

/// Removes folders in `parent` whose names start with `prefix`, that belong to this user
/// and have not changed for `age`: the leftovers of killed processes.
void removeStaleFolders(const std::filesystem::path& parent, std::string_view prefix,
                        std::chrono::seconds age) noexcept;

/// The system's text for an errno value ("No space left on device").
std::string errorText(int error);

/// A folder (mode 0700) that is removed with everything in it when this object ends or
/// `remove()` is called. Move-only.
class TemporaryFolder {
public:
    /// Makes `parent` (with missing intermediate folders) and in it the new folder
    /// `name`. Throws std::system_error when that fails or `name` exists.
    TemporaryFolder(const std::filesystem::path& parent, const std::string& name);
    ~TemporaryFolder() { remove(); }
    TemporaryFolder(TemporaryFolder&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    TemporaryFolder& operator=(TemporaryFolder&&) = delete;
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    /// Empty once removed.
    const std::filesystem::path& path() const noexcept { return path_; }
    /// Removes the folder and its contents; idempotent; failures are ignored.
    void remove() noexcept;

private:
    std::filesystem::path path_;
};

}  // namespace celvio::FileIO
