// Pictures of every panel of the window, drawn from the simulator's devices, for a
// person to look at: `make screenshots` writes them into the build folder.
#include "care/care_controller.hpp"
#include "care/care_settings.hpp"
#include "model/app_model.hpp"
#include "app_test_support.hpp"
#include "style/appearance.hpp"
#include "base/celvio_error.hpp"
#include "panels/battery_panel.hpp"
#include "history/history_store.hpp"
#include "reading/ios_device_reader.hpp"
#include "shell/main_window.hpp"
#include "panels/raw_values_sheet.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"
#include "widgets/device_strip.hpp"
#include "widgets/health_chart.hpp"
#include "widgets/ring_gauge.hpp"
#include "widgets/stat_cell.hpp"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QStyle>
#include <QPainter>
#include <QScrollArea>
#include <QWheelEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace celvio::test {
namespace {

const std::string iPhone = "00008120-001A2B3C4D5E6F70";
const std::string iPad = "a1b2c3d4e5f60718293a4b5c6d7e8f9012345678";

/// celvio-sim serving the two-device scenario for as long as it lives.
struct TwoDevices : Daemon {
    TwoDevices() { serveFile(CELVIO_SCENARIO_DIR "/two-devices.json"); }
};

/// The application's look, as `main` sets it up, and an English locale for one test.
struct AppLook {
    AppLook() { useDarkAppearance(*qApp); }
    ~AppLook() {
        qApp->setStyleSheet(sheet);
        QApplication::setStyle(style);
        QApplication::setPalette(palette);
    }
    const QString style = QApplication::style()->name(), sheet = qApp->styleSheet();
    const QPalette palette = QApplication::palette();
    ScopedLocale english;
};

void save(const QImage& image, const char* name) {
    const QString dir = CELVIO_SCREENSHOT_DIR;
    ASSERT_TRUE(QDir().mkpath(dir));
    EXPECT_TRUE(image.save(dir + "/" + name + ".png")) << name;
}

QImage grab(QWidget& window) {
    // New panels are shown, and the strip rebuilt, by queued events.
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    return window.grab().toImage();
}

/// An entry of `design` mAh at `health` %, `daysAgo` days ago.
HistoryEntry entry(const char* serial, const char* name, const char* model, HistoryEntry::Kind kind,
                   std::int64_t design, double health, int daysAgo) {
    return {UUID::random(), std::chrono::system_clock::now() - std::chrono::days(daysAgo), kind, serial, name, model,
            std::nullopt, std::nullopt, 300 - daysAgo / 2, static_cast<std::int64_t>(design * health / 100), design,
            std::nullopt};
}

/// Three devices measured monthly for most of a year, slowly wearing.
void writeHistory(const std::filesystem::path& file) {
    HistoryStore store(file);
    using Kind = HistoryEntry::Kind;
    const std::tuple<const char*, const char*, const char*, Kind, std::int64_t, double, double> devices[] = {
        {"20XW0055GE", "ThinkPad", "20XW0055GE", Kind::mac, 4500, 97.5, 1.1},
        {"G7KQ2X4M9P", "Alex\u2019s iPhone", "iPhone15,2", Kind::ios, 3200, 99.0, 0.9},
        {"DMPZK1A2LMPH", "Kitchen iPad", "iPad7,11", Kind::ios, 8827, 86.0, 1.6}};
    for (const auto& [serial, name, model, kind, design, startHealth, wearPerMonth] : devices) {
        for (int month = 9; month >= 1; --month) {
            HistoryEntry measured =
                entry(serial, name, model, kind, design, startHealth - wearPerMonth * (9 - month), 30 * month);
            if (month > 6) measured.source = "coconutBattery";
            store.record(measured);
        }
    }
}

AppModelOptions options(const TempDir& dir, bool withBattery) {
    AppModelOptions options = isolatedOptions(dir);
    if (withBattery) options.systemRoot = appDataDir() / "laptop";
    return options;
}

/// A started model and its window on show.
struct Shown {
    Shown(AppModelOptions o, std::size_t n = 0) : model(startModel(std::move(o), n)) { window.show(); }
    std::unique_ptr<AppModel> model;
    MainWindow window{*model};
};

TEST(Screenshots, EveryPanel) {
    AppLook look;
    TempDir dir;
    writeHistory(dir / "history.json");
    {
        TwoDevices devices;
        AppModelOptions opts = options(dir, true);
        // The iPad's read fails the way an untrusted device does.
        opts.readDevice = [](const MuxDevice& device) {
            if (device.udid == iPad) throw CelvioError::invalidHostID();
            return IOSDeviceReader::read(device);
        };
        Shown shown(std::move(opts), 2);
        auto& [model, window] = shown;
        model->setSelection(Selection::mac());
        save(grab(window), "mac-battery");
        model->setSelection(Selection::device(iPhone));
        save(grab(window), "iphone");
        model->setSelection(Selection::device(iPad));
        save(grab(window), "device-failed");
        model->setSelection(Selection::history());
        grab(window);
        // One block open, to show its months and measurements.
        const auto blocks = window.findChildren<QWidget*>("historyBlock");
        ASSERT_EQ(blocks.size(), 3);
        QTest::mouseClick(blocks[1], Qt::LeftButton);
        save(grab(window), "history");

        model->setSelection(Selection::device(iPhone));
        QApplication::processEvents();
        auto* raw = window.findChild<QWidget*>("rawValues");
        ASSERT_TRUE(raw);
        QTest::mouseClick(raw, Qt::LeftButton);
        auto* sheet = window.findChild<RawValuesSheet*>();
        ASSERT_TRUE(sheet);
        QImage composed = grab(window);
        {
            QPainter painter(&composed);
            painter.fillRect(composed.rect(), QColor(0, 0, 0, 110));
            const QImage sheetImage = sheet->grab().toImage();
            painter.drawImage((composed.width() - sheetImage.width()) / 2, 40, sheetImage);
        }
        save(composed, "raw-values");
        sheet->close();
    }
    {
        // No daemon: no devices, the daemon's error on the help panel, no battery.
        ScopedEnv noDaemon("USBMUXD_SOCKET_ADDRESS", "UNIX:" + (dir / "absent").string());
        Shown shown(options(dir, false));
        auto& [model, window] = shown;
        model->setSelection(Selection::mac());
        save(grab(window), "mac-no-battery");

        CareSettings settings(qstr(dir / "care.ini"));
        settings.setChargeReminders(true);
        CareController care(*model, settings, {.trayAvailable = true, .bus = QDBusConnection(QString())});
        care.showSettings();
        save(grab(*care.settingsWindow()), "settings");
        model->setSelection(Selection::connectHelp());
        save(grab(window), "connect-help");
    }
    {
        TwoDevices devices;
        Gate gate;
        AppModelOptions opts = options(dir, true);
        opts.readDevice = [&gate](const MuxDevice& device) {
            gate.wait();
            return IOSDeviceReader::read(device);
        };
        Shown shown(std::move(opts));
        const auto opened = gate.openOnExit();
        shown.model->setSelection(Selection::device(iPhone));
        save(grab(shown.window), "loading");
    }
    {
        // One battery wearing fast for five months: its trend, and the projection to 80 %.
        TempDir forecast;
        HistoryStore store(forecast / "history.json");
        for (int day = 150; day >= 0; day -= 15)
            store.record(entry("G7KQ2X4M9P", "Alex\u2019s iPhone", "iPhone15,2", HistoryEntry::Kind::ios, 3200,
                               82 + 9.5 * day / 150 + (day % 2 ? 0.3 : -0.3), day));
        ScopedEnv noDaemon("USBMUXD_SOCKET_ADDRESS", "UNIX:" + (forecast / "absent").string());
        Shown shown(options(forecast, false));
        auto& [model, window] = shown;
        model->setSelection(Selection::history());
        const QImage image = grab(window);
        auto* trend = window.findChild<QLabel*>("historyTrend");
        ASSERT_TRUE(trend);
        EXPECT_TRUE(trend->text().startsWith(QString::fromUtf8("−1.9 % a month · 80 % around "))) << qPrintable(trend->text());
        // Line, marks, the dashed projection down to the rule, the rule.
        const auto series = window.findChild<HealthChart*>("healthChart")->findChild<QChartView*>()->chart()->series();
        ASSERT_EQ(series.size(), 4);
        EXPECT_NEAR(qobject_cast<QLineSeries*>(series[2])->at(1).y(), 80, 1e-9);
        save(image, "history-forecast");
    }
}

TEST(Screenshots, DisabledMenuItemsAreDimmerThanEnabledOnes) {
    AppLook look;
    QMenu menu;
    QAction* enabled = menu.addAction(QString::fromUtf8("Export History as CSV\u2026"));
    QAction* disabled = menu.addAction("Import coconutBattery History");
    disabled->setEnabled(false);
    const QImage image = menu.grab().toImage();
    const auto brightest = [&](QAction* action) {
        int most = 0;
        const QRect area = menu.actionGeometry(action);
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) most = std::max(most, qGray(image.pixel(x, y)));
        return most;
    };
    EXPECT_LT(brightest(disabled), brightest(enabled) * 2 / 3) << "no white engraving under the disabled text";
}

