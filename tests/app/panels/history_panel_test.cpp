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
#include <QGraphicsTextItem>
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
double msecs(int day) { return noon(day).time_since_epoch().count() * 1000; }

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

/// US English for the duration of a test, so separators and date order are known.
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

QStringList texts(const QList<QLabel*>& labels) {
    QStringList all;
    for (const QLabel* label : labels) all << label->text();
    return all;
}

TEST(HistoryPanel, EmptyHistoryShowsOnlyTheCount) {
    Panel panel({});
    EXPECT_EQ(panel.count(), "0 measurements");
    EXPECT_EQ(panel.chart(), nullptr);
    EXPECT_TRUE(panel.blocks().isEmpty());
}

TEST(HistoryPanel, BlocksShowLatestHealthInPaletteOrder) {
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
    EXPECT_EQ(panel.chart()->height(), 100);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(blocks[i]->property("serial").toString(), UiText::fromStd(groups[i].serial));
        EXPECT_EQ(lines[i], Theme::paletteColour(i)) << i;
        const QImage dot = renderOverBlack(*blocks[i]->findChild<QWidget*>("historyDot"));
        EXPECT_EQ(dot.pixelColor(3, 3), Theme::paletteColour(i)) << i;
    }
    EXPECT_EQ(lines[5], Theme::green());
    EXPECT_EQ(blocks[0]->findChild<QLabel*>("historyModel")->text(), "iPhone 14 Pro");
    EXPECT_TRUE(panel.widget->findChildren<MonthRows*>().isEmpty()) << "every block starts closed";
    EXPECT_EQ(panel.widget->findChild<IconButton*>("importHistory"), nullptr) << "no coconutBattery database";

    const auto health = [&](const char* serial) { return panel.block(serial)->findChild<QLabel*>("historyHealth"); };
    EXPECT_EQ(health("D0")->text(), "80 %");
    EXPECT_EQ(textColour(health("D0")), Theme::orange());
    EXPECT_EQ(health("D1")->text(), "80 %");
    EXPECT_EQ(textColour(health("D1")), Theme::green());
    EXPECT_EQ(health("D2")->text(), "0 %");
    EXPECT_EQ(textColour(health("D2")), Theme::red());
}

TEST(HistoryPanel, DateColumnUsesFullNumericLocaleDates) {
    struct Row {
        QLocale locale;
        const char* expected;
    };
    const Row rows[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "MM/dd/yyyy"},
        {QLocale(QLocale::German, QLocale::Germany), "dd.MM.yyyy"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "dd/MM/yyyy"},
        {QLocale(QLocale::Japanese, QLocale::Japan), "yyyy/MM/dd"},
        {QLocale::c(), "yyyy-MM-dd"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(numericDateFormat(row.locale), row.expected) << row.locale.name().toStdString();
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
    EXPECT_EQ(panel.details("A")->findChildren<QWidget*>("monthRow").size(), 2) << "March and April";
    ASSERT_EQ(rows("A").size(), 2);
    EXPECT_TRUE(rows("B").isEmpty());
    QWidget* newest = rows("A")[0];
    EXPECT_EQ(cell(newest, "measurementDate"), "04/10/2024");
    EXPECT_EQ(cell(newest, "measurementHealth"), "92.2 %");
    EXPECT_EQ(cell(newest, "measurementCycles"), "412 cyc.");
    EXPECT_EQ(help(newest), "Delete this measurement (Celvio, 2,950 mAh / 3,200 mAh)");
    EXPECT_EQ(cell(rows("A")[1], "measurementDate"), "03/01/2024");
    EXPECT_EQ(help(rows("A")[1]), "Delete this measurement (coconutBattery, 2,800 mAh / 3,000 mAh)");

    QTest::mouseClick(panel.block("A"), Qt::LeftButton);
    EXPECT_EQ(panel.details("A")->findChild<MonthRows*>(), nullptr);
    EXPECT_TRUE(rows("A").isEmpty());

    QTest::mouseClick(panel.block("A"), Qt::LeftButton);
    panel.model->deleteHistoryEntry(panel.model->historyForSerial("B")->entries.front().id);
    EXPECT_EQ(panel.count(), "3 measurements");
    EXPECT_EQ(rows("A").size(), 2) << "still open after the rebuild";
    EXPECT_TRUE(rows("B").isEmpty());
}

TEST(HistoryPanel, DeletingLastMeasurementOrWholeDeviceRemovesBlockAndLine) {
    Panel panel({measurement("ONE", 0, 2900), measurement("KEEP", 1, 2700), measurement("GONE", 2, 2600),
                 measurement("GONE", 3, 2590)});
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
}

TEST(HistoryPanel, ImportAndExportButtonsEmitTheirRequests) {
    Panel panel({measurement("A", 0, 2900)}, true);
    QSignalSpy imports(panel.widget, &HistoryPanel::importRequested);
    QSignalSpy exports(panel.widget, &HistoryPanel::exportRequested);
    auto* importButton = panel.widget->findChild<IconButton*>("importHistory");
    ASSERT_NE(importButton, nullptr) << "the database exists";
    EXPECT_EQ(importButton->toolTip(), "Import coconutBattery history");
    QTest::mouseClick(importButton, Qt::LeftButton);
    EXPECT_EQ(imports.count(), 1);
    EXPECT_EQ(exports.count(), 0);
    QTest::mouseClick(panel.widget->findChild<IconButton*>("exportHistory"), Qt::LeftButton);
    EXPECT_EQ(exports.count(), 1);
    EXPECT_EQ(imports.count(), 1);
}

TEST(HistoryPanel, ShowsAFailedSaveUntilOneSucceedsAndAKeptFileUntilDismissed) {
    Panel panel({measurement("D0", 0, 2950)});
    auto* saveError = panel.widget->findChild<QLabel*>("historySaveError");
    auto* keptAside = panel.widget->findChild<QWidget*>("historyKeptAside");
    ASSERT_TRUE(saveError && keptAside);
    EXPECT_TRUE(saveError->isHidden());
    EXPECT_TRUE(keptAside->isHidden());

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
    EXPECT_TRUE(text.startsWith("The history file could not be read and was kept as history.json.unreadable-"))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("; a new history was started.")) << text.toStdString();
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
    const Row rows[] = {
        {{850, 920, 980}, {77, 102}, 10}, {{624, 900}, {59, 102}, 20},
        {{950, 1032}, {77, 106}, 10},     {{}, {77, 102}, 10},
        {{800, 1000}, {77, 102}, 10},     {{0}, {-3, 102}, 50},
    };
    for (const Row& row : rows) {
        std::vector<HealthSeries> series(2);
        for (std::size_t i = 0; i < row.fccs.size(); ++i)
            series[i % 2].entries.push_back(measurement("X", static_cast<int>(i), row.fccs[i], 1000));
        const HealthDomain domain = healthDomain(series);
        EXPECT_EQ(domain, row.expected) << domain.lower << ".." << domain.upper;
        EXPECT_EQ(healthTickInterval(domain), row.tick);
    }
    EXPECT_EQ(healthDomain({}), (HealthDomain{77, 102}));
}

