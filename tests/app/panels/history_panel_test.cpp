#include "panels/history_panel.hpp"
#include "widgets/health_chart.hpp"
#include "history/history_json.hpp"
#include "widgets/month_rows.hpp"

#include "model/app_model.hpp"
#include "shell/root_view.hpp"
#include "app_test_support.hpp"
#include "style/ui_text.hpp"
#include "widgets/icon_button.hpp"
#include "style/theme.hpp"

#include <QAbstractButton>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace celvio::test {
namespace {

/// Noon local time, `day` days after 2024-03-01, so the calendar day is the same in every zone.
HistoryEntry::Date noon(int day) {
    const QDateTime local(QDate(2024, 3, 1).addDays(day), QTime(12, 0));
    return HistoryEntry::Date(std::chrono::seconds(local.toSecsSinceEpoch()));
}

HistoryEntry measurement(const std::string& serial, int day, std::int64_t fcc, std::int64_t dc = 3000) {
    HistoryEntry entry;
    entry.id = UUID::random();
    entry.date = noon(day);
    entry.deviceSerial = serial;
    entry.deviceName = serial + " Phone";
    entry.modelIdentifier = "iPhone15,2";
    entry.cycleCount = 100 + day;
    entry.fullChargeCapacity = fcc;
    entry.designCapacity = dc;
    return entry;
}

/// A model over a history file holding `entries`, and the panel showing it.
struct Panel {
    explicit Panel(std::vector<HistoryEntry> entries, bool coconutDatabase = false) {
        daemon.serve({});
        AppModelOptions options = isolatedOptions(dir);
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.date < b.date; });
        std::ofstream(*options.historyFile, std::ios::binary) << HistoryJSON::encodeArray(entries);
        if (coconutDatabase) writeCoconutDatabase(options.coconutDatabase, {{.date = 700000000, .serial = "OLD-1"}});
        model = startModel(options);
        model->setSelection(Selection::history());
        root = std::make_unique<RootView>(*model);
        root->show();
        widget = qobject_cast<HistoryPanel*>(root->panel());
    }

    QList<QAbstractButton*> blocks() const { return widget->findChildren<QAbstractButton*>("historyBlock"); }
    QAbstractButton* block(const char* serial) const {
        for (QAbstractButton* header : blocks())
            if (header->property("serial").toString() == serial) return header;
        return nullptr;
    }
    /// The whole block: its header and what opens below.
    QWidget* details(const char* serial) const { return block(serial)->parentWidget(); }
    HealthChart* chart() const { return widget->findChild<HealthChart*>("healthChart"); }
    QString count() const { return widget->findChild<QLabel*>("historyCount")->text(); }

    ScopedLocale locale;
    TempDir dir;
    Daemon daemon;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<RootView> root;
    HistoryPanel* widget = nullptr;
};

QColor textColour(const QWidget* widget) { return widget->palette().color(QPalette::WindowText); }

