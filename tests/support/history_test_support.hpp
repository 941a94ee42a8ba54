#pragma once

#include "history/history_entry.hpp"
#include "test_support.hpp"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace celvio::test {

/// A date from UTC text "2024-01-31T23:30:00Z" plus a fraction of a second.
inline HistoryEntry::Date utc(const std::string& text, double fraction = 0.0) {
    const auto date = parseInternetDate(text);
    if (!date) throw std::invalid_argument("not a date: " + text);
    return *date + HistoryEntry::Date::duration(fraction);
}

/// An entry of an iPhone with capacities 2950/3279 unless changed afterwards.
inline HistoryEntry phoneEntry(std::string serial, HistoryEntry::Date date) {
    return HistoryEntry{
        .id = UUID::random(),
        .date = date,
        .kind = HistoryEntry::Kind::ios,
        .deviceSerial = std::move(serial),
        .deviceName = "Anna's iPhone",
        .modelIdentifier = "iPhone15,2",
        .osVersion = "17.4.1",
        .batterySerial = std::nullopt,
        .cycleCount = 412,
        .fullChargeCapacity = 2950,
        .designCapacity = 3279,
        .source = std::nullopt,
    };
}

inline constexpr const char* kCoconutTable =
    "CREATE TABLE ZHISTORYENTITY (Z_PK INTEGER PRIMARY KEY, ZDATASNAPSHOTDATE TIMESTAMP, ZDATATYPE VARCHAR, "
    "ZDEVICESERIAL VARCHAR, ZDEVICENAME VARCHAR, ZDEVICEMODEL VARCHAR, ZDEVICEOSVERSION VARCHAR, "
    "ZBATTERYSERIAL VARCHAR, ZBATTERYCYCLECOUNT INTEGER, ZBATTERYFCC INTEGER, ZBATTERYDC INTEGER)";

/// One row of a coconutBattery database as SQL values: date (seconds since 2001), type, serial, name, model, OS,
/// battery serial, cycles, full-charge and design capacity.
inline std::string coconutRow(double date, const std::string& serial) {
    return std::to_string(date) + ",'iOS','" + serial + "','Anna''s iPhone','iPhone15,2','17.4.1','F5D1',412,2950,3279";
}

/// `count` rows of one device, `step` seconds apart from `first`.
inline std::vector<std::string> coconutRows(int count, const std::string& serial, double first = 0, double step = 1) {
    std::vector<std::string> rows;
    for (int i = 0; i < count; ++i) rows.push_back(coconutRow(first + i * step, serial));
    return rows;
}

/// A real coconutBattery SQLite database written through the C interface; stays open until destroyed.
class CoconutDatabase {
public:
    explicit CoconutDatabase(const std::filesystem::path& path, const char* schema = kCoconutTable) {
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open");
        exec(schema);
    }
    ~CoconutDatabase() { sqlite3_close(db_); }
    CoconutDatabase(const CoconutDatabase&) = delete;
    CoconutDatabase& operator=(const CoconutDatabase&) = delete;

    void exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "?";
            sqlite3_free(message);
            throw std::runtime_error(text);
        }
    }

    void insert(const std::vector<std::string>& rows) {
        std::string sql = "INSERT INTO ZHISTORYENTITY VALUES ";
        for (const auto& r : rows) sql += (&r == &rows.front() ? "(NULL," : ",(NULL,") + r + ")";
        exec(sql);
    }

private:
    sqlite3* db_ = nullptr;
};

}  // namespace celvio::test
