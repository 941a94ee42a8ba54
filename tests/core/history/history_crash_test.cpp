// Several processes writing one history: saves killed at random moments never leave a
// broken file, and nothing one process was told it saved is lost to another's save. Every
// change (record, deletion, import) takes the same locked path; that each applies to what
// another store saved is the store's test.

#include "history/history_json.hpp"
#include "history/history_store.hpp"
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

/// The k-th measurement of writer `w`, the same in every process: writer w's entries in
/// the file are always its measurements 0..n-1.
HistoryEntry measurement(int w, int k) {
    HistoryEntry entry = phoneEntry(w ? "A" : "B", utc("2020-01-01T12:00:00Z") + std::chrono::hours(24 * k + w));
    entry.id = UUID{};
    entry.id.bytes = {std::uint8_t(k), std::uint8_t(k >> 8), std::uint8_t(w + 1)};
    entry.cycleCount = k;
    return entry;
}

/// How many measurements of writer `w` the list holds; -1 unless they are 0..n-1.
int countOf(const std::vector<HistoryEntry>& entries, int w) {
    int n = 0;
    for (const auto& entry : entries) {
        if (entry.id.bytes[2] != w + 1) continue;
        if (entry != measurement(w, n)) return -1;
        ++n;
    }
    return n;
}

/// Loads the file, says so on `ready`, and records its next measurements until killed.
[[noreturn]] void saveForever(const fs::path& file, int w, int ready) {
    HistoryStore store(file);
    const char loaded = 'L';
    if (::write(ready, &loaded, 1) != 1) std::_Exit(2);
    for (;;) {
        // After each save the store holds the file as written, the other writer's entries included.
        store.record(measurement(w, countOf(store.entries(), w)));
        // A pause, as every real writer makes: flock hands nothing over, so a process that
        // locks again at once would keep the other one waiting.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

pid_t startWriter(const fs::path& file, int w) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        ::close(ready[0]);
        saveForever(file, w, ready[1]);
    }
    ::close(ready[1]);
    char loaded = 0;
    const bool started = ::read(ready[0], &loaded, 1) == 1;
    ::close(ready[0]);
    return started ? child : -1;
}

}  // namespace

TEST(HistoryCrashSafety, KilledSavesOfTwoWritersLeaveACompleteList) {
    ScopedEnv zone("TZ", "UTC0");
    TempDir dir;
    const fs::path file = dir / "history.json";
    constexpr int kStart = 200;  // per writer, about 120 kB
    std::vector<HistoryEntry> start;
    for (int k = 0; k < kStart; ++k) start.insert(start.end(), {measurement(0, k), measurement(1, k)});
    writeText(file, HistoryJSON::encodeArray(start));

    // Kill within the time of two saves after the children have loaded, whatever the build.
    HistoryStore probe(file);
    const auto before = std::chrono::steady_clock::now();
    probe.save();
    const auto save = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - before);
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int64_t> delay(0, 8 * save.count());
    int counts[2] = {kStart, kStart}, rounds = 0;
    const auto began = std::chrono::steady_clock::now();
    const auto elapsed = [began] { return std::chrono::steady_clock::now() - began; };
    using namespace std::chrono_literals;
    // A few seconds, and at least 10 rounds (20 kills) however slow the build or busy the
    // machine: each round is bounded by its delay.
    for (; rounds < 50 && (elapsed() < 3s || rounds < 10); ++rounds) {
        // Each round another writer starts first.
        const int first = rounds % 2;
        pid_t writers[2];
        writers[first] = startWriter(file, first);
        writers[1 - first] = startWriter(file, 1 - first);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        for (const pid_t writer : writers)
            if (writer > 0) ::kill(writer, SIGKILL);
        for (const pid_t writer : writers) {
            int status = 0;
            ASSERT_GT(writer, 0) << "a writer did not start";
            ASSERT_EQ(::waitpid(writer, &status, 0), writer);
            ASSERT_TRUE(WIFSIGNALED(status)) << "a writer ended by itself";
        }

        const auto decoded = HistoryJSON::decodeArray(readText(file));
        ASSERT_TRUE(decoded) << "round " << rounds << " (seed " << seed << ") left an undecodable file";
        for (int w = 0; w < 2; ++w) {
            const int now = countOf(*decoded, w);
            ASSERT_GE(now, counts[w]) << "writer " << w << ", round " << rounds << " (seed " << seed << ")";
            counts[w] = now;
        }
    }
    EXPECT_GT(counts[0] + counts[1], 2 * kStart) << "the writers made progress";
    std::printf("%d kills, %d saves completed (seed %u)\n", 2 * rounds, counts[0] + counts[1] - 2 * kStart, seed);
}
