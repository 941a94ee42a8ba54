// The history with 50,000 entries over 5 devices, and an import of 100,000 rows, each
// next to its floor in the same run.
// Goals: record (with its save, the lock beside the file and the check whether another
// process changed it) within 2x of writing, flushing and renaming a buffer of the file's
// size; load within 2x of nlohmann-json's bare parse of the same bytes;
// groups() under 10 ms; the import within 3x of the sqlite3 command reading the rows.

#include "base/file_io.hpp"
#include "history/history_grouping.hpp"
#include "history/history_json.hpp"
#include "history/history_store.hpp"
#include "platform/paths.hpp"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

using namespace celvio;
namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 50'000;
constexpr int kDevices = 5;
constexpr int kRows = 100'000;
constexpr double kStart = 1'000'000'000.0;  // 2001-09-09, one entry per device and day from there

/// A folder for the run, removed at exit.
const fs::path& folder() {
    static const FileIO::TemporaryFolder made(Paths::temporaryDirectory(), "celvio-bench-" + UUID::random().text());
    return made.path();
}

HistoryEntry entry(int day, int device) {
    const bool mac = device == 0;
    return HistoryEntry{
        .id = UUID::random(),
        .date = HistoryEntry::Date(HistoryEntry::Date::duration(kStart + day * 86'400.0 + device * 600.0)),
        .kind = mac ? HistoryEntry::Kind::mac : HistoryEntry::Kind::ios,
        .deviceSerial = "F2LXK0Q1N" + std::to_string(device),
        .deviceName = mac ? "Anna\u2019s ThinkPad" : "Anna\u2019s iPhone " + std::to_string(device),
        .modelIdentifier = mac ? "MacBookPro18,3" : "iPhone15,2",
        .osVersion = mac ? "6.1.0" : "17.4.1",
        .batterySerial = "F5D12345678ABCDE" + std::to_string(device),
        .cycleCount = 100 + day / 3,
        .fullChargeCapacity = 3100 - day / 10,
        .designCapacity = 3279,
        .source = std::nullopt,
    };
}

std::vector<HistoryEntry> history() {
    std::vector<HistoryEntry> entries;
    entries.reserve(kEntries);
    for (int day = 0; entries.size() < kEntries; ++day)
        for (int device = 0; device < kDevices; ++device) entries.push_back(entry(day, device));
    return entries;
}

/// The history file as the store writes it, at a fresh path.
fs::path historyFile(const std::string& name) {
    static const std::string bytes = HistoryJSON::encodeArray(history());
    const fs::path path = folder() / name;
    FileIO::writeAtomically(path, bytes);
    return path;
}

std::string readAll(const fs::path& path) { return FileIO::readFile(path).bytes; }

void label(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetLabel(std::to_string(bytes / 1000) + " kB");
}

void Load(benchmark::State& state) {
    const fs::path path = historyFile("load.json");
    for (auto _ : state) {
        HistoryStore store(path);
        benchmark::DoNotOptimize(store.entries().data());
    }
    label(state, fs::file_size(path));
}

void ParseNlohmann(benchmark::State& state) {
    const std::string bytes = readAll(historyFile("parse.json"));
    for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(bytes));
    label(state, bytes.size());
}

/// Argument 0: replace today's entry of a device; 1: append a new day. Each takes the lock
/// and checks the file for another process's save.
void Record(benchmark::State& state) {
    const fs::path path = historyFile(state.range(0) == 0 ? "replace.json" : "append.json");
    HistoryStore store(path);
    int day = 20'000;
    for (auto _ : state) {
        HistoryEntry next = entry(state.range(0) == 0 ? 20'000 : ++day, 3);
        store.record(std::move(next));
    }
    label(state, fs::file_size(path));
}

/// The floor of every save: a buffer of the file's size written to a new file in the
/// same folder, flushed to disk and renamed over the file.
void WriteFlushRename(benchmark::State& state) {
    const fs::path path = historyFile("floor.json");
    const std::string bytes = readAll(path);
    const std::string temporary = path.string() + ".new";
    for (auto _ : state) {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        for (std::size_t at = 0; at < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
            if (n <= 0) state.SkipWithError("write failed");
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        ::fsync(fd);
        ::close(fd);
        ::rename(temporary.c_str(), path.c_str());
    }
    label(state, bytes.size());
}

/// What a straightforward save costs: nlohmann's tree, pretty-printed, then written.
void SaveNaively(benchmark::State& state) {
    const std::vector<HistoryEntry> entries = history();
    const fs::path path = folder() / "naive.json";
    std::size_t size = 0;
    for (auto _ : state) {
        nlohmann::json array = nlohmann::json::array();
        for (const auto& e : entries) array.push_back(nlohmann::json::parse(HistoryJSON::encode(e)));
        const std::string text = array.dump(2);
        size = text.size();
        FileIO::writeAtomically(path, text);
    }
    label(state, size);
}

void Groups(benchmark::State& state) {
    const std::vector<HistoryEntry> entries = history();
    for (auto _ : state) benchmark::DoNotOptimize(groupHistory(entries));
}

void CSV(benchmark::State& state) {
    HistoryStore store(historyFile("csv.json"));
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string text = store.csv();
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    label(state, size);
}

void check(int status, sqlite3* db) {
    if (status != SQLITE_OK && status != SQLITE_DONE) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::abort();
    }
}

/// A coconutBattery database with 100,000 rows over 5 devices.
const fs::path& coconutDatabase() {
    static const fs::path path = [] {
        const fs::path file = folder() / "coconut.sqlite";
        sqlite3* db = nullptr;
        check(sqlite3_open(file.c_str(), &db), db);
        check(sqlite3_exec(db,
                           "CREATE TABLE ZHISTORYENTITY (Z_PK INTEGER PRIMARY KEY, ZDATASNAPSHOTDATE TIMESTAMP, "
                           "ZDATATYPE VARCHAR, ZDEVICESERIAL VARCHAR, ZDEVICENAME VARCHAR, ZDEVICEMODEL VARCHAR, "
                           "ZDEVICEOSVERSION VARCHAR, ZBATTERYSERIAL VARCHAR, ZBATTERYCYCLECOUNT INTEGER, "
                           "ZBATTERYFCC INTEGER, ZBATTERYDC INTEGER); BEGIN;",
                           nullptr, nullptr, nullptr),
              db);
        sqlite3_stmt* insert = nullptr;
        check(sqlite3_prepare_v2(db, "INSERT INTO ZHISTORYENTITY VALUES (NULL, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", -1,
                                 &insert, nullptr),
              db);
        for (int row = 0; row < kRows; ++row) {
            const int device = row % kDevices;
            const std::string serial = "C02XK0Q1N" + std::to_string(device);
            const std::string name = device == 0 ? "Anna\u2019s MacBook" : "Anna\u2019s iPhone";
            sqlite3_bind_double(insert, 1, 600'000'000.0 + row * 3600.0);
            sqlite3_bind_text(insert, 2, device == 0 ? "Mac" : "iOS", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 3, serial.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 4, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 5, device == 0 ? "MacBookPro18,3" : "iPhone15,2", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 6, "17.4.1", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 7, "F5D12345678ABCDE", -1, SQLITE_STATIC);
            sqlite3_bind_int64(insert, 8, 100 + row / 50);
            sqlite3_bind_int64(insert, 9, 3100 - row / 100);
            sqlite3_bind_int64(insert, 10, 3279);
            check(sqlite3_step(insert), db);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db);
        sqlite3_close(db);
        return file;
    }();
    return path;
}

void Import(benchmark::State& state) {
    const fs::path database = coconutDatabase();
    const fs::path path = folder() / "import.json";
    std::int64_t added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        {
            HistoryStore store(path);
            state.ResumeTiming();
            added = store.importCoconutBattery(database);
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    if (added != kRows) state.SkipWithError("not every row was imported");
    state.SetItemsProcessed(state.iterations() * kRows);
}

/// The sqlite3 command running the same query over the same file, its output read whole.
void SQLiteCommand(benchmark::State& state) {
    const std::string command = "sqlite3 '" + coconutDatabase().string() + "' \"" +
                                "SELECT ZDATASNAPSHOTDATE, ZDATATYPE, ZDEVICESERIAL, ZDEVICENAME, ZDEVICEMODEL, "
                                "ZDEVICEOSVERSION, ZBATTERYSERIAL, ZBATTERYCYCLECOUNT, ZBATTERYFCC, ZBATTERYDC "
                                "FROM ZHISTORYENTITY ORDER BY ZDATASNAPSHOTDATE\"";
    std::size_t lines = 0;
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[65'536];
        lines = 0;
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            for (std::size_t i = 0; i < n; ++i) lines += buffer[i] == '\n';
        pclose(pipe);
    }
    if (lines != kRows) state.SkipWithError("sqlite3 did not print every row");
    state.SetItemsProcessed(state.iterations() * kRows);
}

}  // namespace

BENCHMARK(Load)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseNlohmann)->Unit(benchmark::kMillisecond);
BENCHMARK(Record)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteFlushRename)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveNaively)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Groups)->Unit(benchmark::kMillisecond);
BENCHMARK(CSV)->Unit(benchmark::kMillisecond);
BENCHMARK(Import)->Unit(benchmark::kMillisecond);
BENCHMARK(SQLiteCommand)->Unit(benchmark::kMillisecond);