/// The widget drawn over black, without the window background.
QImage renderOverBlack(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

TEST(HistoryPanel, BlocksShowLatestHealthInPaletteOrder) {
    Panel empty({});
    EXPECT_EQ(empty.count(), "0 measurements");
    EXPECT_EQ(empty.chart(), nullptr);
    EXPECT_TRUE(empty.blocks().isEmpty());

    // D0 falls from 98.3 to 79.6, D1 is exactly 80, D2 has no design capacity.
    std::vector<HistoryEntry> entries{measurement("D0", 0, 2950), measurement("D0", 1, 2388),
                                      measurement("D1", 2, 2400), measurement("D2", 3, 2400, 0)};
    for (int i = 3; i < 7; ++i) entries.push_back(measurement("D" + std::to_string(i), i + 1, 2700));
    Panel panel(entries);
    EXPECT_EQ(panel.count(), "8 measurements");
    const auto& groups = panel.model->historyGroups();
    const auto blocks = panel.blocks();
    ASSERT_EQ(blocks.size(), 7);
    const std::vector<QColor> lines = panel.chart()->lineColours();
    ASSERT_EQ(lines.size(), 7u);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(blocks[i]->property("serial").toString(), UiText::fromStd(groups[i].serial));
        EXPECT_EQ(lines[i], Theme::paletteColour(i)) << i;
        const QImage dot = renderOverBlack(*blocks[i]->findChild<QWidget*>("historyDot"));
        EXPECT_EQ(dot.pixelColor(3, 3), Theme::paletteColour(i)) << i;
    }
    EXPECT_EQ(blocks[0]->findChild<QLabel*>("historyModel")->text(), "iPhone 14 Pro");
    EXPECT_TRUE(panel.widget->findChildren<MonthRows*>().isEmpty()) << "every block starts closed";
    EXPECT_EQ(panel.widget->findChild<IconButton*>("importHistory"), nullptr) << "no coconutBattery database";
    const struct {
        const char* serial;
        const char* text;
        QColor colour;
    } healths[] = {{"D0", "80 %", Theme::orange()}, {"D1", "80 %", Theme::green()}, {"D2", "0 %", Theme::red()}};
    for (const auto& row : healths) {
        const QLabel* health = panel.block(row.serial)->findChild<QLabel*>("historyHealth");
        EXPECT_EQ(health->text(), row.text) << row.serial;
        EXPECT_EQ(textColour(health), row.colour) << row.serial;
    }
}

TEST(HistoryPanel, DateColumnUsesFullNumericLocaleDates) {
    const std::pair<QLocale, const char*> rows[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "MM/dd/yyyy"},
        {QLocale(QLocale::German, QLocale::Germany), "dd.MM.yyyy"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "dd/MM/yyyy"},
        {QLocale(QLocale::Japanese, QLocale::Japan), "yyyy/MM/dd"},
        {QLocale::c(), "yyyy-MM-dd"},
    };
    for (const auto& [locale, expected] : rows) EXPECT_EQ(numericDateFormat(locale), expected) << expected;
}

TEST(HistoryPanel, HeaderClickTogglesMeasurementsThatSurviveRebuilds) {
    HistoryEntry imported = measurement("A", 0, 2800);
    imported.source = "coconutBattery";
    HistoryEntry own = measurement("A", 40, 2950, 3200);
    own.cycleCount = 412;
    Panel panel({imported, own, measurement("B", 2, 2700), measurement("B", 3, 2690)});
    const auto rows = [&](const char* serial) {
        return panel.details(serial)->findChildren<QWidget*>("measurementRow");
    };
    const auto cell = [](QWidget* row, const char* name) { return row->findChild<QLabel*>(name)->text(); };
    const auto help = [](QWidget* row) { return row->findChild<QAbstractButton*>("deleteEntry")->toolTip(); };

    QTest::mouseClick(panel.block("A"), Qt::LeftButton);
    const auto months = panel.details("A")->findChildren<QWidget*>("monthRow");
    ASSERT_EQ(months.size(), 2) << "March and April";
    EXPECT_EQ(months[0]->findChild<QLabel*>("monthLabel")->text(), "2024-04") << "newest first";
    const QLabel* marchHealth = months[1]->findChild<QLabel*>("monthHealth");
    EXPECT_EQ(marchHealth->text(), "93 %");
    EXPECT_EQ(textColour(marchHealth), Theme::green());
    // The padding left of each month's label shows the stripe, then nothing.
    const QImage striped = renderOverBlack(*panel.details("A")->findChild<MonthRows*>());
    const int stripe = qRound(255 * Theme::white(0.035).alphaF());
    for (int i = 0; i < 2; ++i) {
        const QPoint probe = months[i]->geometry().topLeft() + QPoint(2, months[i]->height() / 2);
        EXPECT_EQ(striped.pixelColor(probe), QColor(i ? 0 : stripe, i ? 0 : stripe, i ? 0 : stripe)) << i;
    }
    ASSERT_EQ(rows("A").size(), 2);
    EXPECT_TRUE(rows("B").isEmpty());
    QWidget* newest = rows("A")[0];
    EXPECT_EQ(cell(newest, "measurementDate"), "04/10/2024");
    EXPECT_EQ(cell(newest, "measurementHealth"), "92.2 %");
    EXPECT_EQ(cell(newest, "measurementCycles"), "412 cyc.");
    EXPECT_EQ(help(newest), "Delete this measurement (Celvio, 2,950 mAh / 3,200 mAh)");
    EXPECT_EQ(help(rows("A")[1]), "Delete this measurement (coconutBattery, 2,800 mAh / 3,000 mAh)");

    QTest::mouseClick(panel.block("A"), Qt::LeftButton);
    EXPECT_EQ(panel.details("A")->findChild<MonthRows*>(), nullptr);

    QTest::mouseClick(panel.block("A"), Qt::LeftButton);
    panel.model->deleteHistoryEntry(panel.model->historyForSerial("B")->entries.front().id);
    EXPECT_EQ(panel.count(), "3 measurements");
    EXPECT_EQ(rows("A").size(), 2) << "still open after the rebuild";
    EXPECT_TRUE(rows("B").isEmpty());
}

