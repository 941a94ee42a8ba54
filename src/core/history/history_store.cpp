#include "history/history_store.hpp"

#include "base/celvio_error.hpp"
#include "history/coconut_import.hpp"
#include "base/file_io.hpp"
#include "history/history_csv.hpp"
#include "history/history_json.hpp"
#include "history/local_calendar.hpp"
#include "platform/paths.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <numeric>
#include <system_error>

namespace celvio {
namespace {

namespace fs = std::filesystem;

// A save takes well under a second; older leftovers belong to a process that died.
constexpr std::chrono::minutes kStaleTemporaryAge{10};

bool byDate(const HistoryEntry& a, const HistoryEntry& b) noexcept { return a.date < b.date; }

/// Sorts stably by date. A saved file is already in order, and checking first spares a
/// long history the sort's temporary copy of every entry.
void sortByDateIn(std::vector<HistoryEntry>& entries) {
    if (!std::is_sorted(entries.begin(), entries.end(), byDate))
        std::stable_sort(entries.begin(), entries.end(), byDate);
}

bool fileExists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

/// Beside the history itself, not a link to it, so every way to one history takes one
/// lock; beside the path as given when it leads to no regular file (a device, a FIFO),
/// which no save replaces anyway.
std::string lockPathOf(const fs::path& file) {
    const fs::path target = FileIO::linkTarget(file);
    std::error_code error;
    const auto status = fs::status(target, error);
    const bool history = fs::is_regular_file(status) || status.type() == fs::file_type::not_found;
    return (history ? target : file).string() + ".lock";
}

/// Copies the history of an older application folder, the first that has one.
void migrate(const fs::path& dataDirectory, const fs::path& target) {
    if (fileExists(target)) return;
    for (const char* older : {"Ampelon", "Cellora"}) {
        const fs::path candidate = dataDirectory / older / "history.json";
        if (!fileExists(candidate)) continue;
        // Under the lock: a copy must not replace a history another process has just started.
        const FileIO::FileLock lock(lockPathOf(target));
        if (lock.error() != 0 || fileExists(target)) return;
        const FileIO::ReadResult old = FileIO::readFile(candidate);
        // Through the atomic write: an interrupted copy must not leave half a history.
        if (old.error == 0) FileIO::writeAtomically(target, old.bytes);
        return;
    }
}

/// "20261206T101500Z"
std::string utcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

template <typename Predicate>
void removeIf(std::vector<HistoryEntry>& entries, std::vector<std::string>& encoded, Predicate remove) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (remove(entries[i])) continue;
        if (kept != i) {
            entries[kept] = std::move(entries[i]);
            encoded[kept] = std::move(encoded[i]);
        }
        ++kept;
    }
    entries.resize(kept);
    encoded.resize(kept);
}

}  // namespace

HistoryStore::HistoryStore(std::optional<fs::path> fileURL) {
    if (fileURL) {
        fileURL_ = std::move(*fileURL);
    } else {
        fileURL_ = defaultFileURL();
        std::error_code ignored;
        fs::create_directories(fileURL_.parent_path(), ignored);
        migrate(fileURL_.parent_path().parent_path(), fileURL_);
    }
    FileIO::removeStaleTemporaries(FileIO::linkTarget(fileURL_), kStaleTemporaryAge);
    FileIO::ReadResult read = FileIO::readFile(fileURL_);
    stamp_ = read.stamp;
    if (read.error != 0) {
        // Also a path that is no history file at all: saves look again and refuse to replace it.
        unreadableFileInPlace_ = read.error != ENOENT && read.error != ENOTDIR;
        return;
    }
    auto decoded = HistoryJSON::decodeArray(read.bytes);
    if (!decoded) {
        unreadableFileInPlace_ = true;
        return;
    }
    // Gone before the entries are encoded again: a long history's peak memory holds it once less.
    std::string().swap(read.bytes);
    rebase(std::move(*decoded));
}

fs::path HistoryStore::defaultFileURL() { return Paths::dataDirectory() / "Celvio" / "history.json"; }

std::vector<HistoryEntry> HistoryStore::read(const fs::path& file) {
    const auto unreadable = [&file](const std::string& reason) {
        return CelvioError::history("History file " + file.string() + " could not be read: " + reason);
    };
    const FileIO::ReadResult read = FileIO::readFile(file);
    if (read.error == ENOENT) return {};
    if (read.error != 0) throw unreadable(read.reason);
    auto decoded = HistoryJSON::decodeArray(read.bytes);
    if (!decoded) throw unreadable(read.bytes.empty() ? "The file is empty" : "The file is not a valid history");
    sortByDateIn(*decoded);
    return std::move(*decoded);
}

