#include "app_test_support.hpp"
#include "style/ui_text.hpp"
#include "style/symbols.hpp"
#include "style/theme.hpp"

#include <QFontMetrics>
#include <QLocale>

#include <gtest/gtest.h>

namespace celvio::test {
namespace {

TEST(Theme, ChargeAndHealthTintsAtTheirBoundaries) {
    const struct {
        double percent;
        QColor charge, health;
    } rows[] = {
        {100, Theme::green(), Theme::green()},   {80, Theme::green(), Theme::green()},
        {79.9, Theme::green(), Theme::orange()}, {60, Theme::green(), Theme::orange()},
        {59.9, Theme::green(), Theme::red()},    {20.5, Theme::green(), Theme::red()},
        {20, Theme::orange(), Theme::red()},     {10.5, Theme::orange(), Theme::red()},
        {10, Theme::red(), Theme::red()},        {0, Theme::red(), Theme::red()},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Theme::chargeTint(row.percent), row.charge) << row.percent;
        EXPECT_EQ(Theme::healthTint(row.percent), row.health) << row.percent;
    }
    EXPECT_NEAR(Theme::muted().alphaF(), 0.58, 1e-3);
    EXPECT_EQ(Theme::muted().rgb(), Theme::cream().rgb());
    EXPECT_EQ(Theme::paletteColour(5), Theme::green()) << "the sixth series wraps to the first colour";
    EXPECT_EQ(Theme::paletteColour(3), Theme::violet());
}

TEST(UiText, NumbersFollowTheDefaultLocale) {
    {
        ScopedLocale english;
        EXPECT_EQ(UiText::percent(87.46, 1), "87.5 %");
        EXPECT_EQ(UiText::percent(100, 1), "100.0 %");
        EXPECT_EQ(UiText::percent(std::nullopt, 1), QString::fromUtf8("\u2014"));
        EXPECT_EQ(UiText::number(12345.678, 2), "12,345.68");
        EXPECT_EQ(UiText::grouped(4382), "4,382");
        EXPECT_EQ(LocaleNumberFormat().fixed(4.012, 2), "4.01");
    }
    {
        ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(UiText::percent(87.46, 1), "87,5 %");
        EXPECT_EQ(UiText::grouped(4382), "4.382");
        EXPECT_EQ(LocaleNumberFormat().grouped(-12000), "-12.000");
        EXPECT_EQ(LocaleNumberFormat().fixed(3.25, 2), "3,25");
    }
}

TEST(UiText, DayIsTheUTCCalendarDay) {
    using namespace std::chrono;
    // 23:30 on 31 December at UTC-5 is already 1 January in UTC.
    const auto lateNewYearsEve = sys_days(2024y / December / 31) + 23h + 30min + 5h;
    EXPECT_EQ(UiText::day(lateNewYearsEve), "2025-01-01");
    EXPECT_EQ(UiText::day(sys_days(2024y / February / 29)), "2024-02-29");
    EXPECT_EQ(UiText::day(std::nullopt), QString::fromUtf8("\u2014"));
}

TEST(Symbols, EveryNameHasAGlyphInTheIconFont) {
    const QFontMetrics metrics(Symbols::font(20));
    for (const std::string_view name : Symbols::names()) {
        const QString glyph = Symbols::glyph(name);
        ASSERT_EQ(glyph.size(), 1) << name;
        EXPECT_TRUE(metrics.inFontUcs4(glyph.at(0).unicode())) << name;
    }
    EXPECT_TRUE(Symbols::glyph("no.such.symbol").isEmpty());
    EXPECT_FALSE(Symbols::deviceIcon("iPhone15,2", "iphone").isNull());
    EXPECT_EQ(&Symbols::deviceIcon("iPhone15,2", "iphone"), &Symbols::deviceIcon("iPhone15,2", "iphone"));
}

}  // namespace
}  // namespace celvio::test
