#pragma once

#include "base/file_io.hpp"
#include "history/history_entry.hpp"
#include "history/history_grouping.hpp"
#include "base/uuid.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

namespace celvio {

/// The persistent history: a list of measurements in ascending date order, kept in a JSON
/// file that several processes may change.
///
/// Every change is made under an exclusive lock on "<file>.lock", from reading the file to
/// the rename of the new one. When the file changed since this store last read or wrote it
/// (another process saved), the store reads it again and applies its change to what it
/// read, so nothing another process saved is overwritten. A change whose save fails stays
/// in memory and is applied again, in order, by the next save; the failure is thrown.
///
/// A file that exists but cannot be read or decoded is renamed to
/// "<name>.unreadable-<UTC time>" before a save would replace it, and `keptAside()` names
/// it; a path that is no regular file, or a file above FileIO::kMaxReadSize, is left where
/// it is and no save replaces it. Not synchronised: use one store from one thread.
class HistoryStore {
public:
    /// Loads `fileURL` as it is. Without one, the file "Celvio/history.json" in the
    /// user's data folder, whose folder is created and into which the history of an older
    /// "Ampelon" or else "Cellora" folder is copied when it has none yet. Never fails.
    explicit HistoryStore(std::optional<std::filesystem::path> fileURL = std::nullopt);

    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    /// "Celvio/history.json" in the user's data folder; nothing is created or copied.
    static std::filesystem::path defaultFileURL();
    /// The entries of a history file in date order, read without changing anything; none
    /// for a missing file. Throws CelvioError (`history`) "History file PATH could not be
    /// read: REASON" for a file that exists but cannot be read or decoded.
    static std::vector<HistoryEntry> read(const std::filesystem::path& file);

    const std::vector<HistoryEntry>& entries() const noexcept { return entries_; }
    /// The history file. Though named "URL" after the design, every `fileURL` in Celvio
    /// (here, defaultFileURL, coconutDatabaseURL) holds a filesystem path.
    const std::filesystem::path& fileURL() const noexcept { return fileURL_; }
    bool isEmpty() const noexcept { return entries_.empty(); }
    /// Whether changes are in memory only, after a failed save.
    bool hasUnsavedChanges() const noexcept { return !pending_.empty(); }
    /// Why the last save failed (the system's text); absent once one succeeded.
    const std::optional<std::string>& saveFailure() const noexcept { return saveFailure_; }

    /// Writes the whole list so that the file holds either the old or the new list at any
    /// moment. Throws CelvioError (`history`) "History could not be saved: REASON".
    void save();
    /// Reads the file again when another process replaced it since this store last read or
    /// wrote it, and applies the unsaved changes to what it read. Returns whether the
    /// entries were read again. Takes no lock: saves are atomic renames.
    bool reloadIfChanged();

    /// Replaces the latest entry of the same device serial and local day that was not
    /// imported (keeping its id and position), or else adds the entry and sorts the list
    /// by date, stably; then saves. A date the file cannot hold is moved into its range and
    /// invalid UTF-8 in texts becomes U+FFFD, so the entry reads back from the file. Throws
    /// as `save` does; the entry is kept in memory then.
    void record(HistoryEntry entry);
    /// Removes the entries with these ids, then saves (also when none matched).
    void deleteEntries(const std::unordered_set<UUID>& ids);
    /// Removes the entries of this device serial, then saves (also when none matched).
    void deleteDevice(const std::string& serial);
    /// Puts deleted entries back as they were, ids included: adds each whose id the history
    /// does not hold, in date order; then saves (also when none was missing).
    void restore(std::vector<HistoryEntry> entries);

    /// The name (without folder) an unreadable history file was renamed to, once this
    /// store did that; until forgetKeptAside().
    const std::optional<std::string>& keptAside() const noexcept { return keptAside_; }
    void forgetKeptAside() noexcept { keptAside_.reset(); }
    /// "The history file could not be read and was kept as NAME; a new history was started."
    static std::string keptAsideText(const std::string& name);

    /// The per-device, per-month view (see groupHistory).
    std::vector<HistoryDeviceGroup> groups() const;
    /// The CSV text of all entries (see historyCSV).
    std::string csv() const;

    /// Where coconutBattery keeps its history, the one definition of it:
    /// "~/Library/Group Containers/R5SC3K86L5.com.coconut-flavour.coconutBattery/history.sqlite"
    static std::filesystem::path coconutDatabaseURL();
    /// Whether a file exists at coconutDatabaseURL().
    static bool coconutAvailable();
    /// importCoconutBattery(coconutDatabaseURL()).
    std::int64_t importCoconutBattery();
    /// Adds the rows of a coconutBattery history database that are not in the history yet
    /// (same serial, less than a second apart), read from a consistent private snapshot
    /// (CoconutImport::readRows); then sorts and saves. Returns the number added; 0
    /// without saving when no file exists at `database`. Throws CelvioError: the import's
    /// (`diagnostics`), after which the history and its file are unchanged, or the save's.
    std::int64_t importCoconutBattery(const std::filesystem::path& database);

private:
    struct Record {
        HistoryEntry entry;
    };
    struct DeleteIDs {
        std::unordered_set<UUID> ids;
    };
    struct DeleteDevice {
        std::string serial;
    };
    struct Import {
        std::vector<HistoryEntry> rows;
    };
    struct Restore {
        std::vector<HistoryEntry> entries;
    };
    using Change = std::variant<Record, DeleteIDs, DeleteDevice, Import, Restore>;

    /// Applies a change to the list in memory; the number of entries it added.
    std::size_t apply(const Change& change);
    /// Applies `change`, keeps it until saved, and saves; the number of entries it added.
    std::size_t change(Change change);
    /// Takes `entries` as the list and applies the unsaved changes to it.
    void rebase(std::vector<HistoryEntry> entries);
    void sortByDate();
    std::filesystem::path lockFile() const;
    /// Renames an unreadable history file out of the way; 0 or an errno value.
    int keepUnreadableFileAside();
    /// Writes the list under the lock; the reason when that failed.
    std::optional<std::string> trySave();

    std::filesystem::path fileURL_;
    std::vector<HistoryEntry> entries_;
    /// Each entry's JSON object, in step with `entries_`: a save re-encodes only what
    /// changed.
    std::vector<std::string> encoded_;
    /// Changes made since the last successful save, in order.
    std::vector<Change> pending_;
    /// The file as this store last read or wrote it.
    FileIO::FileStamp stamp_;
    /// What the last application of a change added.
    std::size_t lastAdded_ = 0;
    bool unreadableFileInPlace_ = false;
    std::optional<std::string> keptAside_;
    std::optional<std::string> saveFailure_;
};

}  // namespace celvio
