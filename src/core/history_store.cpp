#include "history_store.hpp"

#include "coconut_import.hpp"
#include "file_io.hpp"
#include "history_csv.hpp"
#include "history_json.hpp"
#include "local_calendar.hpp"
#include "platform/paths.hpp"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <numeric>
#include <system_error>

namespace celvio {
namespace {

namespace fs = std::filesystem;

// A save takes well under a second; older leftovers belong to a process that died.
constexpr std::chrono::minutes kStaleTemporaryAge{10};

bool byDate(const HistoryEntry& a, const HistoryEntry& b) noexcept { return a.date < b.date; }

bool fileExists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

/// Copies the history of an older application folder, the first that has one.
void migrate(const fs::path& dataDirectory, const fs::path& target) {
    if (fileExists(target)) return;
    for (const char* older : {"Ampelon", "Cellora"}) {
        const fs::path candidate = dataDirectory / older / "history.json";
        if (!fileExists(candidate)) continue;
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
        const fs::path data = Paths::dataDirectory();
        std::error_code ignored;
        fs::create_directories(data / "Celvio", ignored);
        fileURL_ = data / "Celvio" / "history.json";
        migrate(data, fileURL_);
    }
    load();
}

void HistoryStore::load() {
    FileIO::removeStaleTemporaries(fileURL_, kStaleTemporaryAge);
    const FileIO::ReadResult read = FileIO::readFile(fileURL_);
    if (read.error != 0) {
        unreadableFileInPlace_ = read.error != ENOENT && read.error != ENOTDIR;
        return;
    }
    auto decoded = HistoryJSON::decodeArray(read.bytes);
    if (!decoded) {
        unreadableFileInPlace_ = true;
        return;
    }
    entries_ = std::move(*decoded);
    std::stable_sort(entries_.begin(), entries_.end(), byDate);
    encoded_.reserve(entries_.size());
    for (const auto& entry : entries_) encoded_.push_back(HistoryJSON::encode(entry));
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

bool HistoryStore::keepUnreadableFileAside() {
    if (!fileExists(fileURL_)) {
        unreadableFileInPlace_ = false;
        return true;
    }
    const std::string base = fileURL_.string() + ".unreadable-" + utcStamp();
    std::string aside = base;
    for (int n = 2; fileExists(aside); ++n) aside = base + "-" + std::to_string(n);
    std::error_code error;
    fs::rename(fileURL_, aside, error);
    if (error) return false;
    unreadableFileInPlace_ = false;
    return true;
}

void HistoryStore::save() {
    // Never replace a history we could not read: it may be the only copy of years.
    if (unreadableFileInPlace_ && !keepUnreadableFileAside()) return;
    if (entries_.empty()) {
        buffer_ = "[]\n";
    } else {
        std::size_t size = 4;
        for (const auto& text : encoded_) size += text.size() + 2;
        buffer_.clear();
        buffer_.reserve(size);
        buffer_ += "[\n";
        for (std::size_t i = 0; i < encoded_.size(); ++i) {
            if (i > 0) buffer_ += ",\n";
            buffer_ += encoded_[i];
        }
        buffer_ += "\n]\n";
    }
    FileIO::writeAtomically(fileURL_, buffer_);
}

void HistoryStore::record(HistoryEntry entry) {
    entry = storable(std::move(entry));
    for (std::size_t i = entries_.size(); i-- > 0;) {
        const HistoryEntry& old = entries_[i];
        if (old.deviceSerial == entry.deviceSerial && !old.source && LocalCalendar::sameDay(old.date, entry.date)) {
            entry.id = old.id;
            encoded_[i] = HistoryJSON::encode(entry);
            entries_[i] = std::move(entry);
            save();
            return;
        }
    }
    std::string encoded = HistoryJSON::encode(entry);
    if (entries_.empty() || !(entry.date < entries_.back().date)) {
        entries_.push_back(std::move(entry));
        encoded_.push_back(std::move(encoded));
    } else if (std::is_sorted(entries_.begin(), entries_.end(), byDate)) {
        // Where a stable sort after appending would put it: after every equal date.
        const auto at = std::upper_bound(entries_.begin(), entries_.end(), entry, byDate) - entries_.begin();
        entries_.insert(entries_.begin() + at, std::move(entry));
        encoded_.insert(encoded_.begin() + at, std::move(encoded));
    } else {
        entries_.push_back(std::move(entry));
        encoded_.push_back(std::move(encoded));
        sortByDate();
    }
    save();
}

void HistoryStore::deleteEntries(const std::unordered_set<UUID>& ids) {
    removeIf(entries_, encoded_, [&ids](const HistoryEntry& entry) { return ids.contains(entry.id); });
    save();
}

void HistoryStore::deleteDevice(const std::string& serial) {
    removeIf(entries_, encoded_, [&serial](const HistoryEntry& entry) { return entry.deviceSerial == serial; });
    save();
}

std::vector<HistoryDeviceGroup> HistoryStore::groups() const { return groupHistory(entries_); }

std::string HistoryStore::csv() const { return historyCSV(entries_); }

fs::path HistoryStore::coconutDatabaseURL() { return CoconutImport::databaseURL(); }

bool HistoryStore::coconutAvailable() { return fileExists(coconutDatabaseURL()); }

std::int64_t HistoryStore::importCoconutBattery() { return importCoconutBattery(coconutDatabaseURL()); }

std::int64_t HistoryStore::importCoconutBattery(const fs::path& database) {
    if (!fileExists(database)) return 0;
    std::vector<HistoryEntry> added = CoconutImport::newEntries(database, entries_);
    std::vector<std::string> encoded;
    encoded.reserve(added.size());
    for (const auto& entry : added) encoded.push_back(HistoryJSON::encode(entry));
    entries_.reserve(entries_.size() + added.size());
    encoded_.reserve(encoded_.size() + added.size());
    for (std::size_t i = 0; i < added.size(); ++i) {
        entries_.push_back(std::move(added[i]));
        encoded_.push_back(std::move(encoded[i]));
    }
    sortByDate();
    save();
    return static_cast<std::int64_t>(added.size());
}

}  // namespace celvio
