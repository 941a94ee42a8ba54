#include "history/coconut_import.hpp"

#include "base/celvio_error.hpp"
#include "base/file_io.hpp"
#include "platform/paths.hpp"
#include "base/utf8.hpp"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
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

constexpr const char* kQuery =
    "SELECT ZDATASNAPSHOTDATE, ZDATATYPE, ZDEVICESERIAL, ZDEVICENAME, ZDEVICEMODEL, ZDEVICEOSVERSION,\n"
    "       ZBATTERYSERIAL, ZBATTERYCYCLECOUNT, ZBATTERYFCC, ZBATTERYDC\n"
    "FROM ZHISTORYENTITY ORDER BY ZDATASNAPSHOTDATE";

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

CelvioError unsupportedFormat() { return CelvioError::diagnostics("Unsupported coconutBattery database format"); }

// An import that runs this long was killed; its snapshot is garbage.
constexpr std::chrono::hours kStaleImportAge{1};

/// The private snapshot, written by the backup API: it reads the source inside one read
/// transaction, under the source's locks, so a writer's uncommitted pages never come along
/// and rows still in a write-ahead log do.
Database snapshot(const fs::path& database, const fs::path& folder) {
    sqlite3* opened = nullptr;
    int status = sqlite3_open_v2(database.c_str(), &opened, SQLITE_OPEN_READONLY, nullptr);
    const Database source(opened);
    if (status != SQLITE_OK) throw CelvioError::diagnostics("coconutBattery database could not be opened");
    sqlite3_busy_timeout(source.get(), kBusyTimeoutMilliseconds);

    const fs::path file = folder / "history.sqlite";
    opened = nullptr;
    status = sqlite3_open_v2(file.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database copy(opened);
    if (status != SQLITE_OK) throw copyFailed(sqlite3_errstr(status));
    sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", source.get(), "main");
    if (!backup) throw copyFailed(sqlite3_errmsg(copy.get()));
    status = sqlite3_backup_step(backup, -1);
    const int systemError = sqlite3_system_errno(copy.get());
    sqlite3_backup_finish(backup);
    switch (status) {
        case SQLITE_DONE:
            return copy;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            throw CelvioError::diagnostics(
                "coconutBattery database is in use by another program; try again in a moment");
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            throw unsupportedFormat();
        case SQLITE_FULL:
            throw copyFailed(FileIO::errorText(ENOSPC));
        default:
            throw copyFailed(systemError != 0 ? FileIO::errorText(systemError) : sqlite3_errstr(status));
    }
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

std::vector<HistoryEntry> readRows(const fs::path& database) {
    const fs::path temporary = Paths::temporaryDirectory();
    FileIO::removeStaleFolders(temporary, "celvio-import-", kStaleImportAge);
    std::optional<FileIO::TemporaryFolder> folder;
    try {
        folder.emplace(temporary, "celvio-import-" + UUID::random().text());
    } catch (const std::system_error& error) {
        throw copyFailed(error.code().message());
    }
    const Database db = snapshot(database, folder->path());

    sqlite3_stmt* prepared = nullptr;
    const int prepareStatus = sqlite3_prepare_v2(db.get(), kQuery, -1, &prepared, nullptr);
    const Statement statement(prepared);
    if (prepareStatus != SQLITE_OK) throw unsupportedFormat();

    std::vector<HistoryEntry> rows;
    for (;;) {
        const int status = sqlite3_step(statement.get());
        if (status == SQLITE_DONE) break;
        // A row that cannot be read means rows are missing; a partial import would hide that.
        if (status != SQLITE_ROW) throw unsupportedFormat();
        sqlite3_stmt* row = statement.get();
        const HistoryEntry::Date date(
            HistoryEntry::Date::duration(kReferenceDateSince1970 + sqlite3_column_double(row, 0)));
        auto serial = text(row, 2);
        if (!serial || serial->empty()) continue;
        // Outside the years 0000-9999 the file could not hold the date and would no longer load.
        if (!(date >= earliestStorableDate() && date <= latestStorableDate())) continue;
        rows.push_back(entryFromRow(row, date, std::move(*serial)));
    }
    return rows;
}

std::vector<HistoryEntry> newEntries(std::vector<HistoryEntry> rows, const std::vector<HistoryEntry>& existing) {
    SeenDates seen(existing);
    std::vector<HistoryEntry> added;
    for (HistoryEntry& row : rows) {
        const double seconds = SeenDates::seconds(row.date);
        if (seen.near(row.deviceSerial, seconds)) continue;
        seen.add(row.deviceSerial, seconds);
        added.push_back(std::move(row));
    }
    return added;
}

}  // namespace celvio::CoconutImport
