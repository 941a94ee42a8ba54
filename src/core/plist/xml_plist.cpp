#include "plist/xml_plist.hpp"

#include "plist/plist_decoding.hpp"
#include "base/utf8.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace celvio {
namespace {

using plist_decoding::corrupt;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

/// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's days_from_civil).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

class Parser {
public:
    explicit Parser(ByteView bytes)
        : text_(reinterpret_cast<const char*>(bytes.data()), bytes.size()), budget_(bytes.size()) {}

    PlistValue document() {
        skipMisc();
        Tag tag = openTag();
        PlistValue value;
        if (tag.name == "plist") {
            if (tag.empty) corrupt();
            skipMisc();
            value = this->value(openTag(), 0);
            skipMisc();
            closeTag("plist");
        } else {
            value = this->value(tag, 0);
        }
        skipMisc();
        if (at_ != text_.size()) corrupt();
        return value;
    }

private:
    struct Tag {
        std::string_view name;
        bool empty;  ///< written as <name/>
    };

    bool startsWith(std::string_view prefix) const { return text_.substr(at_, prefix.size()) == prefix; }

    void skipPast(std::string_view terminator) {
        const auto end = text_.find(terminator, at_);
        if (end == std::string_view::npos) corrupt();
        at_ = end + terminator.size();
    }

    /// Whitespace, the XML declaration, processing instructions, comments and the doctype.
    void skipMisc() {
        for (;;) {
            while (at_ < text_.size() && isSpace(text_[at_])) ++at_;
            if (startsWith("<?")) {
                skipPast("?>");
            } else if (startsWith("<!--")) {
                skipPast("-->");
            } else if (startsWith("<!DOCTYPE")) {
                // An internal subset in brackets may hold '>' of its own.
                int depth = 0;
                for (;; ++at_) {
                    if (at_ >= text_.size()) corrupt();
                    const char c = text_[at_];
                    if (c == '[')
                        ++depth;
                    else if (c == ']')
                        --depth;
                    else if (c == '>' && depth <= 0)
                        break;
                }
                ++at_;
            } else {
                return;
            }
        }
    }

    Tag openTag() {
        if (!startsWith("<") || startsWith("</")) corrupt();
        const auto end = text_.find('>', at_);
        if (end == std::string_view::npos) corrupt();
        std::string_view inside = text_.substr(at_ + 1, end - at_ - 1);
        at_ = end + 1;
        const bool empty = !inside.empty() && inside.back() == '/';
        if (empty) inside.remove_suffix(1);
        std::size_t nameEnd = 0;
        while (nameEnd < inside.size() && !isSpace(inside[nameEnd])) ++nameEnd;
        if (nameEnd == 0) corrupt();
        return {inside.substr(0, nameEnd), empty};
    }

    void closeTag(std::string_view name) {
        if (!startsWith("</")) corrupt();
        at_ += 2;
        if (text_.substr(at_, name.size()) != name) corrupt();
        at_ += name.size();
        while (at_ < text_.size() && isSpace(text_[at_])) ++at_;
        if (at_ >= text_.size() || text_[at_] != '>') corrupt();
        ++at_;
    }

    /// Character data up to the element's end tag, with references and CDATA resolved,
    /// as valid UTF-8.
    std::string content(const Tag& tag) {
        std::string out;
        if (tag.empty) return out;
        readContent(tag, out);
        if (!isValidUTF8(out)) out = repairedUTF8(out);
        budget_.charge(out.size());
        return out;
    }

    void readContent(const Tag& tag, std::string& out) {
        for (;;) {
            const auto next = text_.find_first_of("<&", at_);
            if (next == std::string_view::npos) corrupt();
            out.append(text_.substr(at_, next - at_));
            at_ = next;
            if (text_[at_] == '&') {
                reference(out);
            } else if (startsWith("<![CDATA[")) {
                at_ += 9;
                const auto end = text_.find("]]>", at_);
                if (end == std::string_view::npos) corrupt();
                out.append(text_.substr(at_, end - at_));
                at_ = end + 3;
            } else if (startsWith("<!--")) {
                skipPast("-->");
            } else {
                closeTag(tag.name);
                return;
            }
        }
    }

