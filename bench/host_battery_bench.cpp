// One read of the computer's battery from a recorded sysfs tree, against the bare system
// calls that fetch the same attribute files. Goal: within 2x, so a refresh every 10 s
// costs nothing measurable.

#include "mac_battery_reader.hpp"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace celvio;

namespace {

const std::filesystem::path kTree = CELVIO_HOST_DATA_DIR "/charge-ac-charging";

/// What the reader opens and finds: each supply's type, the adapter's "online", every
/// attribute of the battery.
std::vector<std::string> attributeFiles() {
    const auto supplies = kTree / "sys/class/power_supply";
    std::vector<std::string> files{(supplies / "ADP1/type").string(), (supplies / "ADP1/online").string()};
    for (const auto& entry : std::filesystem::directory_iterator(supplies / "BAT0"))
        if (entry.is_regular_file() && entry.path().filename() != "uevent") files.push_back(entry.path().string());
    return files;
}

void MacBatteryRead(benchmark::State& state) {
    for (auto _ : state) {
        auto battery = MacBatteryReader::read(kTree);
        benchmark::DoNotOptimize(battery);
    }
}

void PlainReads(benchmark::State& state) {
    const std::vector<std::string> files = attributeFiles();
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
    state.SetLabel(std::to_string(files.size()) + " files");
}

}  // namespace

BENCHMARK(MacBatteryRead);
BENCHMARK(PlainReads);
