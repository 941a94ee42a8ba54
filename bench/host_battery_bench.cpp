// One read of the computer's battery from recorded sysfs trees, one pack and two, against
// the bare system calls that fetch the same attribute files. Goal: within 2x, so a refresh every 10 s
// costs nothing measurable.

#include "reading/mac_battery_reader.hpp"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace celvio;

namespace {

const std::filesystem::path kTrees[] = {CELVIO_HOST_DATA_DIR "/charge-ac-charging",
                                        CELVIO_HOST_DATA_DIR "/two-batteries"};

/// What the reader opens and finds: each supply's type, the adapter's "online", every
/// attribute of each battery.
std::vector<std::string> attributeFiles(const std::filesystem::path& tree) {
    std::vector<std::string> files;
    for (const auto& supply : std::filesystem::directory_iterator(tree / "sys/class/power_supply")) {
        files.push_back((supply.path() / "type").string());
        if (std::filesystem::exists(supply.path() / "online")) {
            files.push_back((supply.path() / "online").string());
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(supply.path()))
            if (entry.is_regular_file() && entry.path().filename() != "uevent" && entry.path().filename() != "type")
                files.push_back(entry.path().string());
    }
    return files;
}

void MacBatteryRead(benchmark::State& state) {
    const std::filesystem::path& tree = kTrees[state.range(0)];
    for (auto _ : state) {
        auto battery = MacBatteryReader::read(tree);
        benchmark::DoNotOptimize(battery);
    }
    state.SetLabel(tree.filename().string());
}

void PlainReads(benchmark::State& state) {
    const std::filesystem::path& tree = kTrees[state.range(0)];
    const std::vector<std::string> files = attributeFiles(tree);
    char buffer[4096];
    for (auto _ : state) {
        for (const std::string& file : files) {
            const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            while (::read(fd, buffer, sizeof(buffer)) > 0) {
            }
            ::close(fd);
        }
        benchmark::DoNotOptimize(buffer);
    }
    state.SetLabel(tree.filename().string() + ", " + std::to_string(files.size()) + " files");
}

}  // namespace

BENCHMARK(MacBatteryRead)->Arg(0)->Arg(1);
BENCHMARK(PlainReads)->Arg(0)->Arg(1);
