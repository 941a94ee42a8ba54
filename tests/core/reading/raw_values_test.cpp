#include "reading/raw_values.hpp"

#include <gtest/gtest.h>

using namespace celvio;
using RawValues::describe;
using RawValues::flatten;

namespace {

Bytes countingBytes(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

PlistArray oneToN(int n) {
    PlistArray array;
    for (int i = 1; i <= n; ++i) array.emplace_back(i);
    return array;
}

}  // namespace

TEST(RawValues, Describe) {
    const std::string hex24 = "000102030405060708090a0b0c0d0e0f1011121314151617";
    const struct {
        const char* what;
        PlistValue value;
        std::string text;
    } rows[] = {
        {"true", true, "true"}, {"negative", std::int64_t{-407}, "-407"},
        {"largest", INT64_MAX, "9223372036854775807"},
        {"no exact binary form", 0.1, "0.1"}, {"whole real", 3.0, "3"}, {"empty string", "", ""},
        {"empty data", Bytes{}, "<>"}, {"24 bytes", countingBytes(24), "<" + hex24 + ">"},
        {"25 bytes", countingBytes(25), "<" + hex24 + "… 25 bytes>"},
        {"high bytes", Bytes{0xab, 0xff, 0x0f}, "<abff0f>"},
        {"empty array", PlistArray{}, "[]"}, {"8 integers", oneToN(8), "[1, 2, 3, 4, 5, 6, 7, 8]"},
        {"9 integers", oneToN(9), "[1, 2, 3, 4, 5, 6, 7, 8, … (9)]"},
        {"dictionary and string", PlistArray{PlistDict{{"k", 1}}, "x"}, "[{…}, x]"},
        {"nested array", PlistArray{PlistArray{true, 0.5}, Bytes{0x01}}, "[[true, 0.5], <01>]"},
        {"dictionary", PlistDict{{"k", 1}}, "{…}"}, {"the epoch", PlistDate{0}, "2001-01-01 00:00:00 +0000"},
        {"leap day, fraction dropped", PlistDate{730902605.75}, "2024-02-29 12:30:05 +0000"},
        {"before the epoch", PlistDate{-0.5}, "2000-12-31 23:59:59 +0000"},
        {"before 1970", PlistDate{-978307201}, "1969-12-31 23:59:59 +0000"},
        {"out of range", PlistDate{1e300}, "1e+300"},
    };
    for (const auto& row : rows) EXPECT_EQ(describe(row.value), row.text) << row.what;
}

TEST(RawValues, Flatten) {
    const PlistDict registry{
        {"b", 2}, {"a", true}, {"A", "upper"},
        {"BatteryData", PlistDict{{"Serial", "S"}, {"Lifetime", PlistDict{{"X", 1}, {"Deep", PlistDict{{"Y", 2}}}}}}},
        {"Empty", PlistDict{}}, {"List", PlistArray{PlistDict{}, "x"}}, {"\u00c4", "after every ASCII key"},
    };
    // "Empty" is expanded into no rows at all.
    const std::vector<RawRow> expected{
        {"A", "upper"}, {"BatteryData.Lifetime.Deep", "{…}"}, {"BatteryData.Lifetime.X", "1"},
        {"BatteryData.Serial", "S"}, {"List", "[{…}, x]"}, {"a", "true"}, {"b", "2"},
        {"\u00c4", "after every ASCII key"}};
    EXPECT_EQ(flatten(registry), expected);

    // A caller starting deeper gets a prefix and expands less.
    EXPECT_EQ(flatten(registry, "Root", 1),
              (std::vector<RawRow>{{"Root.A", "upper"}, {"Root.BatteryData.Lifetime", "{…}"},
                                   {"Root.BatteryData.Serial", "S"}, {"Root.List", "[{…}, x]"}, {"Root.a", "true"},
                                   {"Root.b", "2"}, {"Root.\u00c4", "after every ASCII key"}}));
    EXPECT_EQ(flatten({}), std::vector<RawRow>{});
}
