#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

/// Whole-file reads, crash-safe replacement of a file, and a self-removing folder.
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

/// The bytes of a file, or `error` (an errno value; ENOENT for a missing file).
struct ReadResult {
    std::string bytes;
    int error = 0;
};
ReadResult readFile(const std::filesystem::path& file);

/// Replaces `file` with `bytes` so that the file holds either all old or all new bytes
/// whenever the process or the machine stops: a temporary file in the same folder,
/// written and flushed to disk, renamed over `file`, then the folder flushed. Returns 0
/// or an errno value; after a failure `file` is untouched and the temporary file gone.
int writeAtomically(const std::filesystem::path& file, std::string_view bytes);

/// Removes temporary files of `writeAtomically` for `file` that were left behind by a
/// process killed before its rename and have not changed for `age`.
void removeStaleTemporaries(const std::filesystem::path& file, std::chrono::seconds age) noexcept;

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