    void reference(std::string& out) {
        const auto end = text_.find(';', at_);
        if (end == std::string_view::npos || end - at_ > 12) corrupt();
        const std::string_view name = text_.substr(at_ + 1, end - at_ - 1);
        at_ = end + 1;
        if (name == "lt")
            out.push_back('<');
        else if (name == "gt")
            out.push_back('>');
        else if (name == "amp")
            out.push_back('&');
        else if (name == "quot")
            out.push_back('"');
        else if (name == "apos")
            out.push_back('\'');
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string_view digits = name.substr(hex ? 2 : 1);
            std::uint32_t code = 0;
            const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            // NUL, surrogates and values past Unicode are no characters.
            if (ec != std::errc() || ptr != digits.data() + digits.size() || digits.empty() || code == 0 ||
                (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
                corrupt();
            appendUTF8(out, code);
        } else {
            corrupt();
        }
    }

    PlistValue value(const Tag& tag, int depth) {
        if (depth > plist_decoding::kMaxDepth) corrupt();
        budget_.chargeValues(1);
        const std::string_view name = tag.name;
        if (name == "dict") return dict(tag, depth);
        if (name == "array") return array(tag, depth);
        if (name == "string") return PlistValue(content(tag));
        if (name == "integer") return integer(content(tag));
        if (name == "real") return real(content(tag));
        if (name == "true" || name == "false") {
            if (!trim(content(tag)).empty()) corrupt();
            return PlistValue(name == "true");
        }
        if (name == "date") return date(content(tag));
        if (name == "data") return data(content(tag));
        corrupt();
    }

    PlistValue dict(const Tag& tag, int depth) {
        PlistDict dict;
        if (tag.empty) return PlistValue(std::move(dict));
        for (;;) {
            skipMisc();
            if (startsWith("</")) {
                closeTag("dict");
                return PlistValue(std::move(dict));
            }
            const Tag keyTag = openTag();
            if (keyTag.name != "key") corrupt();
            budget_.chargeValues(1);
            std::string key = content(keyTag);
            skipMisc();
            dict.insert_or_assign(std::move(key), value(openTag(), depth + 1));
        }
    }

    PlistValue array(const Tag& tag, int depth) {
        PlistArray array;
        if (tag.empty) return PlistValue(std::move(array));
        for (;;) {
            skipMisc();
            if (startsWith("</")) {
                closeTag("array");
                return PlistValue(std::move(array));
            }
            array.push_back(value(openTag(), depth + 1));
        }
    }

    static PlistValue integer(const std::string& raw) {
        std::string_view text = trim(raw);
        const bool negative = !text.empty() && text[0] == '-';
        if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
        int base = 10;
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
            base = 16;
            text.remove_prefix(2);
        }
        // Parsed as unsigned 64-bit and kept as its bit pattern, as the format's writers
        // put values beyond the signed range.
        std::uint64_t magnitude = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
        if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) corrupt();
        if (negative && magnitude > 9223372036854775808ULL) corrupt();
        return PlistValue(static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude));
    }

    static PlistValue real(const std::string& raw) {
        std::string_view text = trim(raw);
        bool negative = false;
        if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
            negative = text[0] == '-';
            text.remove_prefix(1);
        }
        double value = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || text[0] == '-' || text[0] == '+' || ec != std::errc() || ptr != text.data() + text.size())
            corrupt();
        return PlistValue(negative ? -value : value);
    }

    /// "YYYY-MM-DDTHH:MM:SSZ", UTC, as seconds since 2001-01-01.
    static PlistValue date(const std::string& raw) {
        const std::string_view text = trim(raw);
        if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
            text[16] != ':' || text[19] != 'Z')
            corrupt();
        auto number = [&](std::size_t at, std::size_t width) {
            unsigned v = 0;
            const auto [ptr, ec] = std::from_chars(text.data() + at, text.data() + at + width, v);
            if (ec != std::errc() || ptr != text.data() + at + width) corrupt();
            return v;
        };
        const unsigned month = number(5, 2), day = number(8, 2), hour = number(11, 2), minute = number(14, 2),
                       second = number(17, 2);
        if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) corrupt();
        const std::int64_t days = daysFromCivil(number(0, 4), month, day) - daysFromCivil(2001, 1, 1);
        return PlistValue(PlistDate{static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second)});
    }

    /// Base64 with any whitespace between the characters.
    static PlistValue data(const std::string& raw) {
        Bytes out;
        out.reserve(raw.size() / 4 * 3);
        std::uint32_t group = 0;
        int filled = 0, padding = 0;
        for (const char c : raw) {
            int digit;
            if (c >= 'A' && c <= 'Z')
                digit = c - 'A';
            else if (c >= 'a' && c <= 'z')
                digit = c - 'a' + 26;
            else if (c >= '0' && c <= '9')
                digit = c - '0' + 52;
            else if (c == '+')
                digit = 62;
            else if (c == '/')
                digit = 63;
            else if (c == '=') {
                ++padding;
                continue;
            } else if (isSpace(c))
                continue;
            else
                corrupt();
            if (padding) corrupt();  // nothing after the padding
            group = (group << 6) | static_cast<std::uint32_t>(digit);
            if (++filled == 4) {
                out.push_back(static_cast<std::uint8_t>(group >> 16));
                out.push_back(static_cast<std::uint8_t>(group >> 8));
                out.push_back(static_cast<std::uint8_t>(group));
                group = 0;
                filled = 0;
            }
        }
        if (filled == 1 || padding > 2) corrupt();
        if (filled == 2) out.push_back(static_cast<std::uint8_t>(group >> 4));
        if (filled == 3) {
            out.push_back(static_cast<std::uint8_t>(group >> 10));
            out.push_back(static_cast<std::uint8_t>(group >> 2));
        }
        return PlistValue(std::move(out));
    }

    std::string_view text_;
    std::size_t at_ = 0;
    plist_decoding::Budget budget_;
};

}  // namespace

PlistValue readXMLPlist(ByteView bytes) { return Parser(bytes).document(); }

}  // namespace celvio