std::string HistoryStore::keptAsideText(const std::string& name) {
    return "The history file could not be read and was kept as " + name + "; a new history was started.";
}

fs::path HistoryStore::lockFile() const { return lockPathOf(fileURL_); }

void HistoryStore::rebase(std::vector<HistoryEntry> entries) {
    entries_ = std::move(entries);
    sortByDateIn(entries_);
    encoded_.clear();
    encoded_.reserve(entries_.size());
    for (const auto& entry : entries_) encoded_.push_back(HistoryJSON::encode(entry));
    for (const Change& change : pending_) lastAdded_ = apply(change);
}

bool HistoryStore::reloadIfChanged() {
    if (FileIO::stampOf(fileURL_) == stamp_) return false;
    FileIO::ReadResult read = FileIO::readFile(fileURL_);
    // A path that is no history file changes nothing here; the next save reports it.
    if (read.refused) return false;
    if (read.error == 0) {
        if (auto decoded = HistoryJSON::decodeArray(read.bytes)) {
            std::string().swap(read.bytes);
            stamp_ = read.stamp;
            unreadableFileInPlace_ = false;
            rebase(std::move(*decoded));
            return true;
        }
    }
    if (read.error == ENOENT || read.error == ENOTDIR) {
        stamp_ = {};
        unreadableFileInPlace_ = false;
        rebase({});
        return true;
    }
    // Garbage where the history was: keep what is in memory; the next save keeps the file aside.
    stamp_ = read.error == 0 ? read.stamp : FileIO::stampOf(fileURL_);
    unreadableFileInPlace_ = true;
    return false;
}

void HistoryStore::sortByDate() {
    if (std::is_sorted(entries_.begin(), entries_.end(), byDate)) return;
    std::vector<std::size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [this](std::size_t a, std::size_t b) { return entries_[a].date < entries_[b].date; });
    std::vector<HistoryEntry> entries;
    std::vector<std::string> encoded;
    entries.reserve(order.size());
    encoded.reserve(order.size());
    for (const std::size_t i : order) {
        entries.push_back(std::move(entries_[i]));
        encoded.push_back(std::move(encoded_[i]));
    }
    entries_ = std::move(entries);
    encoded_ = std::move(encoded);
}

int HistoryStore::keepUnreadableFileAside() {
    // Through a link, its target goes aside: the link keeps naming where the history lives.
    const fs::path file = FileIO::linkTarget(fileURL_);
    const std::string base = file.string() + ".unreadable-" + utcStamp();
    std::string aside = base;
    for (int n = 2; fileExists(aside); ++n) aside = base + "-" + std::to_string(n);
    if (::rename(file.c_str(), aside.c_str()) != 0) return errno;
    unreadableFileInPlace_ = false;
    keptAside_ = fs::path(aside).filename().string();
    return 0;
}

void HistoryStore::save() {
    saveFailure_ = trySave();
    if (saveFailure_) throw CelvioError::history("History could not be saved: " + *saveFailure_);
}

std::optional<std::string> HistoryStore::trySave() {
    const FileIO::FileLock lock(lockFile());
    if (lock.error() == EWOULDBLOCK) return "The history is in use by another program";
    if (lock.error() != 0) return FileIO::errorText(lock.error());
    if (unreadableFileInPlace_ || FileIO::stampOf(fileURL_) != stamp_) {
        // Someone saved since this store last looked, or the file is unreadable: decide on
        // what is there now, under the lock.
        FileIO::ReadResult read = FileIO::readFile(fileURL_);
        std::optional<std::vector<HistoryEntry>> decoded;
        if (read.error == 0) decoded = HistoryJSON::decodeArray(read.bytes);
        if (read.refused) return read.reason;
        if (decoded) {
            unreadableFileInPlace_ = false;
            rebase(std::move(*decoded));
        } else if (read.error == ENOENT || read.error == ENOTDIR) {
            // Deleted on purpose by someone: what is left is this store's unsaved changes.
            if (!unreadableFileInPlace_) rebase({});
            unreadableFileInPlace_ = false;
        } else if (const int error = keepUnreadableFileAside(); error != 0) {
            // Never replace a history we could not read: it may be the only copy of years.
            return FileIO::errorText(error);
        }
    }
    // The file's bytes live only for the write: kept between saves, a long history's would stay all day.
    std::string text;
    HistoryJSON::encodeArray(encoded_, text);
    if (const int error = FileIO::writeAtomically(fileURL_, text); error != 0) return FileIO::errorText(error);
    stamp_ = FileIO::stampOf(fileURL_);
    pending_.clear();
    return std::nullopt;
}

