#include "shell/root_view.hpp"

#include "model/app_model.hpp"
#include "style/appearance.hpp"
#include "panels/connect_help_panel.hpp"
#include "widgets/device_strip.hpp"
#include "panels/history_panel.hpp"
#include "panels/ios_panel.hpp"
#include "panels/mac_panel.hpp"
#include "panels/panel_data.hpp"
#include "panels/raw_values_sheet.hpp"
#include "style/symbols.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include <chrono>
#include <functional>
#include <initializer_list>

namespace celvio {
namespace {

/// Runs `show` now and whenever the model emits one of `changes`, for as long as `view` lives.
void follow(AppModel& model, QObject* view, std::initializer_list<void (AppModel::*)()> changes,
            const std::function<void()>& show) {
    for (auto changed : changes) QObject::connect(&model, changed, view, show);
    show();
}

}  // namespace

RootView::RootView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), panel_(new QVBoxLayout(this)) {
    setFixedSize(sizeHint());
    auto* column = static_cast<QVBoxLayout*>(layout());
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* title = new QWidget(this);
    title->setFixedHeight(28);
    QLabel* name = TextStyle::label("Celvio", 12, QFont::DemiBold, Theme::muted(), title);
    name->setAlignment(Qt::AlignCenter);
    name->setGeometry(0, 0, fixedWidth, 28);
    auto* support = new QToolButton(title);
    support->setObjectName("support");
    support->setAutoRaise(true);
    support->setFocusPolicy(Qt::NoFocus);
    support->setCursor(Qt::PointingHandCursor);
    support->setText(Symbols::glyph("cup.and.saucer.fill"));
    support->setFont(Symbols::font(13));
    support->setStyleSheet("QToolButton { color: " + Theme::amber().name() + "; border: none; background: transparent; }");
    support->setToolTip(QString::fromUtf8("Buy me a coffee \u2013 support Celvio"));
    support->setGeometry(fixedWidth - 10 - 26, 3, 26, 22);
    connect(support, &QToolButton::clicked, this, &RootView::supportRequested);
    column->addWidget(title);

    strip_ = new DeviceStrip(this);
    connect(strip_, &DeviceStrip::selectionRequested, &model_, &AppModel::setSelection);
    follow(model_, strip_,
           {&AppModel::selectionChanged, &AppModel::devicesChanged, &AppModel::deviceStatesChanged,
            &AppModel::macBatteryChanged},
           [this] {
               strip_->setItems(stripItems(model_.selection(), model_.macBattery(), model_.macSystem(),
                                           model_.devices(), model_.deviceStates()));
           });
    column->addWidget(strip_);
    column->addSpacing(8);
    separator_ = new QWidget(this);  // drawn with the background, see paintEvent
    separator_->setFixedHeight(1);
    column->addWidget(separator_);

    connect(&model_, &AppModel::selectionChanged, this, &RootView::showPanel);
    showPanel();
}

QSize RootView::sizeHint() const { return {fixedWidth, fixedHeight}; }

