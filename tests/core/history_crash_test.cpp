// A saving process killed at random moments never leaves a broken history file.

#include "history_json.hpp"
#include "history_store.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace celvio;
using namespace celvio::test;
namespace fs = std::filesystem;

namespace {

/// The k-th measurement, the same in every process: the k-th list is entries 0..k-1.
HistoryEntry measurement(int k) {
    HistoryEntry entry = phoneEntry(k % 2 ? "A" : "B", utc("2020-01-01T12:00:00Z") + std::chrono::hours(24 * k));
    entry.id = UUID{};
    entry.id.bytes[0] = static_cast<std::uint8_t>(k);
    entry.id.bytes[1] = static_cast<std::uint8_t>(k >> 8);
    entry.cycleCount = k;
    return entry;
}

std::vector<HistoryEntry> list(int count) {
    std::vector<HistoryEntry> entries;
    for (int k = 0; k < count; ++k) entries.push_back(measurement(k));
    return entries;
}

/// Loads the file, says so on `ready`, and records the next measurements until killed.
[[noreturn]] void saveForever(const fs::path& file, int ready) {
    HistoryStore store(file);
    const char loaded = 'L';
    if (::write(ready, &loaded, 1) != 1) std::_Exit(2);
    for (int k = static_cast<int>(store.entries().size());; ++k) store.record(measurement(k));
}

}  // namespace

TEST(HistoryCrashSafety, KilledSavesLeaveTheOldOrTheNewList) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    const fs::path file = dir / "history.json";
    constexpr int kStart = 400;  // about 120 kB
    writeText(file, HistoryJSON::encodeArray(list(kStart)));

    // Kill within the time of two saves after the child has loaded, whatever the build.
    HistoryStore probe(file);
    const auto before = std::chrono::steady_clock::now();
    probe.save();
    const auto save = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - before);
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int64_t> delay(0, 2 * save.count());
    int count = kStart;
    int cutWrites = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [start] { return std::chrono::steady_clock::now() - start; };
    using namespace std::chrono_literals;
    int kills = 0;
    // A few seconds, but at least 20 kills unless the build is very slow.
    for (; kills < 100 && (elapsed() < 3s || kills < 20) && elapsed() < 8s; ++kills) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            saveForever(file, ready[1]);
        }
        ::close(ready[1]);
        char loaded = 0;
        const bool started = ::read(ready[0], &loaded, 1) == 1;
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(started && WIFSIGNALED(status)) << "the child ended by itself";

        const auto decoded = HistoryJSON::decodeArray(readText(file));
        ASSERT_TRUE(decoded) << "kill " << kills << " (seed " << seed << ") left an undecodable file";
        const int now = static_cast<int>(decoded->size());
        ASSERT_GE(now, count) << "seed " << seed;
        ASSERT_EQ(*decoded, list(now)) << "kill " << kills << " (seed " << seed << ")";
        count = now;
    }
    for (const auto& item : fs::directory_iterator(dir.path()))
        cutWrites += item.path().filename().string().starts_with(".history.json.tmp-");
    EXPECT_GE(kills, 20);
    EXPECT_GT(count, kStart) << "the children made progress";
    std::printf("%d kills, %d saves completed, %d writes cut before their rename, one save %lld us (seed %u)\n", kills,
                count - kStart, cutWrites, static_cast<long long>(save.count()), seed);
}
