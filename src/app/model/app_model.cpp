#include "model/app_model.hpp"

#include "base/celvio_error.hpp"
#include "base/file_io.hpp"
#include "history/history_entry.hpp"
#include "history/measurement.hpp"
#include "reading/ios_device_reader.hpp"
#include "platform/host_platform.hpp"
#include "reading/mac_battery_reader.hpp"
#include "reading/raw_values.hpp"
#include "base/uuid.hpp"
#include "display/error_text.hpp"

#include <QDateTime>
#include <QFileInfo>
#include <QMetaObject>
#include <QSaveFile>
#include <QSettings>

#include <exception>
#include <mutex>
#include <utility>

namespace celvio {

namespace {

constexpr const char* pageKey = "page";
constexpr const char* segmentKey = "panelSegment";
/// The segments' texts in the settings, in the order of PanelSegment.
constexpr const char* segmentTexts[] = {"stats", "history", "details"};

/// Stores `value` and emits `changed` only when it differs, so observers see real changes only.
template <typename T>
bool assign(AppModel* model, T& field, T value, void (AppModel::*changed)()) {
    if (field == value) return false;
    field = std::move(value);
    emit(model->*changed)();
    return true;
}

QDate localDay(std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).date();
}

std::string describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& e) {
        return errorText(e);
    } catch (...) {
        return "Unknown error";
    }
}

}  // namespace

struct AppModel::Mailbox {
    std::mutex mutex;
    AppModel* model = nullptr;

    /// Queues `work(model)` on the model's thread unless the model is gone. Posting under
    /// the lock keeps the model from being destroyed half-way through the post; a posted call
    /// still waiting when it is destroyed is discarded with it.
    template <typename Work>
    void post(Work work) {
        std::lock_guard lock(mutex);
        if (!model) return;
        QMetaObject::invokeMethod(
            model, [target = model, work = std::move(work)] { work(target); }, Qt::QueuedConnection);
    }
};

