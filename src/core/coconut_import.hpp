#pragma once

#include "history_entry.hpp"

#include <filesystem>
#include <vector>

/// Reading the history database of the coconutBattery application.
namespace celvio::CoconutImport {

/// The query, with its line breaks and the indent of its second line.
inline constexpr const char* kQuery =
    "SELECT ZDATASNAPSHOTDATE, ZDATATYPE, ZDEVICESERIAL, ZDEVICENAME, ZDEVICEMODEL, ZDEVICEOSVERSION,\n"
    "       ZBATTERYSERIAL, ZBATTERYCYCLECOUNT, ZBATTERYFCC, ZBATTERYDC\n"
    "FROM ZHISTORYENTITY ORDER BY ZDATASNAPSHOTDATE";

/// "~/Library/Group Containers/R5SC3K86L5.com.coconut-flavour.coconutBattery/history.sqlite"
std::filesystem::path databaseURL();

/// The database's rows as new entries (source "coconutBattery", fresh ids), in query
/// order, leaving out rows without a serial, rows whose date the history file cannot
/// hold, and rows of a serial that `existing` or an earlier row already has less than one
/// second away. Reads a private copy of `database` and its "-wal" and "-shm" files, made
/// in a new folder "celvio-import-<UUID>" of the temporary folder and removed on return.
/// Throws CelvioError (`diagnostics`): "coconutBattery database could not be copied: ..."
/// when the copy fails, "coconutBattery database could not be opened" and
/// "Unsupported coconutBattery database format" (query refused).
std::vector<HistoryEntry> newEntries(const std::filesystem::path& database, const std::vector<HistoryEntry>& existing);

}  // namespace celvio::CoconutImport
