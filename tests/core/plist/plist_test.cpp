#include "plist/plist.hpp"

#include "base/celvio_error.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace celvio;
using celvio::test::bytesOf;

namespace {

PlistDict one(PlistValue value) { return {{"k", std::move(value)}}; }

}  // namespace

TEST(PlistAccessors, NumbersAndTruth) {
    using std::nullopt;
    const std::pair<PlistValue, std::optional<std::int64_t>> ints[] = {
        {"+42", 42}, {"-7", -7}, {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
        {3.9, 3}, {-3.9, -3}, {true, 1}, {false, 0}, {std::nan(""), nullopt}, {1e30, nullopt},
        {bytesOf("42"), nullopt}};
    for (const auto& [value, expected] : ints)
        EXPECT_EQ(intValue(one(value), "k"), expected) << &value - &ints[0].first;
    for (const char* bad :
         {" 42", "42 ", "", "+", "-", "9223372036854775808", "-9223372036854775809", "4x", "0x10", "1.0"})
        EXPECT_EQ(intValue(one(bad), "k"), nullopt) << '"' << bad << '"';
    EXPECT_EQ(intValue(one(1), "missing"), nullopt);

    const std::pair<PlistValue, std::optional<double>> doubles[] = {
        {"31.25", 31.25}, {"+2", 2.0}, {"-1e3", -1000.0}, {"0x1p3", 8.0}, {7, 7.0}, {true, 1.0}};
    for (const auto& [value, expected] : doubles) EXPECT_EQ(doubleValue(one(value), "k"), expected);
    for (const char* bad : {"", " 1", "1 ", "1e", "abc", "+-1", "--1", "1,5"})
        EXPECT_EQ(doubleValue(one(bad), "k"), nullopt) << '"' << bad << '"';

    const std::pair<PlistValue, std::optional<bool>> bools[] = {
        {"true", nullopt}, {2, true}, {0, false}, {0.5, true}, {false, false}};
    for (const auto& [value, expected] : bools) EXPECT_EQ(boolValue(one(value), "k"), expected);
}

TEST(PlistAccessors, StringsAndDictionaries) {
    EXPECT_EQ(stringValue(one(bytesOf(std::string("iPhone14,2\0", 11))), "k"), "iPhone14,2");
    EXPECT_EQ(stringValue(one("  padded  "), "k"), "  padded  ");
    EXPECT_EQ(stringValue(one(5), "k"), std::nullopt);
    // Invalid sequences each become one U+FFFD: a lone continuation byte, a truncated
    // three-byte sequence, and an overlong encoding (C0 is never valid, 80 on its own).
    EXPECT_EQ(stringValue(one(Bytes{'a', 0x80, 'b', 0xE2, 0x82, 'c', 0xC0, 0x80}), "k"), "a\uFFFDb\uFFFDc\uFFFD\uFFFD");
    // Control (Cc) and format (Cf) characters go from both ends, not from the middle.
    EXPECT_EQ(stringValue(one(bytesOf("\u200B\t Serial\x01X \n\xEF\xBB\xBF")), "k"), " Serial\x01X ");

    const PlistDict inner{{"a", 1}};
    EXPECT_EQ(dictValue(one(PlistArray{PlistValue(inner)}), "k"), nullptr);
    EXPECT_EQ(*dictValue(one(inner), "k"), inner);
}

TEST(PlistCoding, XMLAndBinaryRoundTripEveryType) {
    const PlistDict value{{"string", "Wi\u2011Fi"}, {"int", -407}, {"big", INT64_MAX}, {"real", 31.25}, {"bool", true},
                          {"data", Bytes{0, 1, 2, 255}}, {"date", PlistDate{700000000.0}},
                          {"array", PlistArray{1, "two", PlistDict{{"three", 3}}}},
                          {"dict", PlistDict{{"nested", PlistDict{{"deep", false}}}}}, {"empty", PlistDict{}}};
    const std::string xml = encodeXML(value);
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"", 0), 0u);
    EXPECT_NE(xml.find("<plist version=\"1.0\">"), std::string::npos);
    EXPECT_EQ(decodePlist(bytesOf(xml)), PlistValue(value));
    const Bytes binary = encodeBinary(value);
    EXPECT_EQ(std::string(binary.begin(), binary.begin() + 8), "bplist00");
    EXPECT_EQ(decodePlist(binary), PlistValue(value));
}

