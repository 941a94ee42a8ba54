#include "widgets/device_strip.hpp"

#include "style/ui_text.hpp"
#include "widgets/icon_view.hpp"
#include "platform/host_words.hpp"
#include "widgets/spinner.hpp"
#include "style/symbols.hpp"
#include "style/theme.hpp"
#include "widgets/widget_slot.hpp"

#include <QBoxLayout>
#include <QLabel>

namespace celvio {
namespace {

/// The widget that draws an icon.
QWidget* makeIcon(const StripIcon& icon, QWidget* parent) {
    if (const auto* model = std::get_if<ModelIcon>(&icon)) {
        auto* view = new IconView(model->fallback == "laptopcomputer" ? 24 : 22, parent);
        view->setIcon(Symbols::deviceIcon(model->model, model->fallback));
        return view;
    }
    if (const auto* symbol = std::get_if<SymbolIcon>(&icon)) {
        QLabel* label = Symbols::label(symbol->name, symbol->size, symbol->colour, parent);
        label->setFixedSize(26, 26);
        return label;
    }
    return new Spinner(14, parent);
}

}  // namespace

std::vector<StripItem> stripItems(const Selection& selection, const std::optional<MacBatteryInfo>& macBattery,
                                  const MacSystemInfo& macSystem, const std::vector<MuxDevice>& devices,
                                  const DeviceStates& deviceStates) {
    std::vector<StripItem> items;

    std::optional<double> macCharge;
    if (macBattery) macCharge = static_cast<double>(macBattery->chargePercent);
    items.push_back({"strip:mac",
                     {UiText::fromStd(std::string(hostWords().shortHost)), selection.kind == Selection::Kind::mac,
                      macCharge, false, std::nullopt},
                     ModelIcon{macSystem.modelIdentifier, "laptopcomputer"},
                     Selection::mac()});

    for (const MuxDevice& device : devices) {
        const auto found = deviceStates.find(device.udid);
        const DeviceState* state = found == deviceStates.end() ? nullptr : &found->second;
        StripItem item{
            "strip:device",
            {QString::fromUtf8("\u2026"), selection.isDevice(device.udid), std::nullopt, false, std::nullopt},
            SpinnerIcon{},
            Selection::device(device.udid)};
        if (device.connection == MuxDevice::Connection::network) item.look.badge = "wifi";
        if (state && state->kind == DeviceState::Kind::loaded && state->info) {
            const IOSDeviceInfo& info = *state->info;
            item.look.label = UiText::fromStd(info.name);
            if (info.battery.chargePercent) item.look.charge = static_cast<double>(*info.battery.chargePercent);
            if (!info.productType.empty()) item.icon = ModelIcon{info.productType, "iphone"};
        } else if (state && state->kind == DeviceState::Kind::failed) {
            item.look.label = "Error";
            item.icon = SymbolIcon{"exclamationmark.triangle.fill", 18, Theme::orange()};
        }
        items.push_back(std::move(item));
    }

    if (devices.empty())
        items.push_back({"strip:placeholder",
                         {"iPhone", selection.kind == Selection::Kind::connectHelp, std::nullopt, true, std::nullopt},
                         SymbolIcon{"iphone.slash", 16, Theme::faint()},
                         Selection::connectHelp()});
    items.push_back({"strip:history",
                     {"History", selection.kind == Selection::Kind::history, std::nullopt, false, std::nullopt},
                     SymbolIcon{"chart.xyaxis.line", 15, Theme::amber()},
                     Selection::history()});
    return items;
}

DeviceStrip::DeviceStrip(QWidget* parent) : QWidget(parent) {
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(10, 0, 10, 0);
    row_->setSpacing(4);
    row_->addStretch();
    pending_.setSingleShot(true);
    pending_.setInterval(0);
    connect(&pending_, &QTimer::timeout, this, &DeviceStrip::rebuild);
}

void DeviceStrip::setItems(std::vector<StripItem> items) {
    wanted_ = std::move(items);
    // Changes arrive in bursts and some from the strip's own clicks.
    if (shown_.empty())
        rebuild();
    else
        pending_.start();
}

std::vector<StripButton*> DeviceStrip::buttons() const {
    std::vector<StripButton*> all;
    for (int i = 0; i < row_->count(); ++i) {
        if (auto* button = qobject_cast<StripButton*>(row_->itemAt(i)->widget())) all.push_back(button);
    }
    return all;
}

void DeviceStrip::rebuild() {
    // Most changes (a new reading of the same charge) leave the strip as it is.
    if (wanted_ == shown_) return;
    for (StripButton* button : buttons()) discardLater(button);
    int position = 0;
    for (const StripItem& item : wanted_) {
        auto* button = new StripButton(item.look, makeIcon(item.icon, this), this);
        button->setObjectName(item.name);
        if (item.target.kind == Selection::Kind::device)
            button->setProperty("udid", QString::fromStdString(item.target.udid));
        connect(button, &StripButton::clicked, this, [this, target = item.target] { emit selectionRequested(target); });
        row_->insertWidget(position++, button);
        button->show();  // a layout shows new children of a visible strip only later
    }
    shown_ = wanted_;
}

}  // namespace celvio
