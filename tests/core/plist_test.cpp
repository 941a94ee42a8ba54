#include "plist.hpp"

#include "celvio_error.hpp"
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
    for (const char* bad : {" 42", "42 ", "", "+", "-", "9223372036854775808", "-9223372036854775809", "4x", "0x10", "1.0"})
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
    EXPECT_EQ(stringValue(one(Bytes{'a', 0x80, 'b', 0xE2, 0x82, 'c', 0xC0, 0x80}), "k"),
              "a\uFFFDb\uFFFDc\uFFFD\uFFFD");
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

TEST(PlistCoding, UnsignedIntegersKeepTheirBitPattern) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>InstantAmperage</key><integer>18446744073709551209</integer>"
        "<key>Negative</key><integer>-95923</integer></dict></plist>";
    const PlistValue value = decodePlist(bytesOf(xml));
    const auto* dict = value.get<PlistDict>();
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(intValue(*dict, "InstantAmperage"), -407);
    EXPECT_EQ(intValue(*dict, "Negative"), -95923);
    EXPECT_NE(encodeXML(PlistDict{{"n", -407}}).find("<integer>-407</integer>"), std::string::npos);
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

TEST(PlistCoding, UndecodableBytesThrowPropertyListError) {
    for (const std::string bad : {"", "not a plist at all", "bplist00garbagegarbage", "<plist><dict><key>a</key>"}) {
        EXPECT_THROW(decodePlist(bytesOf(bad)), PropertyListError) << bad;
    }
}