std::size_t HistoryStore::change(Change change) {
    lastAdded_ = apply(change);
    pending_.push_back(std::move(change));
    save();
    return lastAdded_;
}

std::size_t HistoryStore::apply(const Change& change) {
    if (const auto* record = std::get_if<Record>(&change)) {
        const HistoryEntry& entry = record->entry;
        for (std::size_t i = entries_.size(); i-- > 0;) {
            const HistoryEntry& old = entries_[i];
            if (old.deviceSerial == entry.deviceSerial && !old.source && LocalCalendar::sameDay(old.date, entry.date)) {
                HistoryEntry replacement = entry;
                replacement.id = old.id;
                encoded_[i] = HistoryJSON::encode(replacement);
                entries_[i] = std::move(replacement);
                return 0;
            }
        }
        std::string encoded = HistoryJSON::encode(entry);
        if (std::is_sorted(entries_.begin(), entries_.end(), byDate)) {
            // Where a stable sort after appending would put it: after every equal date.
            const auto at = std::upper_bound(entries_.begin(), entries_.end(), entry, byDate) - entries_.begin();
            entries_.insert(entries_.begin() + at, entry);
            encoded_.insert(encoded_.begin() + at, std::move(encoded));
        } else {
            // A replacement left the list out of order; appending sorts it all.
            entries_.push_back(entry);
            encoded_.push_back(std::move(encoded));
            sortByDate();
        }
        return 1;
    }
    if (const auto* remove = std::get_if<DeleteIDs>(&change)) {
        removeIf(entries_, encoded_, [remove](const HistoryEntry& entry) { return remove->ids.contains(entry.id); });
        return 0;
    }
    if (const auto* device = std::get_if<DeleteDevice>(&change)) {
        removeIf(entries_, encoded_,
                 [device](const HistoryEntry& entry) { return entry.deviceSerial == device->serial; });
        return 0;
    }
    std::vector<HistoryEntry> added;
    if (const auto* restore = std::get_if<Restore>(&change)) {
        // By id: another process may have saved since the deletion, or put them back itself.
        std::unordered_set<UUID> held;
        for (const HistoryEntry& entry : entries_) held.insert(entry.id);
        for (const HistoryEntry& entry : restore->entries)
            if (held.insert(entry.id).second) added.push_back(entry);
    } else {
        added = CoconutImport::newEntries(std::get<Import>(change).rows, entries_);
    }
    entries_.reserve(entries_.size() + added.size());
    encoded_.reserve(encoded_.size() + added.size());
    for (auto& entry : added) {
        encoded_.push_back(HistoryJSON::encode(entry));
        entries_.push_back(std::move(entry));
    }
    sortByDate();
    return added.size();
}

void HistoryStore::record(HistoryEntry entry) { change(Record{storable(std::move(entry))}); }

void HistoryStore::deleteEntries(const std::unordered_set<UUID>& ids) { change(DeleteIDs{ids}); }

void HistoryStore::deleteDevice(const std::string& serial) { change(DeleteDevice{serial}); }

void HistoryStore::restore(std::vector<HistoryEntry> entries) { change(Restore{std::move(entries)}); }

std::vector<HistoryDeviceGroup> HistoryStore::groups() const { return groupHistory(entries_); }

std::string HistoryStore::csv() const { return historyCSV(entries_); }

fs::path HistoryStore::coconutDatabaseURL() {
    return Paths::homeDirectory() / "Library" / "Group Containers" / "R5SC3K86L5.com.coconut-flavour.coconutBattery" /
           "history.sqlite";
}

bool HistoryStore::coconutAvailable() { return fileExists(coconutDatabaseURL()); }

std::int64_t HistoryStore::importCoconutBattery() { return importCoconutBattery(coconutDatabaseURL()); }

std::int64_t HistoryStore::importCoconutBattery(const fs::path& database) {
    if (!fileExists(database)) return 0;
    // The database is read before the lock is taken: only the history's own work is locked.
    return static_cast<std::int64_t>(change(Import{CoconutImport::readRows(database)}));
}

}  // namespace celvio
