#pragma once

#include "base/celvio_error.hpp"
#include "plist/plist.hpp"  // Bytes

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace celvio::test {

/// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const noexcept { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

/// Sets (or with nullopt unsets) an environment variable and restores it afterwards. TZ
/// takes a POSIX rule such as "CET-1CEST,M3.5.0,M10.5.0/3", so no zone files are needed.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

/// A TCP listener on an ephemeral loopback port.
struct LoopbackListener {
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    int fd = -1;
    std::uint16_t port = 0;
};

/// Runs `body`, expecting a CelvioError whose description is `text` (or starts with it, less
/// the "..." it then ends with).
void expectError(const std::function<void()>& body, const std::string& text);

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

/// Bytes of a text, for comparisons.
inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

}  // namespace celvio::test
