#pragma once

#include "history_entry.hpp"
#include "history_grouping.hpp"
#include "uuid.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace celvio {

/// The persistent history: a list of measurements in ascending date order, loaded once
/// from a JSON file and written back in full after every change. At most one of the
/// application's own measurements per device and local calendar day is kept.
///
/// The file work never reports anything: a missing or undecodable file is an empty
/// history, a failed save leaves the list in memory as it is. A file that exists but
/// cannot be read or decoded is renamed to "<name>.unreadable-<UTC time>" before the
/// first save would replace it. Not synchronised: use one store from one thread.
class HistoryStore {
public:
    /// Loads `fileURL` as it is. Without one, the file "Celvio/history.json" in the
    /// user's data folder, whose folder is created and into which the history of an older
    /// "Ampelon" or else "Cellora" folder is copied when it has none yet. Never fails.
    explicit HistoryStore(std::optional<std::filesystem::path> fileURL = std::nullopt);

    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    const std::vector<HistoryEntry>& entries() const noexcept { return entries_; }
    const std::filesystem::path& fileURL() const noexcept { return fileURL_; }
    bool isEmpty() const noexcept { return entries_.empty(); }

    /// Writes the whole list so that the file holds either the old or the new list at any
    /// moment. Failures are ignored.
    void save();

    /// Replaces the latest entry of the same device serial and local day that was not
    /// imported (keeping its id and position, without sorting), or else adds the entry in
    /// date order; then saves. A date the file cannot hold is moved into its range and
    /// invalid UTF-8 in texts becomes U+FFFD, so the entry reads back from the file.
    void record(HistoryEntry entry);
    /// Removes the entries with these ids, then saves (also when none matched).
    void deleteEntries(const std::unordered_set<UUID>& ids);
    /// Removes the entries of this device serial, then saves (also when none matched).
    void deleteDevice(const std::string& serial);

    /// The per-device, per-month view (see groupHistory).
    std::vector<HistoryDeviceGroup> groups() const;
    /// The CSV text of all entries (see historyCSV).
    std::string csv() const;

    /// "~/Library/Group Containers/R5SC3K86L5.com.coconut-flavour.coconutBattery/history.sqlite"
    static std::filesystem::path coconutDatabaseURL();
    /// Whether a file exists at coconutDatabaseURL().
    static bool coconutAvailable();
    /// importCoconutBattery(coconutDatabaseURL()).
    std::int64_t importCoconutBattery();
    /// Adds the rows of a coconutBattery history database that are not in the history yet
    /// (same serial, less than a second apart), read from a private copy of the database
    /// and its "-wal" and "-shm" files; then sorts and saves. Returns the number added;
    /// 0 without saving when no file exists at `database`. Throws CelvioError
    /// (`diagnostics`) when the copy cannot be made or read; the history and its file are
    /// then unchanged.
    std::int64_t importCoconutBattery(const std::filesystem::path& database);

private:
    void load();
    void sortByDate();
    /// Renames an unreadable history file out of the way; false when that failed.
    bool keepUnreadableFileAside();

    std::filesystem::path fileURL_;
    std::vector<HistoryEntry> entries_;
    /// Each entry's JSON object, in step with `entries_`: a save re-encodes only what
    /// changed.
    std::vector<std::string> encoded_;
    bool unreadableFileInPlace_ = false;
    std::string buffer_;  // the file's bytes, reused from save to save
};

}  // namespace celvio