TEST(HealthChart, DateSpanNeverCollapses) {
    constexpr double day = 86400000;
    struct Row {
        std::vector<std::vector<int>> days;
        DateSpan expected;
    };
    const Row rows[] = {
        {{{0, 3}, {10}}, {msecs(0), msecs(10)}},
        {{{2}, {2}}, {msecs(2) - day, msecs(2) + day}},
        {{{}, {}}, {msecs(0) - day, msecs(0) + day}},
    };
    for (const Row& row : rows) {
        std::vector<HealthSeries> series(row.days.size());
        for (std::size_t i = 0; i < row.days.size(); ++i)
            for (int d : row.days[i]) series[i].entries.push_back(measurement("X", d, 900));
        EXPECT_EQ(dateSpan(series, msecs(0)), row.expected);
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
    EXPECT_EQ(rule->at(0).y(), 80);
    EXPECT_EQ(rule->at(1).y(), 80);
    EXPECT_EQ(rule->pen().dashPattern(), (QList<qreal>{3, 3}));

    // Labels whole percent on the nice steps; the range ends (77, 102) get none.
    QStringList labels;
    for (QGraphicsItem* item : chart.chart()->scene()->items()) {
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible())
            labels << text->toPlainText();
    }
    EXPECT_TRUE(labels.contains("80%")) << labels.join(' ').toStdString();
    EXPECT_TRUE(labels.contains("90%"));
    EXPECT_TRUE(labels.contains("100%"));
    EXPECT_FALSE(labels.contains("77%"));

    // Marks sit on the data in their series' colour; the background stays see-through.
    const QImage image = renderOverBlack(chart);
    auto* marks = qobject_cast<QScatterSeries*>(all[3]);
    ASSERT_NE(marks, nullptr);
    const QColor mark = image.pixelColor(chart.chart()->mapToPosition(marks->at(1), marks).toPoint());
    EXPECT_NEAR(mark.red(), Theme::amber().red(), 2);  // blending rounds a little
    EXPECT_NEAR(mark.green(), Theme::amber().green(), 2);
    EXPECT_NEAR(mark.blue(), Theme::amber().blue(), 2);
    EXPECT_EQ(image.pixelColor(image.width() - 1, 0), QColor(Qt::black));
}

TEST(MonthRows, NewestFirstStripedRoundedAndTinted) {
    ScopedLocale locale;
    MonthRows rows({{"2024-01", 92.4, 100}, {"2024-02", 79.6, 120}, {"2024-03", 59.6, 1234}});
    rows.resize(rows.sizeHint().expandedTo(QSize(240, 0)));
    rows.show();

    const auto months = rows.findChildren<QWidget*>("monthRow");
    ASSERT_EQ(months.size(), 3);
    EXPECT_EQ(texts(rows.findChildren<QLabel*>("monthLabel")), (QStringList{"2024-03", "2024-02", "2024-01"}));
    const auto health = rows.findChildren<QLabel*>("monthHealth");
    EXPECT_EQ(texts(health), (QStringList{"60 %", "80 %", "92 %"}));
    EXPECT_EQ(textColour(health[0]), Theme::red()) << "59.6 is below 60";
    EXPECT_EQ(textColour(health[1]), Theme::orange()) << "79.6 is below 80";
    EXPECT_EQ(textColour(health[2]), Theme::green());
    EXPECT_EQ(texts(rows.findChildren<QLabel*>("monthCycles")), (QStringList{"1234", "120", "100"}));

    // The padding left of each label shows the stripe or nothing.
    const QImage image = renderOverBlack(rows);
    const int stripe = qRound(255 * Theme::white(0.035).alphaF());
    for (qsizetype i = 0; i < months.size(); ++i) {
        const QPoint probe = months[i]->geometry().topLeft() + QPoint(2, months[i]->height() / 2);
        const int expected = i % 2 == 0 ? stripe : 0;
        EXPECT_EQ(image.pixelColor(probe), QColor(expected, expected, expected)) << "row " << i;
    }
}

}  // namespace
}  // namespace celvio::test
