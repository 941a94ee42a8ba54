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

TEST(PlistAccessors, IntValue) {
    EXPECT_EQ(intValue(one("+42"), "k"), 42);
    EXPECT_EQ(intValue(one("-7"), "k"), -7);
    EXPECT_EQ(intValue(one("9223372036854775807"), "k"), INT64_MAX);
    EXPECT_EQ(intValue(one("-9223372036854775808"), "k"), INT64_MIN);
    for (const char* bad :
         {" 42", "42 ", "", "+", "-", "9223372036854775808", "-9223372036854775809", "4x", "0x10", "1.0"})
        EXPECT_EQ(intValue(one(bad), "k"), std::nullopt) << '"' << bad << '"';
    EXPECT_EQ(intValue(one(3.9), "k"), 3);
    EXPECT_EQ(intValue(one(-3.9), "k"), -3);
    EXPECT_EQ(intValue(one(true), "k"), 1);
    EXPECT_EQ(intValue(one(false), "k"), 0);
    EXPECT_EQ(intValue(one(std::nan("")), "k"), std::nullopt);
    EXPECT_EQ(intValue(one(1e30), "k"), std::nullopt);
    EXPECT_EQ(intValue(one(bytesOf("42")), "k"), std::nullopt);
    EXPECT_EQ(intValue(one(1), "missing"), std::nullopt);
    EXPECT_EQ(intValue(PlistDict{}, "k"), std::nullopt);
}

TEST(PlistAccessors, DoubleValue) {
    EXPECT_EQ(doubleValue(one("31.25"), "k"), 31.25);
    EXPECT_EQ(doubleValue(one("+2"), "k"), 2.0);
    EXPECT_EQ(doubleValue(one("-1e3"), "k"), -1000.0);
    EXPECT_EQ(doubleValue(one("0x1p3"), "k"), 8.0);
    for (const char* bad : {"", " 1", "1 ", "1e", "abc", "+-1", "--1", "1,5"})
        EXPECT_EQ(doubleValue(one(bad), "k"), std::nullopt) << '"' << bad << '"';
    EXPECT_EQ(doubleValue(one(7), "k"), 7.0);
    EXPECT_EQ(doubleValue(one(true), "k"), 1.0);
}

TEST(PlistAccessors, BoolValue) {
    EXPECT_EQ(boolValue(one("true"), "k"), std::nullopt);
    EXPECT_EQ(boolValue(one(2), "k"), true);
    EXPECT_EQ(boolValue(one(0), "k"), false);
    EXPECT_EQ(boolValue(one(0.5), "k"), true);
    EXPECT_EQ(boolValue(one(false), "k"), false);
}

TEST(PlistAccessors, StringValue) {
    EXPECT_EQ(stringValue(one(bytesOf(std::string("iPhone14,2\0", 11))), "k"), "iPhone14,2");
    EXPECT_EQ(stringValue(one("  padded  "), "k"), "  padded  ");
    EXPECT_EQ(stringValue(one(5), "k"), std::nullopt);
    // Invalid sequences each become one U+FFFD: a lone continuation byte, a truncated
    // three-byte sequence, and an overlong encoding (C0 is never valid, 80 on its own).
    EXPECT_EQ(stringValue(one(Bytes{'a', 0x80, 'b', 0xE2, 0x82, 'c', 0xC0, 0x80}), "k"), "a\uFFFDb\uFFFDc\uFFFD\uFFFD");
    // Control (Cc) and format (Cf) characters go from both ends, not from the middle.
    EXPECT_EQ(stringValue(one(bytesOf("\u200B\t Serial\x01X \n\xEF\xBB\xBF")), "k"), " Serial\x01X ");
    EXPECT_EQ(stringValue(one(Bytes{}), "k"), "");
}

TEST(PlistAccessors, DictValue) {
    PlistDict inner{{"a", 1}};
    EXPECT_EQ(dictValue(one(PlistArray{PlistValue(inner)}), "k"), nullptr);
    ASSERT_NE(dictValue(one(inner), "k"), nullptr);
    EXPECT_EQ(*dictValue(one(inner), "k"), inner);
}