TEST(HistoryPanel, DeletingRemovesBlockAndLineAndImportAndExportAreAsked) {
    Panel panel({measurement("ONE", 0, 2900), measurement("KEEP", 1, 2700), measurement("GONE", 2, 2600),
                 measurement("GONE", 3, 2590)},
                true);
    ASSERT_EQ(panel.chart()->lineColours().size(), 3u);

    QTest::mouseClick(panel.block("ONE"), Qt::LeftButton);
    QTest::mouseClick(panel.details("ONE")->findChild<QAbstractButton*>("deleteEntry"), Qt::LeftButton);
    EXPECT_EQ(panel.block("ONE"), nullptr);
    EXPECT_EQ(panel.chart()->lineColours().size(), 2u);
    EXPECT_EQ(panel.count(), "3 measurements");

    QAbstractButton* gone = panel.block("GONE");
    emit gone->customContextMenuRequested(QPoint(10, 10));
    auto* menu = gone->findChild<QMenu*>();
    ASSERT_TRUE(menu && menu->isVisible());
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "Delete History of This Device");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions()[0]).center());
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(panel.block("GONE"), nullptr);
    EXPECT_EQ(panel.blocks().size(), 1);
    EXPECT_EQ(panel.chart()->lineColours().size(), 1u);
    EXPECT_EQ(panel.model->historyForSerial("GONE"), std::nullopt);

    QSignalSpy imports(panel.widget, &HistoryPanel::importRequested);
    QSignalSpy exports(panel.widget, &HistoryPanel::exportRequested);
    auto* importButton = panel.widget->findChild<IconButton*>("importHistory");
    ASSERT_NE(importButton, nullptr) << "the database exists";
    QTest::mouseClick(importButton, Qt::LeftButton);
    QTest::mouseClick(panel.widget->findChild<IconButton*>("exportHistory"), Qt::LeftButton);
    EXPECT_EQ(imports.count(), 1);
    EXPECT_EQ(exports.count(), 1);
}

