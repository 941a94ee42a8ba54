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
    const QColor g = Theme::green(), o = Theme::orange(), r = Theme::red();
    const struct {
        double percent;
        QColor charge, health;
    } rows[] = {{80, g, g}, {79.9, g, o}, {60, g, o}, {59.9, g, r}, {20.5, g, r}, {20, o, r}, {10.5, o, r}, {10, r, r}};
    for (const auto& row : rows) {
        EXPECT_EQ(Theme::chargeTint(row.percent), row.charge) << row.percent;
        EXPECT_EQ(Theme::healthTint(row.percent), row.health) << row.percent;
    }
    EXPECT_EQ(Theme::paletteColour(5), Theme::green()) << "the sixth series wraps to the first colour";
}

TEST(UiText, NumbersFollowTheDefaultLocaleAndDaysAreUTC) {
    using namespace std::chrono;
    // 23:30 on 31 December at UTC-5 is already 1 January in UTC.
    EXPECT_EQ(UiText::day(sys_days(2024y / December / 31) + 23h + 30min + 5h), "2025-01-01");
    // Decimals in the locale are also PanelData's test.
    ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(UiText::percent(87.46, 1) + UiText::grouped(4382), "87,5 %4.382");
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
}

}  // namespace
}  // namespace celvio::test
