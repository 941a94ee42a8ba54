#pragma once

#include "model/device_state.hpp"
#include "model/panel_segment.hpp"
#include "history/history_grouping.hpp"
#include "history/history_store.hpp"
#include "reading/ios_device_info.hpp"
#include "reading/mac_battery_info.hpp"
#include "reading/mac_system_info.hpp"
#include "model/selection.hpp"
#include "link/usbmux.hpp"
#include "base/uuid.hpp"

#include <QDate>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QSettings;

namespace celvio {

/// Where the model reads from and how often. The defaults are the production values; tests
/// shorten the intervals and point every location into a temporary folder.
struct AppModelOptions {
    std::chrono::milliseconds macRefreshInterval{10'000};
    std::chrono::milliseconds pollInterval{3'000};
    std::chrono::milliseconds reloadInterval{60'000};
    /// The history file; absent: the store's default file.
    std::optional<std::filesystem::path> historyFile;
    /// An ini file for the settings; absent: QSettings of organisation and application "Celvio".
    std::optional<QString> settingsFile;
    /// Root of the system the computer's readers look at ("/" is this machine).
    std::filesystem::path systemRoot = "/";
    /// The coconutBattery history database.
    std::filesystem::path coconutDatabase = HistoryStore::coconutDatabaseURL();
    /// The low-power flag; empty: read under `systemRoot`.
    std::function<bool()> lowPowerMode;
    /// One blocking device list, run on the global thread pool; empty: USBMux::listDevices.
    std::function<std::vector<MuxDevice>()> listDevices;
    /// One blocking device read, run on the device worker; empty: IOSDeviceReader::read.
    std::function<IOSDeviceInfo(const MuxDevice&)> readDevice;
    /// The current time, for the Mac's measurements; empty: the system clock.
    std::function<std::chrono::system_clock::time_point()> clock;
    /// Opens the history, run on a thread of its own; empty: the store of `historyFile`.
    std::function<std::unique_ptr<HistoryStore>()> openHistory;
};

/// The application's one observable object: the computer's battery and system data, the
/// attached devices with their read states, the history, the selected panel. Lives on the
/// main thread; the blocking device list and device reads run on other threads and hand
/// their outcomes back here, in the order they arrive.
class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(celvio::Selection selection READ selection WRITE setSelection NOTIFY selectionChanged)
    Q_PROPERTY(celvio::MacSystemInfo macSystem READ macSystem CONSTANT)
    Q_PROPERTY(std::optional<celvio::MacBatteryInfo> macBattery READ macBattery NOTIFY macBatteryChanged)
    Q_PROPERTY(bool lowPowerMode READ lowPowerMode NOTIFY lowPowerModeChanged)
    Q_PROPERTY(std::vector<celvio::MuxDevice> devices READ devices NOTIFY devicesChanged)
    Q_PROPERTY(celvio::DeviceStates deviceStates READ deviceStates NOTIFY deviceStatesChanged)
    Q_PROPERTY(std::vector<celvio::HistoryDeviceGroup> historyGroups READ historyGroups NOTIFY historyGroupsChanged)
    Q_PROPERTY(std::optional<std::string> usbmuxError READ usbmuxError NOTIFY usbmuxErrorChanged)
    Q_PROPERTY(std::optional<std::string> historySaveError READ historySaveError NOTIFY historySaveErrorChanged)
    Q_PROPERTY(std::optional<std::string> historyKeptAside READ historyKeptAside NOTIFY historyKeptAsideChanged)

public:
    /// Restores the page, reads the computer, starts reading the history in the background
    /// (importing coconutBattery's once when it turns out empty), the first poll and the
    /// three timers. Measurements taken before the history arrives wait for it.
    explicit AppModel(AppModelOptions options = {}, QObject* parent = nullptr);
    /// Drops reads not started yet and waits for the running one, which is bounded by its
    /// socket time-outs. History changes whose save failed get one more attempt.
    ~AppModel() override;

    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    const Selection& selection() const noexcept { return selection_; }
    /// Also stores the page: "history" for the history panel, "mac" for every other one.
    void setSelection(const Selection& selection);

    /// The battery panels' segment, one for all of them and kept across launches; the
    /// stats when none, or a text of no segment, is stored.
    PanelSegment panelSegment() const;
    void setPanelSegment(PanelSegment segment);

    const MacSystemInfo& macSystem() const noexcept { return macSystem_; }
    /// Absent without an internal battery.
    const std::optional<MacBatteryInfo>& macBattery() const noexcept { return macBattery_; }
    bool lowPowerMode() const noexcept { return lowPowerMode_; }
    /// The last successful poll's list, one entry per device, sorted by UDID; empty after a
    /// failed poll.
    const std::vector<MuxDevice>& devices() const noexcept { return devices_; }
    /// The state of every listed device that has been loaded at least once.
    const DeviceStates& deviceStates() const noexcept { return deviceStates_; }
    /// Empty until the history has arrived; historyGroupsChanged() tells its arrival, also
    /// of an empty one.
    const std::vector<HistoryDeviceGroup>& historyGroups() const noexcept { return historyGroups_; }
    /// Whether the history has been read; every history command waits for it before.
    bool historyArrived() const noexcept { return history_ != nullptr; }
    /// The message of the last poll when it failed.
    const std::optional<std::string>& usbmuxError() const noexcept { return usbmuxError_; }
    /// "The history could not be saved: REASON" while the last save failed; the changes
    /// are kept in memory and every further change tries again.
    const std::optional<std::string>& historySaveError() const noexcept { return historySaveError_; }
    /// The store's text for an unreadable history file it kept aside, until dismissed.
    const std::optional<std::string>& historyKeptAside() const noexcept { return historyKeptAside_; }
    void dismissHistoryKeptAside();
    /// Takes what another process saved in the history file since the store last saw it.
    void reloadHistory();

    /// Reads the computer's battery and low-power flag again and records the battery.
    void refreshMac();
    /// Lists the attached devices in the background; nothing while a poll is still running,
    /// so polls never queue up behind a slow daemon.
    void pollDevices();
    /// Reads every listed device that is not being read already.
    void reloadAllDevices();
    /// Starts reading one device unless a read of it is pending.
    void load(const MuxDevice& device);
    /// Reads the listed device with this UDID again; nothing when it is not listed.
    void reload(const std::string& udid);
    /// The published history group of this serial; absent for an absent serial or none.
    std::optional<HistoryDeviceGroup> historyForSerial(const std::optional<std::string>& serial) const;

    /// Whether the coconutBattery database exists now.
    bool coconutAvailable() const;
    /// Imports the coconutBattery history and returns the text for the user: what was
    /// imported, or "Import failed: " and the reason.
    QString importCoconut();
    /// Removes one measurement and publishes the groups at once.
    void deleteHistoryEntry(const UUID& id);
    /// Removes every measurement of the device with this serial and publishes the groups.
    void deleteDeviceHistory(const std::string& serial);
    /// Puts deleted measurements back with their ids and publishes the groups.
    void restoreHistory(const std::vector<HistoryEntry>& entries);
    /// The computer's battery registry entry read afresh, as sorted key and value texts;
    /// empty when it cannot be read.
    std::vector<std::pair<std::string, std::string>> macRawValues() const;

    /// Writes the history as CSV to `path`, replacing the file only once everything is
    /// written. Absent on success, else "Export failed: " and the system's reason.
    std::optional<QString> exportCSV(const QString& path);

signals:
    void selectionChanged();
    void macBatteryChanged();
    void lowPowerModeChanged();
    void devicesChanged();
    void deviceStatesChanged();
    void historyGroupsChanged();
    void usbmuxErrorChanged();
    void historySaveErrorChanged();
    void historyKeptAsideChanged();
    /// A poll's outcome has been applied, whether or not anything changed.
    void pollApplied();
    /// A device read has completed and its outcome been applied or dropped.
    void readFinished(const QString& udid);

private:
    struct PollOutcome {
        std::vector<MuxDevice> devices;
        std::optional<std::string> error;
    };
    struct ReadOutcome {
        std::optional<IOSDeviceInfo> info;
        std::string error;
    };
    struct MacRecord {
        QDate day;
        std::int64_t cycles = 0;
        std::int64_t fcc = 0;
        std::int64_t design = 0;
        std::optional<std::string> batterySerial;
        bool operator==(const MacRecord&) const = default;
    };
    /// The way back to the main thread; cut when the model goes away.
    struct Mailbox;

    void apply(const PollOutcome& result);
    void finishLoad(const MuxDevice& device, const ReadOutcome& outcome);
    void record(const IOSDeviceInfo& info);
    void recordMac(const MacBatteryInfo& battery);
    void publishGroups();
    /// Takes the history read in the background, waiting for it when it is not read yet,
    /// and records the measurements that waited for it.
    void adoptHistory();
    /// Runs a change of the history store, once it has arrived, then publishes the groups
    /// and the save state. Errors other than the save's pass on.
    void changeHistory(const std::function<void()>& change);
    /// Runs a change; the save's failure text, if it failed. Errors other than the save's pass on.
    std::optional<std::string> tryChange(const std::function<void()>& change);
    void publishChange(const std::optional<std::string>& failure);
    void recordInHistory(HistoryEntry entry);
    void watchHistory();
    void setDeviceState(const std::string& udid, DeviceState state);
    bool isListed(const std::string& udid) const;

    AppModelOptions options_;
    std::unique_ptr<QSettings> settings_;

    Selection selection_;
    MacSystemInfo macSystem_;
    std::optional<MacBatteryInfo> macBattery_;
    bool lowPowerMode_ = false;
    std::vector<MuxDevice> devices_;
    DeviceStates deviceStates_;
    std::vector<HistoryDeviceGroup> historyGroups_;
    std::optional<std::string> usbmuxError_;
    std::optional<std::string> historySaveError_;
    std::optional<std::string> historyKeptAside_;

    /// Absent until read; `historyLoad_` reads it.
    std::unique_ptr<HistoryStore> history_;
    std::future<std::unique_ptr<HistoryStore>> historyLoad_;
    /// Measurements taken before the history arrived, in order.
    std::vector<HistoryEntry> waitingRecords_;
    /// The file and its folders: a rename by another process drops the file's watch.
    QFileSystemWatcher historyWatcher_;
    std::set<std::string> inFlight_;
    bool polling_ = false;
    std::map<std::string, MuxDevice::Connection> lastConnection_;
    std::optional<MacRecord> lastMacRecord_;

    std::shared_ptr<Mailbox> mailbox_;
    QThreadPool deviceQueue_;  // one thread: devices are read one after another
    QTimer macTimer_;
    QTimer pollTimer_;
    QTimer reloadTimer_;
};

}  // namespace celvio