TEST(PlistCoding, XMLAndBinaryRoundTripEveryType) {
    const PlistDict value{
        {"string", "Wi\u2011Fi"},
        {"int", -407},
        {"big", INT64_MAX},
        {"real", 31.25},
        {"bool", true},
        {"data", Bytes{0, 1, 2, 255}},
        {"date", PlistDate{700000000.0}},
        {"array", PlistArray{1, "two", PlistDict{{"three", 3}}}},
        {"dict", PlistDict{{"nested", PlistDict{{"deep", false}}}}},
        {"empty", PlistDict{}},
    };
    const std::string xml = encodeXML(value);
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"", 0), 0u);
    EXPECT_NE(xml.find("<plist version=\"1.0\">"), std::string::npos);
    EXPECT_EQ(decodePlist(bytesOf(xml)), PlistValue(value));
    const Bytes binary = encodeBinary(value);
    EXPECT_EQ(std::string(binary.begin(), binary.begin() + 8), "bplist00");
    EXPECT_EQ(decodePlist(binary), PlistValue(value));
}

TEST(PlistCoding, ReadsEverythingTheXMLFormatAllows) {
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<!-- written by hand -->
<plist version="1.0">
<dict>
	<key>Text</key><string>A &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos; &#x2011;&#8212; <![CDATA[<raw> & ]]>end</string>
	<key>Empty</key><string/>
	<key>Hex</key><integer>0x1F</integer>
	<key>Unsigned</key><integer> 18446744073709551615 </integer>
	<key>Min</key><integer>-9223372036854775808</integer>
	<key>Real</key><real>-2.5e1</real>
	<key>Yes</key><true/>
	<key>No</key><false></false>
	<key>Date</key><date>2024-02-29T12:30:05Z</date>
	<key>Data</key><data>
		AAEC
		/w==
	</data>
	<key>List</key><array><integer>1</integer><array/><dict/></array>
	<key></key><string>empty key</string>
</dict>
</plist>
)";
    const PlistValue value = decodePlist(bytesOf(xml));
    const auto* dict = value.get<PlistDict>();
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(stringValue(*dict, "Text"), "A <b> & \"c\" 'd' \u2011\u2014 <raw> & end");
    EXPECT_EQ(stringValue(*dict, "Empty"), "");
    EXPECT_EQ(intValue(*dict, "Hex"), 31);
    EXPECT_EQ(intValue(*dict, "Unsigned"), -1);
    EXPECT_EQ(intValue(*dict, "Min"), INT64_MIN);
    EXPECT_EQ(doubleValue(*dict, "Real"), -25.0);
    EXPECT_EQ(boolValue(*dict, "Yes"), true);
    EXPECT_EQ(boolValue(*dict, "No"), false);
    // 2024-02-29 12:30:05 UTC is 730,902,605 seconds after 2001-01-01.
    EXPECT_EQ(dict->at("Date"), PlistValue(PlistDate{730902605.0}));
    EXPECT_EQ(dict->at("Data"), PlistValue(Bytes{0, 1, 2, 255}));
    EXPECT_EQ(dict->at("List"), PlistValue(PlistArray{1, PlistArray{}, PlistDict{}}));
    EXPECT_EQ(stringValue(*dict, ""), "empty key");
}

TEST(PlistCoding, MalformedInputIsRejected) {
    const char* rows[] = {
        "", "not a plist at all", "bplist00garbagegarbage",
        "<plist><dict><key>a</key></dict></plist>",           // key without value
        "<plist><dict><string>a</string></dict></plist>",     // value without key
        "<plist><dict><key>a</key><string>b</dict></plist>",  // unclosed string
        "<plist><integer>12a</integer></plist>",
        "<plist><integer>-9223372036854775809</integer></plist>",
        "<plist><integer></integer></plist>",
        "<plist><real>1.5x</real></plist>",
        "<plist><date>2024-13-01T00:00:00Z</date></plist>",
        "<plist><data>AA=A</data></plist>",
        "<plist><data>A</data></plist>",
        "<plist><string>&bogus;</string></plist>",
        "<plist><string>&#0;</string></plist>",
        "<plist><string>&#xD800;</string></plist>",
        "<plist><true>x</true></plist>",
        "<plist><unknown/></plist>",
        "<plist><string>a</string><string>b</string></plist>",
        "<plist><array><string>a</string></plist>",
        "<plist><array>text</array></plist>",
        "<!-- unterminated",
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

TEST(PlistCoding, InvalidXMLTextIsRepairedWhereItIsDecoded) {
    const std::string xml =
        "<plist><dict><key>K\xC0"
        "ey</key><string>a\x80"
        "b</string>"
        "<key>Raw</key><string><![CDATA[\xE2\x82]]>c</string></dict></plist>";
    const PlistValue value = decodePlist(bytesOf(xml));
    const PlistDict expected{{"K\uFFFDey", "a\uFFFDb"}, {"Raw", "\uFFFDc"}};
    EXPECT_EQ(value, PlistValue(expected));
}
