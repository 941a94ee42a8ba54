#pragma once

#include "model/app_model.hpp"
#include "simulator.hpp"
#include "test_support.hpp"

#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace celvio::test {

/// One simulated iPhone for a scenario.
struct SimPhone {
    std::string udid;
    std::int64_t deviceID = 1;
    std::string connection = "USB";  ///< "USB" or "Network"
    bool paired = true;
    std::string name = "Test iPhone";
    std::string serial = "SERIAL0001";
    std::int64_t fullChargeCapacity = 2950;             ///< mAh
    std::optional<std::int64_t> designCapacity = 3200;  ///< mAh; absent: not reported
    std::int64_t cycles = 412;
};

/// The celvio-sim scenario that lists these phones, each with a lockdown service, the
/// battery domain and a diagnostics relay.
std::string scenario(const std::vector<SimPhone>& phones);

/// celvio-sim on a fixed socket that the core's daemon address points at. `serve` swaps
/// the scenario (a fresh simulator on the same socket), `stop` leaves no daemon.
class Daemon {
public:
    Daemon();
    ~Daemon();
    void serve(const std::vector<SimPhone>& phones);
    /// Serves one of celvio-sim's scenario files instead.
    void serveFile(const std::filesystem::path& scenario);
    void stop();
    /// Lockdown requests named `request` the current simulator received.
    int requests(const std::string& request) const;
    /// Lockdown sessions the current simulator saw start: one per device read.
    int sessions() const { return requests("StartSession"); }

private:
    TempDir dir_;
    std::string path_;
    ScopedEnv env_;
    std::unique_ptr<sim::Simulator> sim_;
};

/// Options that keep the model inside `dir`: history, settings, an empty system (no
/// battery), no coconutBattery database, and timers that never fire during a test.
AppModelOptions isolatedOptions(const TempDir& dir);

/// Runs the event loop until `done` holds; false after `timeout`.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(15));

/// The model, waited for until its history has arrived, its first poll has been applied and
/// its first reads done.
std::unique_ptr<AppModel> startModel(AppModelOptions options, std::size_t expectedReads = 0);

/// Polls once and waits until the outcome has been applied.
void pollAndWait(AppModel& model);

/// One row of a coconutBattery history database: an iPhone at 100 cycles, 2800 of 3000 mAh.
struct CoconutRow {
    double date;  ///< seconds since 2001-01-01 UTC
    std::string serial;
};
/// Writes a coconutBattery history database with these rows; without ZBATTERYDC when
/// `withDesignCapacity` is false (a format the import cannot read).
void writeCoconutDatabase(const std::filesystem::path& path, const std::vector<CoconutRow>& rows,
                          bool withDesignCapacity = true);

/// The folder of the recorded system trees.
std::filesystem::path appDataDir();

/// A private copy of the recorded laptop in `dir`, whose attributes a test may change.
std::filesystem::path copyLaptop(const TempDir& dir);
/// Writes `value` to the power-supply attribute `path` ("BAT0/status") under `root`.
void setSupplyAttribute(const std::filesystem::path& root, const std::string& path, const std::string& value);

/// Holds device reads back until opened. A model waits for its running read when it goes,
/// so place `openOnExit()`'s guard after the model: a failed assertion then opens the
/// gate before the model waits.
class Gate {
public:
    void open() {
        if (!opened_.exchange(true)) promise_.set_value();
    }
    void wait() const { future_.wait(); }

    struct Opener {
        Gate& gate;
        ~Opener() { gate.open(); }
    };
    [[nodiscard]] Opener openOnExit() { return {*this}; }

private:
    std::promise<void> promise_;
    std::shared_future<void> future_ = promise_.get_future().share();
    std::atomic<bool> opened_ = false;
};

/// The application's default locale for one scope; US English unless told.
class ScopedLocale {
public:
    explicit ScopedLocale(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates)) {
        QLocale::setDefault(locale);
    }
    ~ScopedLocale() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

inline QString qstr(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

/// The environment of a `celvio` process of its own under `dir`: runtime, data, config and
/// home folders there, the offscreen platform.
inline QProcessEnvironment isolatedEnvironment(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "runtime");
    std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, path] : {std::pair("XDG_RUNTIME_DIR", "runtime"), {"XDG_DATA_HOME", "data"},
                                     {"XDG_CONFIG_HOME", "config"}, {"HOME", ""}})
        environment.insert(name, qstr(dir / path));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    return environment;
}

/// Ends a `celvio` process a test started: asked to quit, then killed if it does not.
inline void endProcess(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill();
    process.waitForFinished();
}

/// A HealthChart as drawn: how many of its point marks lie whole inside the plot area,
/// of how many, and the date axis's visible labels from left to right.
struct ChartMeasures {
    int marks = 0;
    int marksInside = 0;
    QStringList dateLabels;
};
ChartMeasures measureChart(const QWidget& healthChart);

}  // namespace celvio::test