void RootView::showPanel() {
    const Selection& selection = model_.selection();
    if (selection == shown_) return;
    shown_ = selection;
    switch (selection.kind) {
    case Selection::Kind::mac: {
        auto* mac = panel_.replace(new MacPanel(model_.panelSegment(), this));
        connect(mac, &MacPanel::refreshRequested, &model_, &AppModel::refreshMac);
        connect(mac, &MacPanel::rawValuesRequested, this,
                [this](const QString& title) { openRawValues(title, model_.macRawValues()); });
        connect(mac, &MacPanel::segmentChosen, &model_, &AppModel::setPanelSegment);
        follow(model_, mac,
               {&AppModel::macBatteryChanged, &AppModel::lowPowerModeChanged, &AppModel::historyGroupsChanged},
               [this, mac] { showMac(*mac); });
        break;
    }
    case Selection::Kind::device: {
        auto* device = panel_.replace(new IOSPanel(selection.udid, model_.panelSegment(), this));
        connect(device, &IOSPanel::refreshRequested, this, [this, device] { model_.reload(device->udid()); });
        connect(device, &IOSPanel::rawValuesRequested, this, [this, device](const QString& title) {
            const auto found = model_.deviceStates().find(device->udid());
            if (found != model_.deviceStates().end() && found->second.info)
                openRawValues(title, found->second.info->battery.rawValues);
        });
        connect(device, &IOSPanel::segmentChosen, &model_, &AppModel::setPanelSegment);
        follow(model_, device, {&AppModel::deviceStatesChanged, &AppModel::historyGroupsChanged},
               [this, device] { showDevice(*device); });
        break;
    }
    case Selection::Kind::history: {
        auto* history = panel_.replace(new HistoryPanel(this));
        connect(history, &HistoryPanel::exportRequested, this, &RootView::exportRequested);
        connect(history, &HistoryPanel::importRequested, this, &RootView::importRequested);
        connect(history, &HistoryPanel::deleteEntryRequested, &model_, &AppModel::deleteHistoryEntry);
        connect(history, &HistoryPanel::deleteDeviceRequested, &model_, &AppModel::deleteDeviceHistory);
        connect(history, &HistoryPanel::restoreRequested, &model_, &AppModel::restoreHistory);
        connect(history, &HistoryPanel::dismissKeptAsideRequested, &model_, &AppModel::dismissHistoryKeptAside);
        follow(model_, history, {&AppModel::historySaveErrorChanged},
               [this, history] { history->setSaveError(model_.historySaveError()); });
        follow(model_, history, {&AppModel::historyKeptAsideChanged},
               [this, history] { history->setKeptAside(model_.historyKeptAside()); });
        // Until the history arrives, no "0 measurements" and no offer to import into it.
        follow(model_, history, {&AppModel::historyGroupsChanged}, [this, history] {
            if (model_.historyArrived()) showHistory(*history);
        });
        break;
    }
    case Selection::Kind::connectHelp: {
        auto* help = panel_.replace(new ConnectHelpPanel(this));
        follow(model_, help, {&AppModel::usbmuxErrorChanged}, [this, help] { help->setError(model_.usbmuxError()); });
        break;
    }
    }
}

void RootView::showMac(MacPanel& panel) {
    const auto& battery = model_.macBattery();
    if (!battery) {
        panel.setData(std::nullopt);
        return;
    }
    PanelData data = macPanelData(*battery, model_.macSystem(), model_.lowPowerMode());
    data.history = model_.historyForSerial(data.historySerial);
    panel.setData(std::move(data));
}

void RootView::showDevice(IOSPanel& panel) {
    const auto found = model_.deviceStates().find(panel.udid());
    const DeviceState* state = found == model_.deviceStates().end() ? nullptr : &found->second;
    if (state && state->kind == DeviceState::Kind::loaded && state->info) {
        PanelData data = iosPanelData(*state->info, state->error);
        data.history = model_.historyForSerial(data.historySerial);
        panel.setData(std::move(data));
    } else if (state && state->kind == DeviceState::Kind::failed) {
        panel.showFailure(state->error.value_or(std::string()));
    } else {
        panel.showReading();
    }
}

void RootView::showHistory(HistoryPanel& panel) {
    // Asked on every change: the database may have appeared or gone since the last one.
    std::vector<HistoryDeviceGroup> groups = model_.historyGroups();
    // Here, once per change, not in the panel's paint: a trend takes a while per device.
    const auto now = std::chrono::system_clock::now();
    std::vector<std::optional<HealthTrend>> trends;
    trends.reserve(groups.size());
    for (const HistoryDeviceGroup& group : groups) trends.push_back(healthTrend(group, now));
    panel.setHistory(std::move(groups), model_.coconutAvailable(), std::move(trends));
}

void RootView::openRawValues(const QString& title, std::vector<std::pair<std::string, std::string>> rows) {
    auto* sheet = new RawValuesSheet(title, std::move(rows), window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}

void RootView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintBackground(painter, rect());
    painter.fillRect(separator_->geometry(), Theme::white(0.06));
}

}  // namespace celvio
