#include "history/history_entry.hpp"
#include "history/history_json.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace celvio;
using celvio::test::phoneEntry;
using celvio::test::utc;

namespace {

const char* const kID = "8C3E5F0A-1234-4B5C-9D8E-0123456789AB";

using Edits = std::initializer_list<std::pair<std::string, std::string>>;

/// A complete object of the file, with each (find, replace) edit applied to its text.
std::string object(Edits edits = {}) {
    std::string text = std::string(R"({"batterySerial":"F5D1","cycleCount":412,"date":"2024-03-05T10:15:00Z",)") +
                       R"("designCapacity":3279,"deviceName":"Anna's iPhone","deviceSerial":"F2LXK0Q1N7",)" +
                       R"("fullChargeCapacity":2950,"id":")" + kID + R"(","kind":"ios",)" +
                       R"("modelIdentifier":"iPhone15,2","osVersion":"17.4.1","source":"coconutBattery"})";
    for (const auto& [find, replace] : edits) {
        const auto at = text.find(find);
        if (at == std::string::npos) throw std::invalid_argument("not in the object: " + find);
        text.replace(at, find.size(), replace);
    }
    return text;
}

std::string object(const std::string& find, const std::string& replace) { return object(Edits{{find, replace}}); }

HistoryEntry objectEntry() {
    return {*UUID::parse(kID), utc("2024-03-05T10:15:00Z"), HistoryEntry::Kind::ios, "F2LXK0Q1N7", "Anna's iPhone",
            "iPhone15,2", "17.4.1", "F5D1", 412, 2950, 3279, "coconutBattery"};
}

}  // namespace

TEST(HistoryEntry, Health) {
    // Not clamped; full precision, divided then multiplied; no design capacity is 0.
    for (const auto& [full, design, health] : {std::tuple{5000, 4000, 125.0}, {2999, 4000, 2999.0 / 4000.0 * 100.0},
                                               {2950, 0, 0.0}, {2950, -5, 0.0}, {0, 3279, 0.0}}) {
        HistoryEntry entry = phoneEntry("S", utc("2024-01-01T00:00:00Z"));
        std::tie(entry.fullChargeCapacity, entry.designCapacity) = std::tuple(full, design);
        EXPECT_EQ(entry.health(), health) << full << " of " << design;
    }
}

// Lower-case and upper-case ids: see the JSON tables.
TEST(HistoryEntry, UUIDText) {
    for (const char* bad : {"", "8C3E5F0A12344B5C9D8E0123456789AB", "8C3E5F0A-1234-4B5C-9D8E-0123456789A",
                            "8C3E5F0A-1234-4B5C-9D8E-0123456789ABC", "8C3E5F0A_1234-4B5C-9D8E-0123456789AB",
                            "8C3E5F0A-1234-4B5C-9D8E-0123456789AG", "{8C3E5F0A-1234-4B5C-9D8E-0123456789A}"})
        EXPECT_EQ(UUID::parse(bad), std::nullopt) << bad;
    const UUID a = UUID::random();
    const std::string text = a.text();
    EXPECT_EQ(text[14], '4') << "version 4";
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << "RFC 4122 variant";
    EXPECT_NE(a, UUID::random());
}

