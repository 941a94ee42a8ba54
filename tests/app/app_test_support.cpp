#include "app_test_support.hpp"
#include "scenario.hpp"

#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace celvio::test {

std::string scenario(const std::vector<SimPhone>& phones) {
    nlohmann::json devices = nlohmann::json::array();
    for (const SimPhone& phone : phones) {
        nlohmann::json registry = {{"AppleRawMaxCapacity", phone.fullChargeCapacity},
                                   {"AppleRawCurrentCapacity", phone.fullChargeCapacity / 2},
                                   {"CurrentCapacity", 50}, {"CycleCount", phone.cycles}, {"Voltage", 3900},
                                   {"Serial", "BATTERY-" + phone.serial}};
        if (phone.designCapacity) registry["DesignCapacity"] = *phone.designCapacity;
        const nlohmann::json values = {{"DeviceName", phone.name}, {"ProductType", "iPhone15,2"},
                                       {"ProductVersion", "17.4.1"}, {"SerialNumber", phone.serial},
                                       {"DeviceClass", "iPhone"}};
        devices.push_back(
            {{"udid", phone.udid},
             {"attachments", {{{"deviceID", phone.deviceID}, {"connection", phone.connection}}}},
             {"paired", phone.paired},
             {"lockdown",
              {{"values", values},
               {"domains", {{"com.apple.mobile.battery", {{"BatteryCurrentCapacity", 50}, {"HasBattery", true}}}}},
               {"services", {{"com.apple.mobile.diagnostics_relay", {{"kind", "relay"}}}}}}},
             {"relay", {{"entries", {{"IOPMPowerSource", registry}}}}}});
    }
    return nlohmann::json{{"devices", devices}}.dump();
}

Daemon::Daemon() : path_((dir_ / "usbmuxd").string()), env_("USBMUXD_SOCKET_ADDRESS", "UNIX:" + path_) {}

Daemon::~Daemon() {
    // A poll still running reads the daemon address that ScopedEnv is about to restore.
    QThreadPool::globalInstance()->waitForDone();
}

void Daemon::serve(const std::vector<SimPhone>& phones) {
    sim_.reset();
    sim_ = std::make_unique<sim::Simulator>(sim::parseScenario(scenario(phones)), path_);
}

void Daemon::serveFile(const std::filesystem::path& scenario) {
    sim_.reset();
    sim_ = std::make_unique<sim::Simulator>(sim::loadScenario(scenario), path_);
}

void Daemon::stop() { sim_.reset(); }

int Daemon::requests(const std::string& request) const {
    if (!sim_) return 0;
    int count = 0;
    for (const auto& received : sim_->lockdownRequests()) count += received.request == request;
    return count;
}

AppModelOptions isolatedOptions(const TempDir& dir) {
    AppModelOptions options;
    options.macRefreshInterval = options.pollInterval = options.reloadInterval = std::chrono::hours(1);
    options.historyFile = dir / "history.json";
    options.settingsFile = qstr(dir / "settings.ini");
    options.systemRoot = dir / "no-system";
    options.coconutDatabase = dir / "coconut" / "history.sqlite";
    options.lowPowerMode = [] { return false; };
    return options;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return QTest::qWaitFor(done, static_cast<int>(timeout.count()));
}

std::unique_ptr<AppModel> startModel(AppModelOptions options, std::size_t expectedReads) {
    auto model = std::make_unique<AppModel>(std::move(options));
    QSignalSpy polls(model.get(), &AppModel::pollApplied);
    QSignalSpy reads(model.get(), &AppModel::readFinished);
    EXPECT_TRUE(waitUntil([&] {
        return !polls.isEmpty() && std::size_t(reads.count()) >= expectedReads && model->historyArrived();
    }));
    return model;
}

void pollAndWait(AppModel& model) {
    QSignalSpy polls(&model, &AppModel::pollApplied);
    model.pollDevices();
    EXPECT_TRUE(waitUntil([&] { return polls.count() >= 1; }));
}

void writeCoconutDatabase(const std::filesystem::path& path, const std::vector<CoconutRow>& rows,
                          bool withDesignCapacity) {
    std::filesystem::create_directories(path.parent_path());
    const std::string dc = withDesignCapacity ? ", ZBATTERYDC" : "";
    std::string sql = "CREATE TABLE ZHISTORYENTITY (Z_PK INTEGER PRIMARY KEY, ZDATASNAPSHOTDATE REAL, ZDATATYPE TEXT, "
                      "ZDEVICESERIAL TEXT, ZDEVICENAME TEXT, ZDEVICEMODEL TEXT, ZDEVICEOSVERSION TEXT, "
                      "ZBATTERYSERIAL TEXT, ZBATTERYCYCLECOUNT INTEGER, ZBATTERYFCC INTEGER" + dc + ");";
    for (const CoconutRow& row : rows)
        sql += "INSERT INTO ZHISTORYENTITY (ZDATASNAPSHOTDATE, ZDATATYPE, ZDEVICESERIAL, ZDEVICENAME, ZDEVICEMODEL, "
               "ZBATTERYCYCLECOUNT, ZBATTERYFCC" + dc + ") VALUES (" + std::to_string(row.date) + ", 'iOS', '" +
               row.serial + "', 'Old Phone', 'iPhone12,1', 100, 2800" + (withDesignCapacity ? ", 3000" : "") + ");";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.string().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

std::filesystem::path appDataDir() { return CELVIO_APP_DATA_DIR; }

std::filesystem::path copyLaptop(const TempDir& dir) {
    auto root = dir / "system";
    std::filesystem::copy(appDataDir() / "laptop", root, std::filesystem::copy_options::recursive);
    return root;
}

void setSupplyAttribute(const std::filesystem::path& root, const std::string& path, const std::string& value) {
    std::ofstream(root / "sys/class/power_supply" / path, std::ios::trunc) << value << '\n';
}

ChartMeasures measureChart(const QWidget& healthChart) {
    QChart* chart = healthChart.findChild<QChartView*>()->chart();
    const QRectF plot = chart->plotArea();
    ChartMeasures measures;
    for (QAbstractSeries* series : chart->series()) {
        auto* marks = qobject_cast<QScatterSeries*>(series);
        if (!marks) continue;
        const double r = marks->markerSize() / 2;
        for (const QPointF& point : marks->points()) {
            const QPointF centre = chart->mapToPosition(point, marks);
            ++measures.marks;
            measures.marksInside += plot.contains(QRectF(centre - QPointF(r, r), centre + QPointF(r, r)));
        }
    }
    std::vector<std::pair<double, QString>> labels;
    const QRectF plotInScene = chart->mapRectToScene(plot);
    for (const QGraphicsItem* item : chart->scene()->items()) {
        const auto* text = dynamic_cast<const QGraphicsTextItem*>(item);
        if (text && text->isVisible() && text->sceneBoundingRect().top() >= plotInScene.bottom())
            labels.emplace_back(text->sceneBoundingRect().center().x(), text->toPlainText());
    }
    std::sort(labels.begin(), labels.end());
    for (const auto& label : labels) measures.dateLabels << label.second;
    return measures;
}

}  // namespace celvio::test
