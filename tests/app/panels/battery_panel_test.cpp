#include "model/app_model.hpp"
#include "app_test_support.hpp"
#include "base/celvio_error.hpp"
#include "panels/battery_panel.hpp"
#include "widgets/health_chart.hpp"
#include "history/history_store.hpp"
#include "history_test_support.hpp"
#include "reading/ios_device_reader.hpp"
#include "panels/panel_data.hpp"
#include "widgets/ring_gauge.hpp"
#include "shell/root_view.hpp"
#include "widgets/segment_bar.hpp"
#include "widgets/stat_cell.hpp"
#include "style/theme.hpp"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace celvio::test {
namespace {

const std::string udid = "00008120-00000000000000AA";

QString text(const QWidget& parent, const char* name) {
    const auto* label = parent.findChild<QLabel*>(name);
    return label ? label->text() : QString("<no %1>").arg(name);
}

TEST(MacPanel, PowerLineGaugesAndTilesFollowTheBattery) {
    ScopedLocale english;
    TempDir dir;
    const auto root = copyLaptop(dir);
    AppModelOptions options = isolatedOptions(dir);
    options.systemRoot = root;
    AppModel model(options);
    RootView window(model);
    const QWidget& panel = *window.panel();

    // Discharging: 1.5 A at 12 V, on battery.
    EXPECT_EQ(text(panel, "power"), "Discharging with 18.0 W");
    const auto* charge = panel.findChild<RingGauge*>("chargeGauge");
    const auto* health = panel.findChild<RingGauge*>("healthGauge");
    EXPECT_EQ(charge->value() + " " + health->value(), "80 % 90.0 %");
    EXPECT_EQ(panel.findChild<StatCell*>("stat:Charge")->stat().value, "3,600 mAh") << "capacities are grouped";
    EXPECT_EQ(panel.findChild<StatCell*>("stat:Cycles")->stat().value, "120") << "cycles are not";

    // Charging: 1,250 mA at 12,600 mV on the adapter.
    setSupplyAttribute(root, "BAT0/status", "Charging");
    setSupplyAttribute(root, "BAT0/current_now", "1250000");
    setSupplyAttribute(root, "BAT0/voltage_now", "12600000");
    setSupplyAttribute(root, "AC/online", "1");
    model.refreshMac();
    EXPECT_EQ(text(panel, "power"), "Charging with 15.8 W");

    // No design capacity: health 0.0 % rather than nothing.
    setSupplyAttribute(root, "BAT0/charge_full_design", "0");
    model.refreshMac();
    EXPECT_EQ(health->value(), "0.0 %");

    // The battery goes away: only the message stays.
    std::filesystem::remove_all(root / "sys/class/power_supply/BAT0");
    model.refreshMac();
    EXPECT_EQ(panel.findChild<BatteryPanel*>(), nullptr);
    QStringList texts;
    for (const QLabel* label : panel.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("No internal battery")) << texts.join('|').toStdString();
}

TEST(PanelData, TemperatureTintTimeAndPowerLines) {
    ScopedLocale english;
    MacBatteryInfo battery{.fullChargeCapacity = 4000, .designCapacity = 5000, .timeToFull = 95, .timeToEmpty = 130};
    const auto temperature = [&](double celsius) {
        battery.temperature = celsius;
        const StatSpec stat = macPanelData(battery, MacSystemInfo{}, false).stats.at(4);
        return std::pair(stat.value, stat.tint);
    };
    EXPECT_EQ(temperature(40.0), std::pair(QString::fromUtf8("40.0 \u00b0C"), Theme::orange()));
    EXPECT_EQ(temperature(40.1), std::pair(QString::fromUtf8("40.1 \u00b0C"), Theme::red()));
    EXPECT_EQ(temperature(0).first, QString::fromUtf8("\u2014"));
    EXPECT_EQ(macPanelData(battery, MacSystemInfo{}, false).timeInfo, "2:10 h left") << "remaining time wins";

    IOSDeviceInfo device;
    device.battery.amperage = 1500;  // no voltage: no watts to show
    EXPECT_EQ(iosPanelData(device, std::nullopt).power.text, "Running on battery");
    device.battery.externalConnected = true;
    EXPECT_EQ(iosPanelData(device, std::nullopt).power.text, QString::fromUtf8("On adapter \u00b7 not charging"));
    device.battery.voltage = 4000;
    device.battery.amperage = -500;
    EXPECT_EQ(iosPanelData(device, std::nullopt).power.text, "Discharging with 2.0 W");
    EXPECT_EQ(iosPanelData(device, "Lockdown: gone").warning, "Last refresh failed: Lockdown: gone");

    ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    battery.voltage = 12600;
    battery.amperage = 1250;
    EXPECT_EQ(macPanelData(battery, MacSystemInfo{}, true).stats.at(7).note,
              QString::fromUtf8("12,60 V \u00b7 1250 mA")) << "the current is not grouped";
}

TEST(BatteryPanel, SegmentIsOneSettingKeptAcrossLaunchesAndUnknownValuesShowStats) {
    TempDir dir;
    AppModelOptions options = isolatedOptions(dir);
    options.systemRoot = appDataDir() / "laptop";
    {
        QSettings(*options.settingsFile, QSettings::IniFormat).setValue("panelSegment", "bogus");
        const auto threeDaysAgo = HistoryEntry::Date(std::chrono::system_clock::now()) - std::chrono::days(3);
        HistoryStore(*options.historyFile).record(phoneEntry("OTHER-DEVICE", threeDaysAgo));
        AppModel model(options);
        RootView root(model);
        ASSERT_TRUE(waitUntil([&] { return model.historyArrived(); }));
        const QWidget& panel = *root.panel();
        auto* bar = panel.findChild<SegmentBar*>();
        EXPECT_NE(panel.findChild<QWidget*>("stats"), nullptr) << "an unknown segment shows the stats";
        EXPECT_EQ(bar->selection(), static_cast<int>(PanelSegment::stats));

        QTest::mouseClick(bar->button(static_cast<int>(PanelSegment::history)), Qt::LeftButton);
        EXPECT_NE(panel.findChild<HealthChart*>(), nullptr) << "the computer's measurement of today";
        const QWidget* page = panel.findChild<QWidget*>("history");
        model.deleteDeviceHistory("OTHER-DEVICE");
        EXPECT_EQ(panel.findChild<QWidget*>("history"), page) << "another device's change keeps the page as it is";

        BatteryPanel unknown(PanelSegment::history);
        unknown.setData(PanelData{});
        EXPECT_NE(unknown.findChild<QLabel*>("noHistory"), nullptr) << "no history yet";
        QTest::mouseClick(bar->button(static_cast<int>(PanelSegment::details)), Qt::LeftButton);
        EXPECT_NE(panel.findChild<QWidget*>("details"), nullptr);
        EXPECT_EQ(QSettings(*options.settingsFile, QSettings::IniFormat).value("panelSegment"), "details");
    }
    AppModel model(options);
    RootView root(model);
    EXPECT_NE(root.panel()->findChild<QWidget*>("details"), nullptr) << "kept across launches";
}

TEST(IOSPanel, ProgressFailureTryAgainAndData) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({{.udid = udid, .name = "Alex's iPhone"}});
    std::atomic<int> reads = 0;
    std::atomic<bool> fail = true;
    AppModelOptions options = isolatedOptions(dir);
    options.readDevice = [&](const MuxDevice& device) {
        ++reads;
        if (fail) throw CelvioError::lockdown("The device is locked.");
        return IOSDeviceReader::read(device);
    };
    auto model = std::make_unique<AppModel>(options);
    model->setSelection(Selection::device(udid));
    RootView root(*model);
    const QWidget& panel = *root.panel();
    ASSERT_TRUE(waitUntil([&] { return panel.findChild<QPushButton*>() != nullptr; }));
    fail = false;
    const int before = reads;
    QTest::mouseClick(panel.findChild<QPushButton*>(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return panel.findChild<BatteryPanel*>() != nullptr; }));
    EXPECT_EQ(reads, before + 1);
    EXPECT_EQ(panel.findChild<BatteryPanel*>()->data().name, "Alex's iPhone");
    EXPECT_FALSE(panel.findChild<QLabel*>("warning")->isVisibleTo(&panel));

    // A later failure keeps the data and adds the warning line.
    fail = true;
    model->reload(udid);
    ASSERT_TRUE(waitUntil([&] { return panel.findChild<QLabel*>("warning")->isVisibleTo(&panel); }));
    EXPECT_EQ(text(panel, "warning"), "Last refresh failed: The device is locked.");
}

}  // namespace
}  // namespace celvio::test
