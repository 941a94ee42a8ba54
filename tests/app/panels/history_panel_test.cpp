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
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSplineSeries>
#include <QTest>
#include <QTimer>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <tuple>

namespace celvio::test {
namespace {

/// Noon local time, `day` days after 2024-03-01, so the calendar day is the same in every zone.
HistoryEntry::Date noon(int day) {
    const QDateTime local(QDate(2024, 3, 1).addDays(day), QTime(12, 0));
    return HistoryEntry::Date(std::chrono::seconds(local.toSecsSinceEpoch()));
}

HistoryEntry measurement(const std::string& serial, int day, std::int64_t fcc, std::int64_t dc = 3000) {
    return {UUID::random(), noon(day), HistoryEntry::Kind::ios, serial, serial + " Phone", "iPhone15,2", std::nullopt,
            std::nullopt, 100 + day, fcc, dc, std::nullopt};
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
    /// The chart's lines: one a device.
    std::size_t lines() const {
        const auto series = chart()->findChild<QChartView*>()->chart()->series();
        return std::ranges::count_if(series, [](QAbstractSeries* one) { return qobject_cast<QSplineSeries*>(one); });
    }
    QString count() const { return widget->findChild<QLabel*>("historyCount")->text(); }

    ScopedLocale locale;
    TempDir dir;
    Daemon daemon;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<RootView> root;
    HistoryPanel* widget = nullptr;
};

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
    EXPECT_EQ(panel.lines(), 7u);
    for (std::size_t i = 0; i < groups.size(); ++i)
        EXPECT_EQ(blocks[i]->property("serial").toString(), UiText::fromStd(groups[i].serial));
    EXPECT_EQ(blocks[0]->findChild<QLabel*>("historyModel")->text(), "iPhone 14 Pro");
    EXPECT_TRUE(panel.widget->findChildren<MonthRows*>().isEmpty()) << "every block starts closed";
    EXPECT_EQ(panel.widget->findChild<IconButton*>("importHistory"), nullptr) << "no coconutBattery database";
    const struct {
        const char *serial, *text;
        QColor colour;
    } healths[] = {{"D0", "80 %", Theme::orange()}, {"D1", "80 %", Theme::green()}, {"D2", "0 %", Theme::red()}};
    for (const auto& row : healths) {
        const QLabel* health = panel.block(row.serial)->findChild<QLabel*>("historyHealth");
        EXPECT_EQ(health->text(), row.text) << row.serial;
        EXPECT_EQ(health->palette().color(QPalette::WindowText), row.colour) << row.serial;
    }
}

TEST(HistoryPanel, DateColumnUsesFullNumericLocaleDates) {
    const std::pair<QLocale, const char*> rows[] = {
        {QLocale("en_US"), "MM/dd/yyyy"}, {QLocale("de_DE"), "dd.MM.yyyy"}, {QLocale("en_GB"), "dd/MM/yyyy"},
        {QLocale("ja_JP"), "yyyy/MM/dd"}, {QLocale::c(), "yyyy-MM-dd"}};
    for (const auto& [locale, expected] : rows) EXPECT_EQ(numericDateFormat(locale), expected) << expected;
}

TEST(HistoryPanel, HeaderClickTogglesMonthsAndMeasurements) {
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
    EXPECT_EQ(months[1]->findChild<QLabel*>("monthHealth")->text(), "93 %");
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
}

TEST(HistoryPanel, DeletionsTakeEffectAtOnceAndCanBeUndoneForAWhile) {
    // The newest first: SOLO's block, then KEEP's and PAIR's.
    Panel panel({measurement("PAIR", 0, 2600), measurement("KEEP", 1, 2700), measurement("PAIR", 2, 2590),
                 measurement("SOLO", 3, 2900)},
                true);
    const std::filesystem::path file = panel.dir / "history.json";
    auto* undoLine = panel.widget->findChild<QWidget*>("historyUndo");
    auto* timer = panel.widget->findChild<QTimer*>("historyUndoTimer");
    ASSERT_TRUE(undoLine && timer && undoLine->isHidden());
    panel.root->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.root.get()));
    const auto byTrash = [&] {
        QTest::mouseClick(panel.block("SOLO"), Qt::LeftButton);
        QTest::mouseClick(panel.details("SOLO")->findChild<QAbstractButton*>("deleteEntry"), Qt::LeftButton);
    };
    const auto byMenu = [&] {
        emit panel.block("PAIR")->customContextMenuRequested(QPoint(10, 10));
        auto* menu = panel.block("PAIR")->findChild<QMenu*>();
        ASSERT_TRUE(menu && menu->isVisible() && menu->actions().size() == 1);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions()[0]).center());
    };
    const struct {
        const char* serial;
        std::function<void()> remove;
        bool undo;  // else the offer passes
        const char* offer;
    } rows[] = {{"SOLO", byTrash, true, "· 1 deleted"}, {"PAIR", byMenu, false, "· 2 deleted"}};
    for (const auto& row : rows) {
        const std::string before = readText(file);
        const std::size_t lines = panel.lines();
        row.remove();
        const std::string deleted = readText(file);
        EXPECT_EQ(panel.block(row.serial), nullptr) << row.serial;
        EXPECT_EQ(panel.lines(), lines - 1) << row.serial;
        EXPECT_EQ(deleted.find(row.serial), std::string::npos) << row.serial << ": written at once";
        EXPECT_FALSE(undoLine->isHidden()) << row.serial;
        EXPECT_EQ(undoLine->findChild<QLabel*>()->text(), row.offer);
        if (row.undo) {
            QTest::mouseClick(undoLine->findChild<QAbstractButton*>("undoDelete"), Qt::LeftButton);
            EXPECT_EQ(readText(file), before) << row.serial << ": written back at once";
            EXPECT_EQ(panel.lines(), lines) << row.serial;
            EXPECT_TRUE(panel.block("SOLO")->property("open").toBool()) << "still open after the undo";
        } else {
            timer->start(1);
            EXPECT_TRUE(waitUntil([&] { return undoLine->isHidden(); }));
            auto* inside = panel.widget->findChild<IconButton*>("exportHistory");
            inside->setFocus();
            QTest::keyClick(inside, Qt::Key_Z, Qt::ControlModifier);
            EXPECT_EQ(readText(file), deleted) << row.serial << ": gone for good";
        }
    }

    QSignalSpy imports(panel.widget, &HistoryPanel::importRequested);
    QTest::mouseClick(panel.widget->findChild<IconButton*>("importHistory"), Qt::LeftButton);
    EXPECT_EQ(imports.count(), 1);
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

