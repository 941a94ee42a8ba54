#include "plist/binary_plist.hpp"

#include "base/celvio_error.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

using namespace celvio;

namespace {

// Written by another encoder: keys "a\0b", "Amperage" (18446744073709551209 as a 16-byte
// integer), "Half" (0.5) and "Name" (UTF-16 with a non-BMP character).
const Bytes kForeign = test::bytesOf(test::readText(CELVIO_TEST_DATA_DIR "/plist/foreign.bplist"));

/// A trailer for `count` objects with one-byte offsets and references, top object 0.
Bytes withTrailer(Bytes body, std::uint8_t count) {
    const auto table = static_cast<std::uint8_t>(body.size());
    std::uint8_t offset = 8;
    for (std::uint8_t i = 0; i < count; ++i) {
        body.push_back(offset);
        offset = static_cast<std::uint8_t>(offset + (i + 1 < count ? 3 : 0));
    }
    const Bytes trailer{0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, count, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, table};
    body.insert(body.end(), trailer.begin(), trailer.end());
    return body;
}

Bytes header() { return {'b', 'p', 'l', 'i', 's', 't', '0', '0'}; }

}  // namespace

TEST(BinaryPlist, ReadsWhatOtherEncodersWrite) {
    ASSERT_TRUE(isBinaryPlist(kForeign));
    const PlistValue value = readBinaryPlist(kForeign);
    const auto* dict = value.get<PlistDict>();
    ASSERT_NE(dict, nullptr);
    // A NUL inside a key made libplist abort the whole process.
    EXPECT_EQ(intValue(*dict, std::string("a\0b", 3)), 1);
    EXPECT_EQ(intValue(*dict, "Amperage"), -407);
    EXPECT_EQ(doubleValue(*dict, "Half"), 0.5);
    EXPECT_EQ(stringValue(*dict, "Name"), "Wi\u2011Fi \U0001F50B");

    // {"k\xFF": "a\x80b"} in "ASCII" strings: repaired where decoded.
    Bytes binary = header();
    binary.insert(binary.end(), {0xD1, 0x01, 0x02, 0x52, 'k', 0xFF, 0x53, 'a', 0x80, 'b'});
    EXPECT_EQ(readBinaryPlist(withTrailer(binary, 3)), PlistValue(PlistDict{{"k\uFFFD", "a\uFFFDb"}}));
}

TEST(BinaryPlist, HostileStructuresAreRejected) {
    // An array that holds itself.
    Bytes cycle = header();
    cycle.insert(cycle.end(), {0xA1, 0x00});
    EXPECT_THROW(readBinaryPlist(withTrailer(cycle, 1)), PropertyListError);

    // Forty arrays each holding the next one twice: 2^40 values from 200 bytes.
    Bytes doubling = header();
    for (std::uint8_t i = 1; i <= 40; ++i) doubling.insert(doubling.end(), {0xA2, i, i});
    doubling.push_back(0x09);
    EXPECT_THROW(readBinaryPlist(withTrailer(doubling, 41)), PropertyListError);

    // Truncations and counts that run past the end.
    for (std::size_t cut : {9u, 40u, 100u, 125u}) {
        EXPECT_THROW(readBinaryPlist(ByteView(kForeign).first(cut)), PropertyListError) << cut;
    }
    Bytes longData = header();
    longData.insert(longData.end(), {0x4F, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    EXPECT_THROW(readBinaryPlist(withTrailer(longData, 1)), PropertyListError);
    Bytes numberKey = header();
    numberKey.insert(numberKey.end(), {0xD1, 0x01, 0x01, 0x10, 0x05});
    EXPECT_THROW(readBinaryPlist(withTrailer(numberKey, 2)), PropertyListError);
}
