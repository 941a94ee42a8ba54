#include "history/history_json.hpp"

#include "base/utf8.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

namespace celvio::HistoryJSON {
namespace {

void appendEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0x0F];
        }
    }
    out.append(text.data() + run, text.size() - run);
}

void appendText(std::string& out, std::string_view text) {
    out += '"';
    bool ascii = true;
    for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        appendEscaped(out, text);
    else
        appendEscaped(out, repairedUTF8(text));
    out += '"';
}

void appendInteger(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

enum class Field {
    batterySerial,
    cycleCount,
    date,
    designCapacity,
    deviceName,
    deviceSerial,
    fullChargeCapacity,
    id,
    kind,
    modelIdentifier,
    osVersion,
    source,
    unknown,
};

constexpr unsigned bit(Field field) { return 1u << static_cast<unsigned>(field); }

constexpr unsigned kRequired = bit(Field::cycleCount) | bit(Field::date) | bit(Field::designCapacity) |
                               bit(Field::deviceName) | bit(Field::deviceSerial) | bit(Field::fullChargeCapacity) |
                               bit(Field::id) | bit(Field::kind) | bit(Field::modelIdentifier);

Field fieldOf(std::string_view key) noexcept {
    // By length first: keys are looked up twelve times per entry.
    switch (key.size()) {
        case 2:
            return key == "id" ? Field::id : Field::unknown;
        case 4:
            return key == "date" ? Field::date : key == "kind" ? Field::kind : Field::unknown;
        case 6:
            return key == "source" ? Field::source : Field::unknown;
        case 9:
            return key == "osVersion" ? Field::osVersion : Field::unknown;
        case 10:
            return key == "cycleCount" ? Field::cycleCount : key == "deviceName" ? Field::deviceName : Field::unknown;
        case 12:
            return key == "deviceSerial" ? Field::deviceSerial : Field::unknown;
        case 13:
            return key == "batterySerial" ? Field::batterySerial : Field::unknown;
        case 14:
            return key == "designCapacity" ? Field::designCapacity : Field::unknown;
        case 15:
            return key == "modelIdentifier" ? Field::modelIdentifier : Field::unknown;
        case 18:
            return key == "fullChargeCapacity" ? Field::fullChargeCapacity : Field::unknown;
        default:
            return Field::unknown;
    }
}

/// Builds entries straight from the parser's events, without a document tree: loading
/// a long history then costs less than nlohmann's own parse into a tree.
class EntryReader {
public:
    using json = nlohmann::json;

    /// `entryLevel` is the nesting depth of entry objects: 1 for a lone object, 2 inside
    /// the file's array.
    EntryReader(int entryLevel, std::vector<HistoryEntry>& out) : entryLevel_(entryLevel), out_(out) {}

    bool null() {
        if (!atValue()) return depth_ > entryLevel_;
        switch (field_) {
            case Field::osVersion:
                entry_.osVersion.reset();
                break;
            case Field::batterySerial:
                entry_.batterySerial.reset();
                break;
            case Field::source:
                entry_.source.reset();
                break;
            case Field::unknown:
                return true;
            default:
                return false;
        }
        seen_ &= ~bit(field_);
        return true;
    }
    bool boolean(bool) { return scalar(); }
    bool number_integer(json::number_integer_t value) { return integer(value); }
    bool number_unsigned(json::number_unsigned_t value) {
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return scalar();
        return integer(static_cast<std::int64_t>(value));
    }
    bool number_float(json::number_float_t, const json::string_t&) { return scalar(); }
    bool binary(json::binary_t&) { return scalar(); }

    bool string(json::string_t& value) {
        if (!atValue()) return depth_ > entryLevel_;
        switch (field_) {
            case Field::id: {
                const auto id = UUID::parse(value);
                if (!id) return false;
                entry_.id = *id;
                break;
            }
            case Field::date: {
                const auto date = parseInternetDate(value);
                if (!date) return false;
                entry_.date = *date;
                break;
            }
            case Field::kind: {
                const auto kind = kindFromRawValue(value);
                if (!kind) return false;
                entry_.kind = *kind;
                break;
            }
            case Field::deviceSerial:
                entry_.deviceSerial = std::move(value);
                break;
            case Field::deviceName:
                entry_.deviceName = std::move(value);
                break;
            case Field::modelIdentifier:
                entry_.modelIdentifier = std::move(value);
                break;
            case Field::osVersion:
                entry_.osVersion = std::move(value);
                break;
            case Field::batterySerial:
                entry_.batterySerial = std::move(value);
                break;
            case Field::source:
                entry_.source = std::move(value);
                break;
            case Field::unknown:
                return true;
            default:
                return false;
        }
        seen_ |= bit(field_);
        return true;
    }

    bool key(json::string_t& name) {
        if (depth_ == entryLevel_) field_ = fieldOf(name);
        return true;
    }

    bool start_object(std::size_t) {
        if (depth_ == entryLevel_ - 1) {
            entry_ = HistoryEntry{};
            seen_ = 0;
        } else if (!open()) {
            return false;
        }
        ++depth_;
        return true;
    }

    bool end_object() {
        --depth_;
        if (depth_ != entryLevel_ - 1) return true;
        if ((seen_ & kRequired) != kRequired) return false;
        out_.push_back(std::move(entry_));
        return true;
    }

    bool start_array(std::size_t) {
        if (depth_ == 0 && entryLevel_ == 2) {
            ++depth_;
            return true;
        }
        if (!open()) return false;
        ++depth_;
        return true;
    }

    bool end_array() {
        --depth_;
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

private:
    bool atValue() const noexcept { return depth_ == entryLevel_; }

    /// Booleans, reals and the like: never the value of a known key.
    bool scalar() const noexcept { return depth_ > entryLevel_ || (atValue() && field_ == Field::unknown); }

    /// A nested array or object: only inside the value of an unknown key.
    bool open() const noexcept { return scalar(); }

    bool integer(std::int64_t value) {
        if (!atValue()) return depth_ > entryLevel_;
        switch (field_) {
            case Field::cycleCount:
                entry_.cycleCount = value;
                break;
            case Field::fullChargeCapacity:
                entry_.fullChargeCapacity = value;
                break;
            case Field::designCapacity:
                entry_.designCapacity = value;
                break;
            case Field::unknown:
                return true;
            default:
                return false;
        }
        seen_ |= bit(field_);
        return true;
    }

    const int entryLevel_;
    std::vector<HistoryEntry>& out_;
    int depth_ = 0;
    Field field_ = Field::unknown;
    unsigned seen_ = 0;
    HistoryEntry entry_;
};

bool parse(std::string_view text, int entryLevel, std::vector<HistoryEntry>& out) {
    EntryReader reader(entryLevel, out);
    try {
        return nlohmann::json::sax_parse(text.begin(), text.end(), &reader);
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

/// "[", the elements one per line, "]" and a line feed; "[]" and a line feed for none.
template <typename AppendElement>
void appendArray(std::string& out, std::size_t count, AppendElement appendElement) {
    if (count == 0) {
        out += "[]\n";
        return;
    }
    out += "[\n";
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) out += ",\n";
        appendElement(out, i);
    }
    out += "\n]\n";
}

}  // namespace

void appendEncoded(std::string& out, const HistoryEntry& entry) {
    out += '{';
    if (entry.batterySerial) {
        out += "\"batterySerial\":";
        appendText(out, *entry.batterySerial);
        out += ',';
    }
    out += "\"cycleCount\":";
    appendInteger(out, entry.cycleCount);
    out += ",\"date\":\"";
    appendInternetDate(out, entry.date);
    out += "\",\"designCapacity\":";
    appendInteger(out, entry.designCapacity);
    out += ",\"deviceName\":";
    appendText(out, entry.deviceName);
    out += ",\"deviceSerial\":";
    appendText(out, entry.deviceSerial);
    out += ",\"fullChargeCapacity\":";
    appendInteger(out, entry.fullChargeCapacity);
    out += ",\"id\":\"";
    out += entry.id.text();
    out += "\",\"kind\":\"";
    out += rawValue(entry.kind);
    out += "\",\"modelIdentifier\":";
    appendText(out, entry.modelIdentifier);
    if (entry.osVersion) {
        out += ",\"osVersion\":";
        appendText(out, *entry.osVersion);
    }
    if (entry.source) {
        out += ",\"source\":";
        appendText(out, *entry.source);
    }
    out += '}';
}

std::string encode(const HistoryEntry& entry) {
    std::string out;
    // Keys, numbers, date and id take about 250 bytes; growing step by step costs more.
    const auto length = [](const std::optional<std::string>& text) { return text ? text->size() : 0; };
    out.reserve(256 + entry.deviceSerial.size() + entry.deviceName.size() + entry.modelIdentifier.size() +
                length(entry.osVersion) + length(entry.batterySerial) + length(entry.source));
    appendEncoded(out, entry);
    return out;
}

std::string encodeArray(const std::vector<HistoryEntry>& entries) {
    std::string out;
    appendArray(out, entries.size(), [&entries](std::string& to, std::size_t i) { appendEncoded(to, entries[i]); });
    return out;
}

void encodeArray(const std::vector<std::string>& objects, std::string& out) {
    std::size_t size = 4;
    for (const auto& object : objects) size += object.size() + 2;
    out.clear();
    out.reserve(size);
    appendArray(out, objects.size(), [&objects](std::string& to, std::size_t i) { to += objects[i]; });
}

std::optional<HistoryEntry> decode(std::string_view json) {
    std::vector<HistoryEntry> out;
    if (!parse(json, 1, out) || out.size() != 1) return std::nullopt;
    return std::move(out.front());
}

std::optional<std::vector<HistoryEntry>> decodeArray(std::string_view json) {
    std::vector<HistoryEntry> out;
    // One object per entry: counting them spares a long history the growth's spare half.
    out.reserve(static_cast<std::size_t>(std::count(json.begin(), json.end(), '{')));
    if (!parse(json, 2, out)) return std::nullopt;
    return out;
}

}  // namespace celvio::HistoryJSON
