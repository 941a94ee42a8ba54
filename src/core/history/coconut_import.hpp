#pragma once

#include "history/history_entry.hpp"

#include <filesystem>
#include <vector>

/// Reading the history database of the coconutBattery application.
namespace celvio::CoconutImport {


/// How long the import waits for another program's write to the database to end.
inline constexpr int kBusyTimeoutMilliseconds = 3000;

/// The database's usable rows as entries (source "coconutBattery", fresh ids), in query
/// order, leaving out rows without a serial and rows whose date the history file cannot
/// hold. Reads a private snapshot made with SQLite's backup API from the database opened
/// read-only, so only committed rows arrive and the database and its journals are never
/// changed; the snapshot lives in a new folder "celvio-import-<UUID>" of the temporary
/// folder, removed on return, and such folders of this user older than an hour are
/// removed first. Throws CelvioError (`diagnostics`): "coconutBattery database could not
/// be copied: REASON", "coconutBattery database could not be opened", "coconutBattery
/// database is in use by another program; try again in a moment" (still locked after
/// kBusyTimeoutMilliseconds) and "Unsupported coconutBattery database format" (query
/// refused, or a row could not be read).
std::vector<HistoryEntry> readRows(const std::filesystem::path& database);

/// The rows that are new: leaves out a row when `existing` or an earlier kept row has an
/// entry of its serial less than one second away.
std::vector<HistoryEntry> newEntries(std::vector<HistoryEntry> rows, const std::vector<HistoryEntry>& existing);

}  // namespace celvio::CoconutImport
