#include "platform/system_facts.hpp"

#include "platform/sysfs.hpp"

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

void readKernelCalls(SystemFacts& facts) {
    utsname names{};
    if (::uname(&names) == 0) {
        facts.kernelRelease = names.release;
        facts.hostname = names.nodename;
    }
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0)
        facts.memoryBytes = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    timespec boot{};
    if (::clock_gettime(CLOCK_BOOTTIME, &boot) == 0)
        facts.uptime = static_cast<double>(boot.tv_sec) + static_cast<double>(boot.tv_nsec) / 1e9;
}

void readKernelFiles(SystemFacts& facts, const std::filesystem::path& root) {
    const auto file = [&](const char* path) { return sysfs::readAttribute((root / path).string()); };
    facts.kernelRelease = file("proc/sys/kernel/osrelease").value_or("");
    facts.hostname = file("proc/sys/kernel/hostname");
    if (const auto meminfo = file("proc/meminfo"))
        facts.memoryBytes = fieldNumber(*meminfo, "MemTotal:").value_or(0) * 1024;  // the kernel's "kB" is KiB
    if (const auto uptime = file("proc/uptime")) {
        double seconds = 0;
        const auto [end, error] = std::from_chars(uptime->data(), uptime->data() + uptime->size(), seconds);
        if (error == std::errc()) facts.uptime = seconds;
    }
}

}  // namespace

SystemFacts readSystemFacts(const std::filesystem::path& root) {
    const auto file = [&](const char* path, std::size_t limit = 4096) {
        return sysfs::readFile((root / path).string(), limit);
    };
    SystemFacts facts;
    facts.productName = file("sys/class/dmi/id/product_name");
    facts.productFamily = file("sys/class/dmi/id/product_family");
    facts.productVersion = file("sys/class/dmi/id/product_version");
    facts.productSerial = file("sys/class/dmi/id/product_serial");
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
    return facts;
}

}  // namespace celvio
