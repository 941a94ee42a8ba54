#include "reading/device_catalog.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using namespace celvio;
using DeviceCatalog::IconCache;
using DeviceCatalog::marketingName;

// Order and uniqueness are checked when the table is compiled in; this checks that every
// row of the data file arrives, the last one (without a newline) included.
TEST(DeviceCatalog, EveryRowOfTheDataFileIsFound) {
    std::ifstream file(CELVIO_DEVICE_IDENTIFIERS_TSV);
    ASSERT_TRUE(file) << CELVIO_DEVICE_IDENTIFIERS_TSV;
    std::size_t iPhones = 0, iPads = 0;
    for (std::string line; std::getline(file, line);) {
        const auto tab = line.find('\t');
        const std::string code = line.substr(0, tab);
        EXPECT_EQ(marketingName(code), line.substr(tab + 1)) << line;
        iPhones += code.starts_with("iPhone");
        iPads += code.starts_with("iPad");
    }
    // Catches rows lost when the table is regenerated.
    EXPECT_GE(iPhones, 62u);
    EXPECT_GE(iPads, 102u);
    EXPECT_EQ(marketingName("MacBookAir7,2"), "MacBook Air (13-inch, Early 2015 / 2017)");  // merged upstream names

    // "arm64" is what a simulator host reports, and a computer's machine name.
    for (const char* unknown : {"arm64", "x86_64", "", "iPhone99,9", "iphone15,2", "iPhone15,2 ", "iPhone15",
                                "iPhone15,22", "MacBookPro18,3|laptopcomputer"})
        EXPECT_EQ(marketingName(unknown), std::nullopt) << '"' << unknown << '"';
}

TEST(DeviceCatalog, IconCacheLoadsEachCodeAndSymbolOnce) {
    int calls = 0;
    // "none" is a symbol the loader does not know.
    IconCache<std::string> cache([&calls](std::string_view symbol) {
        ++calls;
        return symbol == "none" ? std::string() : "image of " + std::string(symbol);
    });
    const std::string& first = cache.icon("iPhone15,2", "iphone");  // no model icons: the symbol's image
    EXPECT_EQ(&cache.icon("iPhone15,2", "iphone"), &first);
    EXPECT_EQ(cache.icon("iPhone15,2", "ipad"), "image of ipad");  // same code, another symbol
    // The key is code|symbol, so these two do not collide although the joined texts would.
    cache.icon("ab", "c");
    cache.icon("a", "bc");
    // Unknown code and unknown symbol: the empty image, cached too.
    const std::string& empty = cache.icon("Unknown1,1", "none");
    EXPECT_EQ(empty, "");
    EXPECT_EQ(&cache.icon("Unknown1,1", "none"), &empty);
    EXPECT_EQ(std::tuple(calls, cache.size()), std::tuple(5, 5u));
    EXPECT_EQ(first, "image of iphone");  // earlier references survive later insertions
}
