#include "reading/device_catalog.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using namespace celvio;
using DeviceCatalog::IconCache;
using DeviceCatalog::marketingName;

TEST(DeviceCatalog, MarketingNames) {
    const struct {
        const char* code;
        const char* name;
    } known[] = {
        {"iPhone15,2", "iPhone 14 Pro"},
        {"iPhone8,4", "iPhone SE (1st generation)"},
        {"iPhone17,5", "iPhone 16e"},
        {"iPad13,1", "iPad Air (4th generation)"},
        {"iPad16,3", "iPad Pro 11-inch (M4)"},
        {"Mac14,2", "MacBook Air (M2, 2022)"},
        {"MacBookPro18,3", "MacBook Pro (14-inch, 2021)"},
        // Several upstream names for one code, merged.
        {"MacBookAir7,2", "MacBook Air (13-inch, Early 2015 / 2017)"},
        {"Mac14,8", "Mac Pro (2023)"},
        // First and last rows of the table.
        {"Mac13,1", "Mac Studio (2022)"},
        {"iPod9,1", "iPod touch (7th generation)"},
    };
    for (const auto& [code, name] : known) EXPECT_EQ(marketingName(code), name) << code;

    // "arm64" is what a simulator host reports, and a computer's machine name.
    for (const char* unknown : {"arm64", "x86_64", "i386", "", "iPhone99,9", "iphone15,2", "iPhone15,2 ", "iPhone15",
                                "iPhone15,22", "MacBookPro18,3|laptopcomputer"})
        EXPECT_EQ(marketingName(unknown), std::nullopt) << '"' << unknown << '"';
}

TEST(DeviceCatalog, TableFileIsSortedUniqueAndCompiledIn) {
    std::ifstream file(CELVIO_DEVICE_IDENTIFIERS_TSV);
    ASSERT_TRUE(file) << CELVIO_DEVICE_IDENTIFIERS_TSV;
    std::vector<std::string> codes;
    std::size_t iPhones = 0, iPads = 0;
    for (std::string line; std::getline(file, line);) {
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const std::string code = line.substr(0, tab), name = line.substr(tab + 1);
        ASSERT_FALSE(code.empty()) << line;
        ASSERT_FALSE(name.empty()) << line;
        ASSERT_EQ(name.find('\t'), std::string::npos) << line;
        if (!codes.empty()) {
            EXPECT_LT(codes.back(), code) << "unsorted or repeated: " << line;
        }
        codes.push_back(code);
        EXPECT_EQ(marketingName(code), name) << line;
        iPhones += code.starts_with("iPhone");
        iPads += code.starts_with("iPad");
    }
    // Catches rows lost when the table is regenerated.
    EXPECT_GE(iPhones, 62u);
    EXPECT_GE(iPads, 102u);
}

namespace {

/// Counts the loader's calls; "none" is a symbol it does not know.
struct CountingLoader {
    int calls = 0;
    IconCache<std::string>::Loader loader() {
        return [this](std::string_view symbol) {
            ++calls;
            return symbol == "none" ? std::string() : "image of " + std::string(symbol);
        };
    }
};

}  // namespace

TEST(DeviceCatalog, IconCacheLoadsEachCodeAndSymbolOnce) {
    CountingLoader counter;
    IconCache<std::string> cache(counter.loader());

    const std::string& first = cache.icon("iPhone15,2", "iphone");
    EXPECT_EQ(first, "image of iphone");  // no model icons: always the symbol's image
    EXPECT_EQ(&cache.icon("iPhone15,2", "iphone"), &first);
    EXPECT_EQ(counter.calls, 1);

    // Same code, another symbol: a key of its own.
    EXPECT_EQ(cache.icon("iPhone15,2", "ipad"), "image of ipad");
    EXPECT_EQ(counter.calls, 2);
    EXPECT_EQ(cache.size(), 2u);

    // The key is code|symbol, so these two do not collide although the joined texts would
    // without the separator.
    cache.icon("ab", "c");
    cache.icon("a", "bc");
    EXPECT_EQ(counter.calls, 4);

    // Unknown code and unknown symbol: the empty image, cached too.
    const std::string& empty = cache.icon("Unknown1,1", "none");
    EXPECT_EQ(empty, "");
    EXPECT_EQ(&cache.icon("Unknown1,1", "none"), &empty);
    EXPECT_EQ(counter.calls, 5);
    EXPECT_EQ(cache.size(), 5u);

    // Earlier references survive later insertions.
    EXPECT_EQ(first, "image of iphone");
}