AppModel::AppModel(AppModelOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      settings_(options_.settingsFile ? std::make_unique<QSettings>(*options_.settingsFile, QSettings::IniFormat)
                                      : std::make_unique<QSettings>("Celvio", "Celvio")),
      selection_(settings_->value(pageKey).toString() == "history" ? Selection::history() : Selection::mac()),
      macSystem_(readMacSystemInfo(options_.systemRoot)),
      mailbox_(std::make_shared<Mailbox>()) {
    if (!options_.lowPowerMode)
        options_.lowPowerMode = [root = options_.systemRoot] { return lowPowerModeEnabled(root); };
    if (!options_.listDevices) options_.listDevices = [] { return USBMux::listDevices(false); };
    if (!options_.readDevice)
        options_.readDevice = [](const MuxDevice& device) { return IOSDeviceReader::read(device); };
    if (!options_.clock) options_.clock = [] { return std::chrono::system_clock::now(); };
    if (!options_.openHistory)
        options_.openHistory = [file = options_.historyFile] { return std::make_unique<HistoryStore>(file); };
    lowPowerMode_ = options_.lowPowerMode();
    mailbox_->model = this;
    deviceQueue_.setMaxThreadCount(1);
    deviceQueue_.setObjectName("Celvio.devices");

    // A long history takes a while to read: the window shows first and fills when it arrives.
    historyLoad_ = std::async(std::launch::async, [mailbox = mailbox_, open = options_.openHistory] {
        std::unique_ptr<HistoryStore> store;
        try {
            store = open();
        } catch (...) {
            // Nothing crosses the thread: the main thread opens it again when it takes it.
        }
        // The main thread's get() waits the moment until this returns.
        mailbox->post([](AppModel* model) { model->adoptHistory(); });
        return store;
    });
    connect(&historyWatcher_, &QFileSystemWatcher::fileChanged, this, &AppModel::reloadHistory);
    connect(&historyWatcher_, &QFileSystemWatcher::directoryChanged, this, &AppModel::reloadHistory);
    refreshMac();
    pollDevices();

    const auto start = [this](QTimer& timer, std::chrono::milliseconds interval, void (AppModel::*action)()) {
        connect(&timer, &QTimer::timeout, this, action);
        timer.start(interval);
    };
    start(macTimer_, options_.macRefreshInterval, &AppModel::refreshMac);
    start(pollTimer_, options_.pollInterval, &AppModel::pollDevices);
    start(reloadTimer_, options_.reloadInterval, &AppModel::reloadAllDevices);
}

AppModel::~AppModel() {
    {
        std::lock_guard lock(mailbox_->mutex);
        mailbox_->model = nullptr;
    }
    deviceQueue_.clear();
    deviceQueue_.waitForDone();
    try {
        // Measurements still waiting for the history are written now rather than lost.
        if (!waitingRecords_.empty()) adoptHistory();
        if (history_ && history_->hasUnsavedChanges()) history_->save();
    } catch (...) {
        // Nobody is left to tell.
    }
}

void AppModel::setSelection(const Selection& selection) {
    assign(this, selection_, selection, &AppModel::selectionChanged);
    settings_->setValue(pageKey, selection.kind == Selection::Kind::history ? "history" : "mac");
}

void AppModel::refreshMac() {
    std::optional<MacBatteryInfo> battery;
    try {
        battery = MacBatteryReader::read(options_.systemRoot);
    } catch (...) {
        battery.reset();  // a failed read is a computer without a battery
    }
    assign(this, macBattery_, battery, &AppModel::macBatteryChanged);
    assign(this, lowPowerMode_, options_.lowPowerMode(), &AppModel::lowPowerModeChanged);
    if (macBattery_) recordMac(*macBattery_);
}

void AppModel::pollDevices() {
    // The running poll ends by its daemon deadline; a second one would only wait behind it.
    if (polling_) return;
    polling_ = true;
    QThreadPool::globalInstance()->start([mailbox = mailbox_, list = options_.listDevices] {
        PollOutcome outcome;
        try {
            outcome.devices = list();
        } catch (...) {
            outcome.error = describe(std::current_exception());
        }
        mailbox->post([outcome = std::move(outcome)](AppModel* model) { model->apply(outcome); });
    });
}

void AppModel::apply(const PollOutcome& result) {
    polling_ = false;
    if (result.error) {
        assign(this, usbmuxError_, result.error, &AppModel::usbmuxErrorChanged);
        assign(this, devices_, {}, &AppModel::devicesChanged);
        emit pollApplied();
        return;
    }
    assign(this, usbmuxError_, {}, &AppModel::usbmuxErrorChanged);
    // MuxDevice compares UDID, device id and connection kind, exactly what counts as a change.
    assign(this, devices_, result.devices, &AppModel::devicesChanged);

    std::set<std::string> live;
    for (const MuxDevice& device : result.devices) live.insert(device.udid);

    bool removed = false;
    for (auto it = deviceStates_.begin(); it != deviceStates_.end();) {
        if (live.contains(it->first)) {
            ++it;
            continue;
        }
        lastConnection_.erase(it->first);
        it = deviceStates_.erase(it);
        removed = true;
    }
    if (removed) emit deviceStatesChanged();

    for (const MuxDevice& device : result.devices) {
        const auto last = lastConnection_.find(device.udid);
        if (!deviceStates_.contains(device.udid) || last == lastConnection_.end() || last->second != device.connection)
            load(device);
    }

    if (selection_.kind == Selection::Kind::device && !live.contains(selection_.udid)) setSelection(Selection::mac());
    if (selection_.kind == Selection::Kind::connectHelp && !result.devices.empty())
        setSelection(Selection::device(result.devices.front().udid));
    emit pollApplied();
}

void AppModel::reloadAllDevices() {
    // A copy: a load never changes the list, but the list must not be iterated while
    // anything could replace it.
    const std::vector<MuxDevice> devices = devices_;
    for (const MuxDevice& device : devices) load(device);
}

void AppModel::load(const MuxDevice& device) {
    if (!inFlight_.insert(device.udid).second) return;
    lastConnection_[device.udid] = device.connection;
    if (!deviceStates_.contains(device.udid)) setDeviceState(device.udid, DeviceState::loading());

    deviceQueue_.start([mailbox = mailbox_, read = options_.readDevice, device] {
        ReadOutcome outcome;
        try {
            outcome.info = read(device);
        } catch (...) {
            outcome.error = describe(std::current_exception());
        }
        mailbox->post([device, outcome = std::move(outcome)](AppModel* model) { model->finishLoad(device, outcome); });
    });
}

void AppModel::finishLoad(const MuxDevice& device, const ReadOutcome& outcome) {
    const std::string& udid = device.udid;
    inFlight_.erase(udid);
    if (isListed(udid)) {
        if (outcome.info) {
            setDeviceState(udid, DeviceState::loaded(*outcome.info));
            record(*outcome.info);
        } else {
            const auto state = deviceStates_.find(udid);
            if (state != deviceStates_.end() && state->second.kind == DeviceState::Kind::loaded)
                setDeviceState(udid, DeviceState::loaded(*state->second.info, outcome.error));
            else
                setDeviceState(udid, DeviceState::failed(outcome.error));
        }
    }
    emit readFinished(QString::fromStdString(udid));
}

void AppModel::record(const IOSDeviceInfo& info) {
    if (auto entry = Measurement::ofDevice(info)) recordInHistory(std::move(*entry));
}

void AppModel::recordMac(const MacBatteryInfo& battery) {
    const auto now = options_.clock();
    auto entry = Measurement::ofMac(battery, macSystem_, now);
    if (!entry) return;
    const MacRecord current{localDay(now), entry->cycleCount, entry->fullChargeCapacity, entry->designCapacity,
                            entry->batterySerial};
    // Every write rewrites the whole history file: only a changed value, or a new day, is worth one.
    if (lastMacRecord_ == current) return;
    lastMacRecord_ = current;
    recordInHistory(std::move(*entry));
}

void AppModel::reload(const std::string& udid) {
    for (const MuxDevice& device : devices_) {
        if (device.udid == udid) {
            load(device);
            return;
        }
    }
}

std::optional<HistoryDeviceGroup> AppModel::historyForSerial(const std::optional<std::string>& serial) const {
    if (!serial) return std::nullopt;
    for (const HistoryDeviceGroup& group : historyGroups_) {
        if (group.serial == *serial) return group;
    }
    return std::nullopt;
}

bool AppModel::coconutAvailable() const {
    std::error_code error;
    return std::filesystem::exists(options_.coconutDatabase, error);
}

QString AppModel::importCoconut() {
    std::int64_t count = 0;
    try {
        changeHistory([this, &count] { count = history_->importCoconutBattery(options_.coconutDatabase); });
    } catch (...) {
        return "Import failed: " + QString::fromStdString(describe(std::current_exception()));
    }
    if (historySaveError_) return "Import failed: " + QString::fromStdString(*historySaveError_);
    if (count == 0) return "No new entries found in the coconutBattery history.";
    return "Imported " + QString::number(count) + " entries from coconutBattery.";
}

PanelSegment AppModel::panelSegment() const {
    const QString stored = settings_->value(segmentKey).toString();
    for (const PanelSegment segment : {PanelSegment::history, PanelSegment::details}) {
        if (stored == segmentTexts[static_cast<int>(segment)]) return segment;
    }
    return PanelSegment::stats;
}

void AppModel::setPanelSegment(PanelSegment segment) {
    settings_->setValue(segmentKey, segmentTexts[static_cast<int>(segment)]);
}

void AppModel::deleteHistoryEntry(const UUID& id) {
    changeHistory([this, &id] { history_->deleteEntries({id}); });
}

void AppModel::deleteDeviceHistory(const std::string& serial) {
    changeHistory([this, &serial] { history_->deleteDevice(serial); });
}

void AppModel::restoreHistory(const std::vector<HistoryEntry>& entries) {
    changeHistory([this, &entries] { history_->restore(entries); });
}

std::vector<std::pair<std::string, std::string>> AppModel::macRawValues() const {
    try {
        if (const auto registry = readBatteryRegistry(options_.systemRoot)) return RawValues::flatten(*registry);
    } catch (...) {
        // The sheet then shows no rows, which says as much.
    }
    return {};
}

std::optional<QString> AppModel::exportCSV(const QString& path) {
    adoptHistory();
    const std::string text = history_->csv();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) && file.commit())
        return std::nullopt;
    return "Export failed: " + file.errorString();
}