TEST(Screenshots, HistoryAfterAFirstStartWithThreeDevices) {
    AppLook look;
    TempDir dir;
    Daemon daemon;
    daemon.serve(
        {{.udid = "00008120-A", .name = "iPhone A", .serial = "SERIAL-A", .fullChargeCapacity = 2950},
         {.udid = "00008120-B", .deviceID = 2, .name = "iPhone B", .serial = "SERIAL-B", .fullChargeCapacity = 2800},
         {.udid = "00008120-C", .deviceID = 3, .name = "iPhone C", .serial = "SERIAL-C", .fullChargeCapacity = 2650}});
    // Every device read, and recorded, moments after the start.
    Shown shown(options(dir, false), 3);
    auto& [model, window] = shown;
    model->setSelection(Selection::history());
    const QImage image = grab(window);
    EXPECT_EQ(HistoryStore::read(dir / "history.json").size(), 3u);
    const ChartMeasures chart = measureChart(*window.findChild<HealthChart*>("healthChart"));
    EXPECT_EQ(std::pair(chart.marks, chart.marksInside), std::pair(3, 3));
    EXPECT_EQ(chart.dateLabels.size(), 3);
    EXPECT_EQ(QStringList(chart.dateLabels).removeDuplicates(), 0) << qPrintable(chart.dateLabels.join(" / "));
    save(image, "history-first-start");
}

