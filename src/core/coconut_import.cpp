#include "coconut_import.hpp"

#include "celvio_error.hpp"
#include "file_io.hpp"
#include "platform/paths.hpp"
#include "utf8.hpp"

#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>

namespace celvio::CoconutImport {
namespace {

namespace fs = std::filesystem;

// coconutBattery's dates count from 2001-01-01 00:00:00 UTC (Apple's reference date).
constexpr double kReferenceDateSince1970 = 978'307'200.0;

struct SQLiteClose {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
};
struct SQLiteFinalize {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, SQLiteClose>;
using Statement = std::unique_ptr<sqlite3_stmt, SQLiteFinalize>;

CelvioError copyFailed(const std::string& reason) {
    return CelvioError::diagnostics("coconutBattery database could not be copied: " + reason);
}

/// A column's text as UTF-8 (invalid sequences become U+FFFD); absent for NULL.
std::optional<std::string> text(sqlite3_stmt* statement, int column) {
    const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (!value) return std::nullopt;
    // Up to the first zero byte, as a C string.
    const std::string_view view(value, std::strlen(value));
    for (const char c : view) {
        if (static_cast<unsigned char>(c) >= 0x80) return repairedUTF8(view);
    }
    return std::string(view);
}

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

/// Dates (seconds since 1970) per serial, for the "less than a second apart" test.
class SeenDates {
public:
    explicit SeenDates(const std::vector<HistoryEntry>& entries) {
        for (const auto& entry : entries) add(entry.deviceSerial, seconds(entry.date));
    }

    bool near(std::string_view serial, double date) const {
        const auto found = dates_.find(serial);
        if (found == dates_.end()) return false;
        // Candidates from a wider window, then the exact test on the difference.
        const auto& dates = found->second;
        for (auto it = dates.lower_bound(date - 2.0); it != dates.end() && *it <= date + 2.0; ++it) {
            if (std::fabs(*it - date) < 1.0) return true;
        }
        return false;
    }

    void add(const std::string& serial, double date) {
        auto found = dates_.find(serial);
        if (found == dates_.end()) found = dates_.emplace(serial, std::multiset<double>{}).first;
        found->second.insert(date);
    }

    static double seconds(HistoryEntry::Date date) { return date.time_since_epoch().count(); }

private:
    std::unordered_map<std::string, std::multiset<double>, StringHash, std::equal_to<>> dates_;
};

/// The private copy: the database and whichever of its "-wal" and "-shm" files exist, so
/// that changes not yet merged into the main file come along.
fs::path copyDatabase(const fs::path& database, const fs::path& folder) {
    const fs::path copy = folder / "history.sqlite";
    for (const char* suffix : {"", "-wal", "-shm"}) {
        fs::path from = database;
        from += suffix;
        std::error_code error;
        if (!fs::exists(from, error)) continue;
        fs::path to = copy;
        to += suffix;
        fs::copy_file(from, to, error);
        if (error) throw copyFailed(error.message());
    }
    return copy;
}

HistoryEntry entryFromRow(sqlite3_stmt* row, HistoryEntry::Date date, std::string serial) {
    const auto type = text(row, 1);
    return HistoryEntry{
        .id = UUID::random(),
        .date = date,
        .kind = type && *type == "Mac" ? HistoryEntry::Kind::mac : HistoryEntry::Kind::ios,
        .deviceSerial = std::move(serial),
        .deviceName = text(row, 3).value_or("Device"),
        .modelIdentifier = text(row, 4).value_or(""),
        .osVersion = text(row, 5),
        .batterySerial = text(row, 6),
        .cycleCount = sqlite3_column_int64(row, 7),
        .fullChargeCapacity = sqlite3_column_int64(row, 8),
        .designCapacity = sqlite3_column_int64(row, 9),
        .source = "coconutBattery",
    };
}

}  // namespace

fs::path databaseURL() {
    return Paths::homeDirectory() / "Library" / "Group Containers" / "R5SC3K86L5.com.coconut-flavour.coconutBattery" /
           "history.sqlite";
}

std::vector<HistoryEntry> newEntries(const fs::path& database, const std::vector<HistoryEntry>& existing) {
    std::optional<FileIO::TemporaryFolder> folder;
    try {
        folder.emplace(Paths::temporaryDirectory(), "celvio-import-" + UUID::random().text());
    } catch (const std::system_error& error) {
        throw copyFailed(error.code().message());
    }
    const fs::path copy = copyDatabase(database, folder->path());

    sqlite3* opened = nullptr;
    const int status = sqlite3_open(copy.c_str(), &opened);
    const Database db(opened);  // sqlite3_open may hand out a handle even when it fails
    if (status != SQLITE_OK) throw CelvioError::diagnostics("coconutBattery database could not be opened");

    sqlite3_stmt* prepared = nullptr;
    const int prepareStatus = sqlite3_prepare_v2(db.get(), kQuery, -1, &prepared, nullptr);
    const Statement statement(prepared);
    if (prepareStatus != SQLITE_OK) throw CelvioError::diagnostics("Unsupported coconutBattery database format");

    SeenDates seen(existing);
    std::vector<HistoryEntry> added;
    // A step error ends the rows like their end does; what was read so far counts.
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        sqlite3_stmt* row = statement.get();
        const HistoryEntry::Date date(
            HistoryEntry::Date::duration(kReferenceDateSince1970 + sqlite3_column_double(row, 0)));
        auto serial = text(row, 2);
        if (!serial || serial->empty()) continue;
        // Outside the years 0000-9999 the file could not hold the date and would no longer load.
        if (!(date >= earliestStorableDate() && date <= latestStorableDate())) continue;
        const double seconds = SeenDates::seconds(date);
        if (seen.near(*serial, seconds)) continue;
        seen.add(*serial, seconds);
        added.push_back(entryFromRow(row, date, std::move(*serial)));
    }
    return added;
}

}  // namespace celvio::CoconutImport