void AppModel::adoptHistory() {
    if (history_) return;
    history_ = historyLoad_.get();
    // The store never fails to open; a thread that ran out of memory gets one more go here.
    if (!history_) history_ = options_.openHistory();
    // Another process may have saved since the read.
    history_->reloadIfChanged();
    std::optional<std::string> failure;
    if (history_->isEmpty() && coconutAvailable()) {
        try {
            failure = tryChange([this] { history_->importCoconutBattery(options_.coconutDatabase); });
        } catch (...) {
            // The automatic import stays silent; the menu command reports its errors.
        }
    }
    // The store keeps one entry per device and day, so the waiting ones replace each other as before.
    for (HistoryEntry& entry : std::exchange(waitingRecords_, {}))
        failure = tryChange([this, &entry] { history_->record(std::move(entry)); });
    publishChange(failure);
    // Also an empty history arrives: the views learn that it is there.
    if (historyGroups_.empty()) emit historyGroupsChanged();
}

void AppModel::changeHistory(const std::function<void()>& change) {
    adoptHistory();
    publishChange(tryChange(change));
}

std::optional<std::string> AppModel::tryChange(const std::function<void()>& change) {
    try {
        change();
    } catch (const CelvioError& error) {
        if (error.kind() != CelvioError::Kind::history) throw;
        // The change stays in memory: shown now, saved by the next change that succeeds.
        return history_->saveFailure().value_or(errorText(error));
    }
    return std::nullopt;
}