/// How far from its centre `gauge` draws text: the farthest pixel that changes when the
/// value and caption are blank.
double textReach(RingGauge& gauge) {
    const QImage shown = gauge.grab().toImage();
    const QString value = gauge.value(), caption = gauge.caption();
    gauge.set(gauge.fraction(), gauge.tint(), "", "");
    const QImage blank = gauge.grab().toImage();
    gauge.set(gauge.fraction(), gauge.tint(), value, caption);
    const QPointF centre = QRectF(gauge.rect()).center();
    double reach = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != blank.pixel(x, y))
                reach = std::max(reach, QLineF(centre, QPointF(x + 0.5, y + 0.5)).length());
    return reach;
}

/// The ring's circle is 90 across and 9 wide: text keeps a pixel off its inner edge.
constexpr double textLimit = 45 - 4.5 - 1;

/// At the window's fixed size: no detail value past the viewport's right edge, or narrower
/// than its longest word; all eight tiles in view unscrolled; every ring's text inside it.
void expectNothingClipped(QWidget& window, const std::string& scene) {
    if (const auto* details = window.findChild<QScrollArea*>("details")) {
        const QWidget* viewport = details->viewport();
        for (const QLabel* label : details->widget()->findChildren<QLabel*>()) {
            const QString text = label->text();
            const double overhang = std::max(0.0, -QFontMetricsF(label->font()).rightBearing(text.back()));
            EXPECT_LE(label->mapTo(viewport, QPoint(label->width(), 0)).x() + overhang, viewport->width())
                << scene << ": " << text.toStdString();
            EXPECT_GE(label->width(), label->minimumSizeHint().width()) << scene << ": " << text.toStdString();
        }
    }
    if (const auto* stats = window.findChild<QScrollArea*>("stats")) {
        const QWidget* viewport = stats->viewport();
        const auto cells = stats->findChildren<StatCell*>();
        EXPECT_EQ(cells.size(), 8) << scene;
        for (const StatCell* cell : cells)
            EXPECT_TRUE(viewport->rect().contains(QRect(cell->mapTo(viewport, QPoint()), cell->size())))
                << scene << ": " << cell->stat().title.toStdString();
    }
    for (const char* title : {"panelName", "panelSubtitle"}) {
        const auto* label = window.findChild<QLabel*>(title);
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->contentsRect().width()) << scene;
        EXPECT_EQ(label->toolTip().isEmpty(), label->text() == label->accessibleName()) << scene << ": elided";
    }
    for (RingGauge* gauge : window.findChildren<RingGauge*>())
        EXPECT_LE(textReach(*gauge), textLimit) << scene << ": " << gauge->accessibleName().toStdString();
}