TEST(HistoryPanel, ShowsAFailedSaveUntilOneSucceedsAndAKeptFileUntilDismissed) {
    Panel panel({measurement("D0", 0, 2950)});
    auto* saveError = panel.widget->findChild<QLabel*>("historySaveError");
    auto* keptAside = panel.widget->findChild<QWidget*>("historyKeptAside");
    ASSERT_TRUE(saveError && keptAside);
    EXPECT_TRUE(saveError->isHidden() && keptAside->isHidden());

    const std::filesystem::path file = panel.dir / "history.json";
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    panel.model->deleteHistoryEntry(UUID::random());
    EXPECT_FALSE(saveError->isHidden());
    EXPECT_EQ(saveError->text(), "The history could not be saved: Is a directory");
    EXPECT_EQ(panel.count(), "1 measurements") << "kept in memory";

    std::filesystem::remove(file);
    std::ofstream(file) << "[{";
    panel.model->deleteHistoryEntry(UUID::random());
    EXPECT_TRUE(saveError->isHidden()) << "the next change saved";
    EXPECT_FALSE(keptAside->isHidden());
    const QString text = keptAside->findChild<QLabel*>()->text();
    EXPECT_TRUE(text.startsWith("The history file could not be read and was kept as history.json.unreadable-") &&
                text.endsWith("; a new history was started."))
        << text.toStdString();
    EXPECT_EQ(HistoryStore::read(file).size(), 1u);

    QTest::mouseClick(keptAside->findChild<QAbstractButton*>("dismissKeptAside"), Qt::LeftButton);
    EXPECT_TRUE(keptAside->isHidden());
    EXPECT_EQ(panel.model->historyKeptAside(), std::nullopt);
    panel.model->deleteHistoryEntry(UUID::random());
    EXPECT_TRUE(keptAside->isHidden()) << "told once";
}

TEST(HealthChart, DomainCoversEveryValueWithRoomAboveAndBelow) {
    struct Row {
        std::vector<std::int64_t> fccs;  // of a design capacity of 1,000 mAh, so tenths of a percent
        HealthDomain expected;
        double tick;
    };
    const Row rows[] = {{{850, 920, 980}, {77, 102}, 10}, {{624, 900}, {59, 102}, 20}, {{950, 1032}, {77, 106}, 10},
                        {{800, 1000}, {77, 102}, 10},     {{0}, {-3, 102}, 50},      {{}, {77, 102}, 10}};
    for (const Row& row : rows) {
        std::vector<HealthSeries> series(2);
        for (std::size_t i = 0; i < row.fccs.size(); ++i)
            series[i % 2].entries.push_back(measurement("X", static_cast<int>(i), row.fccs[i], 1000));
        const HealthDomain domain = healthDomain(series);
        EXPECT_EQ(domain, row.expected) << domain.lower << ".." << domain.upper;
        EXPECT_EQ(healthTickInterval(domain), row.tick);
    }
}

TEST(HealthChart, DrawsEachSeriesInItsColourOverTheRule) {
    HealthChart chart({{"One", {measurement("A", 0, 2900), measurement("A", 30, 2850), measurement("A", 60, 2800)}},
                       {"Two", {measurement("B", 10, 2500), measurement("B", 50, 2450)}}});
    chart.resize(300, 100);
    chart.show();
    QCoreApplication::processEvents();

    const QList<QAbstractSeries*> all = chart.chart()->series();
    ASSERT_EQ(all.size(), 5) << "a line and its marks per series, and the rule";
    EXPECT_EQ(chart.lineColours(), (std::vector<QColor>{Theme::green(), Theme::amber()}));
    auto* rule = qobject_cast<QLineSeries*>(all.back());
    ASSERT_TRUE(rule && rule->count() == 2);
    EXPECT_EQ(std::pair(rule->at(0).y(), rule->at(1).y()), std::pair(80.0, 80.0));
    EXPECT_EQ(rule->pen().dashPattern(), (QList<qreal>{3, 3}));

    // Marks sit on the data in their series' colour; the background stays see-through.
    const QImage image = renderOverBlack(chart);
    auto* marks = qobject_cast<QScatterSeries*>(all[3]);
    ASSERT_NE(marks, nullptr);
    const QColor mark = image.pixelColor(chart.chart()->mapToPosition(marks->at(1), marks).toPoint());
    const QColor amber = Theme::amber();  // blending rounds a little
    EXPECT_LE(std::abs(mark.red() - amber.red()) + std::abs(mark.green() - amber.green()) +
                  std::abs(mark.blue() - amber.blue()), 6);
    EXPECT_EQ(image.pixelColor(image.width() - 1, 0), QColor(Qt::black));
}

}  // namespace
}  // namespace celvio::test