void AppModel::publishChange(const std::optional<std::string>& failure) {
    publishGroups();
    assign(this, historySaveError_,
           failure ? std::optional<std::string>("The history could not be saved: " + *failure) : std::nullopt,
           &AppModel::historySaveErrorChanged);
    if (history_->keptAside())
        assign(this, historyKeptAside_, std::optional(HistoryStore::keptAsideText(*history_->keptAside())),
               &AppModel::historyKeptAsideChanged);
    // The save renamed a new file into place; the old one's watch went with it.
    watchHistory();
}

void AppModel::recordInHistory(HistoryEntry entry) {
    if (!history_) {
        waitingRecords_.push_back(std::move(entry));
        return;
    }
    changeHistory([this, &entry] { history_->record(std::move(entry)); });
}

void AppModel::watchHistory() {
    const std::filesystem::path file = history_->fileURL();
    QStringList paths{QString::fromStdString(file.string())};
    for (const auto& folder : {file.parent_path(), FileIO::linkTarget(file).parent_path()})
        paths.append(QString::fromStdString(folder.empty() ? std::string(".") : folder.string()));
    paths.removeDuplicates();
    QStringList missing;
    const QStringList watched = historyWatcher_.files() + historyWatcher_.directories();
    for (const QString& path : paths) {
        if (!watched.contains(path) && QFileInfo::exists(path)) missing.append(path);
    }
    if (!missing.isEmpty()) historyWatcher_.addPaths(missing);
}

void AppModel::reloadHistory() {
    if (!history_) return;  // watched only once it has arrived
    if (history_->reloadIfChanged()) publishGroups();
    watchHistory();
}

void AppModel::dismissHistoryKeptAside() {
    if (history_) history_->forgetKeptAside();
    assign(this, historyKeptAside_, {}, &AppModel::historyKeptAsideChanged);
}

void AppModel::publishGroups() { assign(this, historyGroups_, history_->groups(), &AppModel::historyGroupsChanged); }

void AppModel::setDeviceState(const std::string& udid, DeviceState state) {
    const auto it = deviceStates_.find(udid);
    if (it != deviceStates_.end() && it->second == state) return;
    deviceStates_[udid] = std::move(state);
    emit deviceStatesChanged();
}

bool AppModel::isListed(const std::string& udid) const {
    for (const MuxDevice& device : devices_) {
        if (device.udid == udid) return true;
    }
    return false;
}

}  // namespace celvio
