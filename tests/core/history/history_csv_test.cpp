#include "history/history_csv.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

using namespace celvio;
using namespace celvio::test;

namespace {

const std::string kHeader =
    "date;device;model;serial;cycles;full_charge_capacity_mAh;design_capacity_mAh;health_percent;os;source";

HistoryEntry row(std::int64_t full, std::int64_t design) {
    HistoryEntry entry = phoneEntry("F2LX", utc("2024-03-05T10:15:00Z", 0.9));
    entry.fullChargeCapacity = full;
    entry.designCapacity = design;
    return entry;
}

/// The one line after the header.
std::string line(const HistoryEntry& entry) {
    const std::string text = historyCSV({entry});
    EXPECT_EQ(text.substr(0, kHeader.size() + 1), kHeader + "\n");
    return text.substr(kHeader.size() + 1);
}

}  // namespace

TEST(HistoryCSV, Lines) {
    EXPECT_EQ(historyCSV({}), kHeader);
    HistoryEntry later = row(3000, 4000);
    later.date = utc("2024-03-06T08:00:00Z");
    EXPECT_EQ(historyCSV({later, row(2950, 3279)}),
              kHeader + "\n2024-03-06T08:00:00Z;Anna's iPhone;iPhone15,2;F2LX;412;3000;4000;75.0;17.4.1;Celvio" +
                  "\n2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;2950;3279;90.0;17.4.1;Celvio")
        << "in the given order, no line feed after the last";

    const std::string prefix = "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;";
    const auto edit = [](auto change) {
        HistoryEntry entry = row(2950, 3279);
        change(entry);
        return entry;
    };
    const struct {
        const char* what;
        HistoryEntry entry;
        std::string line;
    } rows[] = {
        {"semicolons in every text", edit([](HistoryEntry& e) {
             e.deviceName = "Lab; Desk";
             e.modelIdentifier = "a;b";
             e.deviceSerial = ";";
             e.osVersion = "17;4";
             e.source = "x;y";
         }),
         "2024-03-05T10:15:00Z;Lab, Desk;a,b;,;412;2950;3279;90.0;17,4;x,y"},
        {"74.975 rounds up", edit([](HistoryEntry& e) { e.fullChargeCapacity = 2999, e.designCapacity = 4000; }),
         prefix + "2999;4000;75.0;17.4.1;Celvio"},
        {"no os version", edit([](HistoryEntry& e) { e.osVersion.reset(); }), prefix + "2950;3279;90.0;;Celvio"},
        {"imported", edit([](HistoryEntry& e) { e.source = "coconutBattery"; }),
         prefix + "2950;3279;90.0;17.4.1;coconutBattery"},
        {"negative numbers", edit([](HistoryEntry& e) { e.cycleCount = -1, e.fullChargeCapacity = -2950; }),
         "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;-1;-2950;3279;-90.0;17.4.1;Celvio"},
        {"line break and quote unchanged", edit([](HistoryEntry& e) { e.deviceName = "Two\n\"Lines\""; }),
         "2024-03-05T10:15:00Z;Two\n\"Lines\";iPhone15,2;F2LX;412;2950;3279;90.0;17.4.1;Celvio"}};
    for (const auto& r : rows) EXPECT_EQ(line(r.entry), r.line) << r.what;
}

TEST(HistoryCSV, PointInADecimalCommaLocale) {
    // German numbers built into a folder of the test's own (LOCPATH) from the definitions of
    // the locales package: the machine's locales stay as they are.
    TempDir dir;
    writeText(dir / "numeric", "LC_NUMERIC\ncopy \"de_DE\"\nEND LC_NUMERIC\n");
    const std::string build = "localedef -c -f UTF-8 -i '" + (dir / "numeric").string() + "' '" +
                              (dir / "de_DE.UTF-8").string() + "' 2>/dev/null";
    [[maybe_unused]] const int status = std::system(build.c_str());  // 1: the other categories left out
    ScopedEnv path("LOCPATH", dir.path().string());
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_TRUE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) << "localedef and the locales package are needed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 75.0);
    const std::string text = line(row(3000, 4000));
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_STREQ(probe, "75,0") << "a decimal comma in effect";
    EXPECT_NE(text.find(";75.0;"), std::string::npos) << text;
}
