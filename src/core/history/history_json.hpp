#pragma once

#include "history/history_entry.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The JSON form of history entries. An object holds the twelve field names as keys,
/// written in ascending order without whitespace; optional fields only when present.
namespace celvio::HistoryJSON {

/// Appends one entry's object. Invalid UTF-8 in a text is written as U+FFFD, so the
/// output is always valid JSON. Never fails.
void appendEncoded(std::string& out, const HistoryEntry& entry);
std::string encode(const HistoryEntry& entry);

/// A whole history file: "[", one object per line, "]" and a line feed; an empty list is
/// "[]" and a line feed.
std::string encodeArray(const std::vector<HistoryEntry>& entries);
/// The same file from objects `encode` made, into `out` (replaced), so a store re-encodes
/// only what changed.
void encodeArray(const std::vector<std::string>& objects, std::string& out);

/// Reads one entry object. Absent when a required key is missing or null, a value has
/// the wrong JSON type, "kind" is not "mac" or "ios", "id" is not a UUID or "date" not an
/// internet date-time with whole seconds. Unknown keys are ignored; null optional values
/// read as absent; of repeated keys the last counts.
std::optional<HistoryEntry> decode(std::string_view json);
/// Reads a JSON array of entry objects, in file order. Absent when the text is not such
/// an array or any element fails as `decode` would.
std::optional<std::vector<HistoryEntry>> decodeArray(std::string_view json);

}  // namespace celvio::HistoryJSON