TEST(Screenshots, NothingClipsAtTheWindowsSize) {
    AppLook look;
    TempDir dir;
    TwoDevices devices;
    Shown shown(options(dir, true), 2);
    auto& [model, window] = shown;
    const struct {
        Selection selection;
        PanelSegment segment;
        const char *scene, *screenshot;  // no screenshot when another test takes it
    } scenes[] = {{Selection::mac(), PanelSegment::stats, "computer stats", nullptr},
                  {Selection::device(iPad), PanelSegment::stats, "iPad stats", nullptr},
                  {Selection::mac(), PanelSegment::details, "computer details", "mac-details"},
                  {Selection::device(iPhone), PanelSegment::details, "iPhone details", "iphone-details"},
                  {Selection::device(iPad), PanelSegment::details, "iPad details", "ipad-details"}};
    for (const auto& scene : scenes) {
        model->setPanelSegment(scene.segment);
        model->setSelection(scene.selection);
        const QImage image = grab(window);
        expectNothingClipped(window, scene.scene);
        if (scene.screenshot) save(image, scene.screenshot);
    }
    // The UDID wraps at invisible characters, which its copy leaves out.
    const auto labels = window.findChildren<QLabel*>();
    auto* udid = *std::ranges::find(labels, QString::fromStdString(iPad), &QLabel::accessibleName);
    udid->setSelection(0, static_cast<int>(udid->text().size()));
    QTest::keySequence(udid, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), iPad);

    // A new battery's full charge above its design capacity.
    const std::string fresh = "00008120-000000000000A104";
    devices.serve({{.udid = fresh, .name = "New iPhone", .fullChargeCapacity = 3129, .designCapacity = 3000}});
    pollAndWait(*model);
    model->setPanelSegment(PanelSegment::stats);
    model->setSelection(Selection::device(fresh));
    ASSERT_TRUE(waitUntil([&] {
        const auto* panel = shown.window.findChild<BatteryPanel*>();
        return panel && panel->data().name == "New iPhone";
    }));
    const QImage image = grab(window);
    EXPECT_EQ(window.findChild<RingGauge*>("healthGauge")->accessibleName(), "Health 104.3 %");
    expectNothingClipped(window, "104.3 %");
    save(image, "health-104");

    for (const char* value : {"100.0 %", "104,3 %"}) {
        RingGauge gauge;
        gauge.set(1, Theme::green(), value, "Health");
        EXPECT_LE(textReach(gauge), textLimit) << value;
    }
}