TEST(PlistCoding, ReadsEverythingTheXMLFormatAllows) {
    // Entities, CDATA, hex and unsigned integers, padded data, empty keys, invalid UTF-8.
    const std::string xml = test::readText(CELVIO_TEST_DATA_DIR "/plist/every-xml-form.plist");
    // 2024-02-29 12:30:05 UTC is 730,902,605 seconds after 2001-01-01.
    const PlistDict expected{
        {"Text", "A <b> & \"c\" 'd' \u2011\u2014 <raw> & end"}, {"Empty", ""}, {"Hex", 31}, {"Unsigned", -1},
        {"Min", INT64_MIN}, {"Real", -25.0}, {"Yes", true}, {"No", false}, {"Date", PlistDate{730902605.0}},
        {"Data", Bytes{0, 1, 2, 255}}, {"List", PlistArray{1, PlistArray{}, PlistDict{}}}, {"", "empty key"},
        {"K\uFFFDey", "a\uFFFDb"}, {"Raw", "\uFFFDc"}};  // invalid UTF-8 repaired where it is decoded
    EXPECT_EQ(decodePlist(bytesOf(xml)), PlistValue(expected));
}

TEST(PlistCoding, MalformedInputIsRejected) {
    const char* rows[] = {
        "", "not a plist at all", "bplist00garbagegarbage", "<!-- unterminated",
        "<plist><dict><key>a</key></dict></plist>",           // key without value
        "<plist><dict><string>a</string></dict></plist>",     // value without key
        "<plist><dict><key>a</key><string>b</dict></plist>",  // unclosed string
        "<plist><integer>12a</integer></plist>", "<plist><integer>-9223372036854775809</integer></plist>",
        "<plist><integer></integer></plist>", "<plist><real>1.5x</real></plist>",
        "<plist><date>2024-13-01T00:00:00Z</date></plist>", "<plist><data>AA=A</data></plist>",
        "<plist><data>A</data></plist>", "<plist><string>&bogus;</string></plist>",
        "<plist><string>&#0;</string></plist>", "<plist><string>&#xD800;</string></plist>",
        "<plist><true>x</true></plist>", "<plist><unknown/></plist>",
        "<plist><string>a</string><string>b</string></plist>", "<plist><array><string>a</string></plist>",
        "<plist><array>text</array></plist>",
    };
    for (const char* xml : rows) EXPECT_THROW(decodePlist(bytesOf(xml)), PropertyListError) << xml;
}

namespace {

void appendBigEndian(Bytes& out, std::uint64_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

/// A binary list whose top array refers `references` times to one data object of `size`
/// bytes: about size + references bytes that decode to size × references.
Bytes sharedReferences(std::uint32_t references, std::uint32_t size) {
    Bytes out = bytesOf("bplist00");
    out.insert(out.end(), {0xAF, 0x12});
    appendBigEndian(out, references, 4);
    out.insert(out.end(), references, 0x01);
    const std::size_t dataAt = out.size();
    out.insert(out.end(), {0x4F, 0x12});
    appendBigEndian(out, size, 4);
    out.insert(out.end(), size, 0x2A);
    const std::size_t table = out.size();
    appendBigEndian(out, 8, 4);
    appendBigEndian(out, dataAt, 4);
    out.insert(out.end(), {0, 0, 0, 0, 0, 0, 4, 1});
    appendBigEndian(out, 2, 8);  // objects
    appendBigEndian(out, 0, 8);  // top object
    appendBigEndian(out, table, 8);
    return out;
}

std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

}  // namespace

// Decoding costs at most a small multiple of the input: each copy of a shared object and
// each level of nesting counts, so 100 KB can neither ask for gigabytes nor a deep stack.
TEST(PlistCoding, HostileInputIsRefusedWithinItsBudget) {
    struct Row {
        const char* name;
        Bytes input;
        bool decodes;
    };
    const Row rows[] = {
        {"one 50 KB object referred to 50,000 times", sharedReferences(50000, 50000), false},
        {"100 KB of nested arrays", bytesOf(repeated("<array>", 14000)), false},
        {"100 KB of nested dictionaries", bytesOf(repeated("<dict><key>k</key>", 5000)), false},
        {"nesting as deep as allowed", bytesOf(repeated("<array>", 512) + repeated("</array>", 512)), true},
        {"a 200-byte object referred to 100 times", sharedReferences(100, 200), true},
        {"100,000 references to one small object", sharedReferences(100000, 8), true},
    };
    for (const auto& row : rows) {
        if (row.decodes)
            EXPECT_NO_THROW(decodePlist(row.input)) << row.name;
        else
            EXPECT_THROW(decodePlist(row.input), PropertyListError) << row.name;
    }
}