TEST(HealthChart, EveryMarkInsideThePlotAreaOverDistinctDates) {
    const auto entries = [](std::vector<std::int64_t> fccs, int daysApart) {
        // Of a design capacity of 1,000 mAh, so tenths of a percent.
        std::vector<HistoryEntry> made;
        for (std::size_t i = 0; i < fccs.size(); ++i)
            made.push_back(measurement("X", static_cast<int>(i) * daysApart, fccs[i], 1000));
        return made;
    };
    const QString days = "\\d{1,2} [A-Z][a-z]{2}", months = "[A-Z][a-z]{2} \\d{4}";
    const struct {
        const char* what;
        std::vector<HistoryEntry> entries;
        double lower, upper, tick;
        QString labels;
    } rows[] = {{"85 to 98 %", entries({850, 920, 980}, 1), 77, 102, 10, days},
                {"62.4 % lowest", entries({624, 900}, 1), 59, 102, 20, days},
                {"103.2 % highest", entries({950, 1032}, 1), 77, 106, 10, days},
                {"80 and 100 %", entries({800, 1000}, 30), 77, 102, 10, days},
                {"nothing left", entries({0}, 1), -5, 102, 50, days},
                {"two years", entries({990, 950, 900}, 365), 77, 102, 10, months}};
    for (const auto& row : rows) {
        HealthChart chart({HealthSeries{QString(), row.entries}});
        chart.resize(500, 100);
        chart.show();
        QCoreApplication::processEvents();

        const ChartMeasures measured = measureChart(chart);
        EXPECT_EQ(measured.marksInside, static_cast<int>(row.entries.size())) << row.what;
        const QString labels = measured.dateLabels.join(" / ");
        EXPECT_EQ(QStringList(measured.dateLabels).removeDuplicates(), 0) << row.what << ": " << qPrintable(labels);
        EXPECT_EQ(measured.dateLabels.filter(QRegularExpression("^" + row.labels + "$")).size(), 3)
            << qPrintable(labels);
        QChart* drawn = chart.findChild<QChartView*>()->chart();
        const auto* health = qobject_cast<QValueAxis*>(drawn->axes(Qt::Vertical)[0]);
        EXPECT_EQ(std::tuple(health->min(), health->max(), health->tickInterval()),
                  std::tuple(row.lower, row.upper, row.tick))
            << row.what;
    }
}

}  // namespace
}  // namespace celvio::test