TEST(HistoryEntry, InternetDates) {
    const struct {
        const char* text;
        double seconds;  // since 1970
    } valid[] = {{"1970-01-01T00:00:00Z", 0}, {"2001-01-01T00:00:00Z", 978'307'200},
                 {"2024-02-29T12:30:05Z", 1'709'209'805}, {"2024-02-29T13:30:05+01:00", 1'709'209'805},
                 {"2024-02-29T07:00:05-05:30", 1'709'209'805}, {"1969-12-31T23:59:59Z", -1},
                 {"0000-01-01T00:00:00Z", -62'167'219'200}, {"9999-12-31T23:59:59Z", 253'402'300'799}};
    for (const auto& row : valid) {
        const auto date = parseInternetDate(row.text);
        ASSERT_TRUE(date) << row.text;
        EXPECT_EQ(date->time_since_epoch().count(), row.seconds) << row.text;
    }
    for (const char* bad :
         {"2024-03-05T10:15:00.750Z", "2024-03-05T10:15:00", "2024-03-05 10:15:00Z", "2024-03-05T10:15:00z",
          "2023-02-29T00:00:00Z", "2024-04-31T00:00:00Z", "2024-00-01T00:00:00Z", "2024-03-05T24:00:00Z",
          "2024-03-05T10:15:60Z", "2024-03-05T10:15:00+0100", "2024-03-05T10:15:00+24:00", "+2024-03-05T10:15:00Z",
          "0000-01-01T00:00:00+00:01", ""})
        EXPECT_EQ(parseInternetDate(bad), std::nullopt) << bad;

    EXPECT_EQ(internetDateText(utc("2024-03-05T10:15:00Z", 0.75)), "2024-03-05T10:15:00Z") << "sub-seconds dropped";
    EXPECT_EQ(internetDateText(HistoryEntry::Date(HistoryEntry::Date::duration(-0.5))), "1969-12-31T23:59:59Z")
        << "rounded towards the past";
    EXPECT_EQ(internetDateText(HistoryEntry::Date(HistoryEntry::Date::duration(1e300))), "9999-12-31T23:59:59Z");
    EXPECT_EQ(internetDateText(HistoryEntry::Date(HistoryEntry::Date::duration(NAN))), "0000-01-01T00:00:00Z");
}

TEST(HistoryJSON, EncodesSortedKeysAndOnlyPresentOptionals) {
    HistoryEntry recorded = objectEntry();
    recorded.date += std::chrono::milliseconds(750);
    EXPECT_EQ(HistoryJSON::encode(recorded), object()) << "whole seconds only";

    HistoryEntry bare = objectEntry();
    bare.osVersion.reset();
    bare.batterySerial.reset();
    bare.source.reset();
    bare.kind = HistoryEntry::Kind::mac;
    bare.cycleCount = -3;
    EXPECT_EQ(HistoryJSON::encode(bare),
              std::string(R"({"cycleCount":-3,"date":"2024-03-05T10:15:00Z","designCapacity":3279,)") +
                  R"("deviceName":"Anna's iPhone","deviceSerial":"F2LXK0Q1N7","fullChargeCapacity":2950,)" +
                  R"("id":")" + kID + R"(","kind":"mac","modelIdentifier":"iPhone15,2"})");
    EXPECT_EQ(HistoryJSON::decode(HistoryJSON::encode(bare)), bare);

    HistoryEntry entry = objectEntry();
    entry.deviceName = "Lab \"A\"\\\n\t\x01 Anna\u2019s";
    entry.modelIdentifier = "bad\xff\xfe utf8";
    const std::string text = HistoryJSON::encode(entry);
    EXPECT_NE(text.find(R"("deviceName":"Lab \"A\"\\\n\t\u0001 Anna’s")"), std::string::npos) << text;
    EXPECT_NE(text.find("\"modelIdentifier\":\"bad\uFFFD\uFFFD utf8\""), std::string::npos) << text;
    const auto back = HistoryJSON::decode(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->deviceName, entry.deviceName);
}

TEST(HistoryJSON, DecodesWhatReadersMayFind) {
    // The object as written, with unknown keys of every type, pretty-printed with a lower-case
    // id, with a zone offset, with a repeated key.
    for (const std::string& same : {
             object(), object(R"("kind":"ios",)", R"("kind":"ios","x":{"a":[1,{"b":null}]},"y":[],"z":1.5,"w":true,)"),
             object({{kID, "8c3e5f0a-1234-4b5c-9d8e-0123456789ab"}, {"{", "{\n  "}, {",\"date\"", ",\n  \"date\" "}}),
             object("2024-03-05T10:15:00Z", "2024-03-05T11:15:00+01:00"),
             object(R"("cycleCount":412)", R"("cycleCount":1,"cycleCount":412)"),  // the last counts
         })
        EXPECT_EQ(HistoryJSON::decode(same), objectEntry()) << same;
    const struct {
        const char* what;
        std::string text;
        std::function<void(HistoryEntry&)> expected;  // applied to objectEntry()
    } rows[] = {{"null source", object(R"("source":"coconutBattery")", R"("source":null)"),
                 [](HistoryEntry& e) { e.source.reset(); }},
                {"null os and battery serial",
                 object({{R"("osVersion":"17.4.1")", R"("osVersion":null)"},
                         {R"("batterySerial":"F5D1")", R"("batterySerial":null)"}}),
                 [](HistoryEntry& e) { e.osVersion.reset(), e.batterySerial.reset(); }},
                {"optional keys missing", object(R"(,"source":"coconutBattery")", ""),
                 [](HistoryEntry& e) { e.source.reset(); }},
                {"mac", object(R"("kind":"ios")", R"("kind":"mac")"),
                 [](HistoryEntry& e) { e.kind = HistoryEntry::Kind::mac; }},
                {"escaped text", object(R"("deviceName":"Anna's iPhone")", R"("deviceName":"Anna\u2019s \"Phone\"")"),
                 [](HistoryEntry& e) { e.deviceName = "Anna\u2019s \"Phone\""; }},
                {"smallest integer", object(R"("cycleCount":412)", R"("cycleCount":-9223372036854775808)"),
                 [](HistoryEntry& e) { e.cycleCount = INT64_MIN; }}};
    for (const auto& row : rows) {
        HistoryEntry expected = objectEntry();
        row.expected(expected);
        EXPECT_EQ(HistoryJSON::decode(row.text), expected) << row.what << ": " << row.text;
    }
}

TEST(HistoryJSON, RejectsBrokenEntries) {
    // Fractional, zone-less and numeric dates, a short id, wrong types, more than 64 bits,
    // no object, trailing text, nothing; then wrong kinds and each required key missing.
    std::vector<std::string> texts = {
        object("10:15:00Z", "10:15:00.750Z"), object("10:15:00Z", "10:15:00"),
        object(R"("2024-03-05T10:15:00Z")", "731326500"), object(kID, "8C3E5F0A"),
        object(R"("cycleCount":412)", R"("cycleCount":412.0)"), object(R"("cycleCount":412)", R"("cycleCount":"412")"),
        object(R"("cycleCount":412)", R"("cycleCount":9223372036854775808)"),
        object(R"("deviceName":"Anna's iPhone")", R"("deviceName":null)"),
        object(R"("source":"coconutBattery")", R"("source":1)"), object(R"("osVersion":"17.4.1")", R"("osVersion":{})"),
        object(R"("deviceSerial":"F2LXK0Q1N7")", R"("deviceSerial":true)"), "[]", object() + " x", ""};
    for (const char* kind : {"Mac", "iOS", "IOS", "ipad", "", "mac "})
        texts.push_back(object(R"("kind":"ios")", std::string(R"("kind":")") + kind + "\""));
    for (const char* key : {"\"id\"", "\"date\"", "\"kind\"", "\"deviceSerial\"", "\"deviceName\"",
                            "\"modelIdentifier\"", "\"cycleCount\"", "\"fullChargeCapacity\"", "\"designCapacity\""})
        texts.push_back(object(key, "\"renamed\""));
    for (const auto& text : texts) EXPECT_EQ(HistoryJSON::decode(text), std::nullopt) << text;
}

TEST(HistoryJSON, DecodesArraysWhole) {
    const std::string one = object();
    const auto two =
        HistoryJSON::decodeArray("[" + one + ",\n  " + object("\"kind\":\"ios\"", "\"kind\":\"mac\"") + "]");
    ASSERT_TRUE(two);
    ASSERT_EQ(two->size(), 2u);
    EXPECT_EQ((*two)[1].kind, HistoryEntry::Kind::mac);
    EXPECT_EQ(HistoryJSON::decodeArray(" [ ] "), std::vector<HistoryEntry>{});
    EXPECT_EQ(HistoryJSON::encodeArray({}), "[]\n");
    EXPECT_EQ(HistoryJSON::encodeArray(*two),
              "[\n" + HistoryJSON::encode((*two)[0]) + ",\n" + HistoryJSON::encode((*two)[1]) + "\n]\n")
        << "one object per line";

    for (const std::string& bad : {"[" + one + "," + object(R"("deviceName":"Anna's iPhone",)", "") + "]",
                                   "[" + one + ",1]", "[" + one + ",null]", "[[" + one + "]]", one, "[" + one,
                                   std::string("{}"), std::string("null"), std::string("")})
        EXPECT_EQ(HistoryJSON::decodeArray(bad), std::nullopt) << bad;
}
