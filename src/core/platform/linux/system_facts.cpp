#include "platform/linux/system_facts.hpp"

#include "platform/host_platform.hpp"
#include "platform/linux/sysfs.hpp"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <string_view>

#include <sys/utsname.h>
#include <unistd.h>

namespace celvio {
namespace {

/// The number after `label` in /proc/meminfo style text ("MemTotal:  16318480 kB").
std::optional<std::uint64_t> fieldNumber(std::string_view text, std::string_view label) {
    const auto at = text.find(label);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(at + label.size());
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc() || end == rest.data()) return std::nullopt;
    return value;
}

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

/// MemTotal leaves out what firmware and kernel keep for themselves; the installed memory
/// is the next whole GiB.
std::uint64_t wholeGiB(std::uint64_t bytes) { return (bytes + kGiB - 1) / kGiB * kGiB; }

/// The installed memory: the online blocks of /sys/devices/system/memory times the block
/// size (hexadecimal). Absent when the kernel has no such folder (no memory hotplug).
std::optional<std::uint64_t> memoryFromBlocks(const std::filesystem::path& root) {
    const std::string folder = (root / "sys/devices/system/memory").string();
    const auto sizeText = sysfs::readAttribute(folder + "/block_size_bytes");
    if (!sizeText) return std::nullopt;
    std::uint64_t blockSize = 0;
    const auto [end, error] = std::from_chars(sizeText->data(), sizeText->data() + sizeText->size(), blockSize, 16);
    if (error != std::errc() || end != sizeText->data() + sizeText->size() || blockSize == 0) return std::nullopt;
    std::uint64_t online = 0;
    for (const std::string& name : sysfs::listDirectory(folder)) {
        const std::string_view number = std::string_view(name).substr(std::min<std::size_t>(6, name.size()));
        if (!name.starts_with("memory") || number.empty() ||
            !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const std::string block = folder + "/" + name;
        // Blocks that cannot go offline may have no "online" file; "state" always tells.
        const auto flag = sysfs::readAttribute(block + "/online");
        if (flag ? *flag == "1" : sysfs::readAttribute(block + "/state") == "online") ++online;
    }
    if (online == 0) return std::nullopt;
    return online * blockSize;
}

void readKernelCalls(SystemFacts& facts) {
    utsname names{};
    if (::uname(&names) == 0) {
        facts.kernelRelease = names.release;
        facts.hostname = names.nodename;
    }
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0)
        facts.memoryBytes = wholeGiB(static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize));
    timespec boot{};
    if (::clock_gettime(CLOCK_BOOTTIME, &boot) == 0)
        facts.uptime = static_cast<double>(boot.tv_sec) + static_cast<double>(boot.tv_nsec) / 1e9;
}

void readKernelFiles(SystemFacts& facts, const std::filesystem::path& root) {
    const auto file = [&](const char* path) { return sysfs::readAttribute((root / path).string()); };
    facts.kernelRelease = file("proc/sys/kernel/osrelease").value_or("");
    facts.hostname = file("proc/sys/kernel/hostname");
    if (const auto meminfo = file("proc/meminfo"))
        facts.memoryBytes = wholeGiB(fieldNumber(*meminfo, "MemTotal:").value_or(0) * 1024);  // "kB" is KiB
    if (const auto uptime = file("proc/uptime")) {
        double seconds = 0;
        const auto [end, error] = std::from_chars(uptime->data(), uptime->data() + uptime->size(), seconds);
        if (error == std::errc()) facts.uptime = seconds;
    }
}

}  // namespace

bool isSystemRoot(const std::filesystem::path& root) {
    std::error_code error;
    return !root.empty() && std::filesystem::is_directory(root, error);
}

SystemFacts readSystemFacts(const std::filesystem::path& root) {
    const auto file = [&](const char* path, std::size_t limit = 4096) {
        return sysfs::readFile((root / path).string(), limit);
    };
    SystemFacts facts;
    facts.productName = file("sys/class/dmi/id/product_name");
    facts.productFamily = file("sys/class/dmi/id/product_family");
    facts.productVersion = file("sys/class/dmi/id/product_version");
    facts.productSerial = file("sys/class/dmi/id/product_serial");
    facts.chassisType = file("sys/class/dmi/id/chassis_type");
    facts.deviceTreeModel = file("sys/firmware/devicetree/base/model");
    facts.deviceTreeCompatible = file("sys/firmware/devicetree/base/compatible");
    facts.deviceTreeSerial = file("sys/firmware/devicetree/base/serial-number");
    // The first processor's block names the model; a many-core listing runs to megabytes.
    facts.cpuinfo = file("proc/cpuinfo", 8192);
    facts.machineInfo = file("etc/machine-info");
    if (root.lexically_normal() == "/")
        readKernelCalls(facts);
    else
        readKernelFiles(facts, root);
    if (const auto installed = memoryFromBlocks(root)) facts.memoryBytes = *installed;
    return facts;
}

}  // namespace celvio
