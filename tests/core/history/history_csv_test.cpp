#include "history/history_csv.hpp"
#include "history/history_store.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <clocale>

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

TEST(HistoryCSV, EmptyHistoryIsTheHeaderAlone) { EXPECT_EQ(historyCSV({}), kHeader); }

TEST(HistoryCSV, Lines) {
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
        {"a measurement of ours", row(2950, 3279),
         "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;2950;3279;90.0;17.4.1;Celvio"},
        {"75.0 for 3000 of 4000", row(3000, 4000),
         "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;3000;4000;75.0;17.4.1;Celvio"},
        {"74.975 rounds to 75.0", row(2999, 4000),
         "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;2999;4000;75.0;17.4.1;Celvio"},
        {"design 0", row(2950, 0), "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;2950;0;0.0;17.4.1;Celvio"},
        {"above 100", row(5000, 4000),
         "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;5000;4000;125.0;17.4.1;Celvio"},
        {"semicolons in every text", edit([](HistoryEntry& e) {
             e.deviceName = "Lab; Desk";
             e.modelIdentifier = "a;b";
             e.deviceSerial = ";";
             e.osVersion = "17;4";
             e.source = "x;y";
         }),
         "2024-03-05T10:15:00Z;Lab, Desk;a,b;,;412;2950;3279;90.0;17,4;x,y"},
        {"no os version", edit([](HistoryEntry& e) { e.osVersion.reset(); }),
         "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;2950;3279;90.0;;Celvio"},
        {"imported", edit([](HistoryEntry& e) { e.source = "coconutBattery"; }),
         "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;2950;3279;90.0;17.4.1;coconutBattery"},
        {"negative numbers", edit([](HistoryEntry& e) { e.cycleCount = -1, e.fullChargeCapacity = -2950; }),
         "2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;-1;-2950;3279;-90.0;17.4.1;Celvio"},
        {"line break and quote unchanged", edit([](HistoryEntry& e) { e.deviceName = "Two\n\"Lines\""; }),
         "2024-03-05T10:15:00Z;Two\n\"Lines\";iPhone15,2;F2LX;412;2950;3279;90.0;17.4.1;Celvio"},
    };
    for (const auto& r : rows) EXPECT_EQ(line(r.entry), r.line) << r.what;
}

TEST(HistoryCSV, PointInEveryLocale) {
    const char* const old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::string text = line(row(3000, 4000));
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_NE(text.find(";75.0;"), std::string::npos) << text;
}

TEST(HistoryCSV, StoreOrderAndNoTrailingLineFeed) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    HistoryStore store(dir / "history.json");
    HistoryEntry later = row(3000, 4000);
    later.date = utc("2024-03-06T08:00:00Z");
    store.record(later);
    store.record(row(2950, 3279));
    EXPECT_EQ(store.csv(), kHeader +
                               "\n2024-03-05T10:15:00Z;Anna's iPhone;iPhone15,2;F2LX;412;2950;3279;90.0;17.4.1;Celvio"
                               "\n2024-03-06T08:00:00Z;Anna's iPhone;iPhone15,2;F2LX;412;3000;4000;75.0;17.4.1;Celvio");
}