TEST(Screenshots, NineDevicesScrollInTheStrip) {
    AppLook look;
    TempDir dir;
    Daemon daemon;
    std::vector<SimPhone> phones;
    for (const char* name : {"Alex's iPhone", "Kitchen iPad", "Ben's iPhone SE", "Workshop iPad", "Cleo",
                             "Dana's iPhone", "Spare", "Eli's iPad mini", "Test iPhone 15 Pro Max"})
        phones.push_back({.udid = "00008120-0000000000000" + std::to_string(100 + phones.size()),
                          .deviceID = static_cast<std::int64_t>(phones.size()) + 1,
                          .connection = phones.size() % 3 ? "USB" : "Network", .name = name});
    daemon.serve(phones);
    AppModelOptions opts = options(dir, true);
    opts.readDevice = [&phones](const MuxDevice& device) {
        if (device.udid == phones[4].udid || device.udid == phones[7].udid)
            throw CelvioError::lockdown("The device is locked.");
        return IOSDeviceReader::read(device);
    };
    Shown shown(std::move(opts), phones.size());
    auto& [model, window] = shown;
    model->setSelection(Selection::device(phones.back().udid));
    const QImage image = grab(window);
    DeviceStrip& strip = *window.findChild<DeviceStrip*>();
    const auto& buttons = strip.buttons();
    ASSERT_EQ(buttons.size(), 11u);

    // Every button at its designed size, the selected one (the last device) whole in view.
    const QSize designed(3 + 48 + 3, 5 + 38 + 3 + QFontMetrics(TextStyle::font(9)).height() + 5);
    for (const StripButton* button : buttons) EXPECT_EQ(button->size(), designed) << qPrintable(button->look().label);
    EXPECT_TRUE(buttons[9]->look().selected);
    EXPECT_TRUE(strip.rect().contains(buttons[9]->geometry())) << buttons[9]->x();
    EXPECT_GT(strip.offset(), 0);
    // What a screen reader says; the two that failed tell which device each is, and why.
    EXPECT_EQ(std::pair(buttons[0]->accessibleName(), buttons[1]->accessibleName()),
              std::pair(QString("Laptop, 80 % charge"), QString("Alex's iPhone, 50 % charge")));
    for (const int failed : {4, 7})
        EXPECT_EQ(buttons[failed + 1]->toolTip().toStdString(),
                  "Device " + phones[failed].udid + "\nThe device is locked.");
    save(image, "nine-devices");

    // A wheel notch scrolls about a button; a drag moves the row with the pointer and chooses nothing.
    const int end = strip.offset();
    QWheelEvent wheel({5, 5}, strip.mapToGlobal(QPointF(5, 5)), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(&strip, &wheel);
    EXPECT_EQ(strip.offset(), end - 60);
    StripButton* held = buttons[5];
    const QPointF grip = held->mapToGlobal(QPointF(10, 10));
    for (const auto& [type, moved] : {std::pair(QEvent::MouseButtonPress, 0), {QEvent::MouseMove, 100},
                                      {QEvent::MouseButtonRelease, 100}}) {
        QMouseEvent event(type, QPointF(10, 10), grip + QPointF(moved, 0), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
        QApplication::sendEvent(held, &event);
    }
    EXPECT_EQ(strip.offset(), end - 160);
    QApplication::processEvents();
    EXPECT_EQ(model->selection(), Selection::device(phones.back().udid));

    // The focus mark, the way the keyboard walk of the window leaves it.
    strip.setFocus(Qt::TabFocusReason);
    for (const Qt::Key key : {Qt::Key_Home, Qt::Key_Right, Qt::Key_Right, Qt::Key_Return}) QTest::keyClick(&strip, key);
    save(grab(window), "strip-keyboard");
}

}  // namespace
}  // namespace celvio::test
