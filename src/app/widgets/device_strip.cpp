#include "widgets/device_strip.hpp"

#include "model/app_model.hpp"
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

/// The widget an item's icon text describes.
QWidget* makeIcon(const std::string& icon, QWidget* parent) {
    const QStringList parts = QString::fromStdString(icon).split('|');
    if (parts[0] == "model") {
        auto* view = new IconView(parts[2] == "laptopcomputer" ? 24 : 22, parent);
        view->setIcon(Symbols::deviceIcon(parts[1].toStdString(), parts[2].toStdString()));
        return view;
    }
    if (parts[0] == "symbol") {
        static const std::map<QString, std::pair<double, QColor>> looks{
            {"exclamationmark.triangle.fill", {18, Theme::orange()}},
            {"iphone.slash", {16, Theme::faint()}},
            {"chart.xyaxis.line", {15, Theme::amber()}},
        };
        const auto& [size, colour] = looks.at(parts[1]);
        QLabel* label = Symbols::label(parts[1].toStdString(), size, colour, parent);
        label->setFixedSize(26, 26);
        return label;
    }
    return new Spinner(14, parent);
}

}  // namespace

DeviceStrip::DeviceStrip(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(10, 0, 10, 0);
    row_->setSpacing(4);
    row_->addStretch();
    pending_.setSingleShot(true);
    pending_.setInterval(0);
    connect(&pending_, &QTimer::timeout, this, &DeviceStrip::rebuild);
    for (auto signal : {&AppModel::selectionChanged, &AppModel::devicesChanged, &AppModel::deviceStatesChanged,
                        &AppModel::macBatteryChanged})
        connect(&model_, signal, &pending_, qOverload<>(&QTimer::start));
    rebuild();
}

std::vector<StripButton*> DeviceStrip::buttons() const {
    std::vector<StripButton*> all;
    for (int i = 0; i < row_->count(); ++i) {
        if (auto* button = qobject_cast<StripButton*>(row_->itemAt(i)->widget())) all.push_back(button);
    }
    return all;
}

std::vector<DeviceStrip::Item> DeviceStrip::items() const {
    const Selection& selection = model_.selection();
    std::vector<Item> items;

    std::optional<double> macCharge;
    if (const auto& battery = model_.macBattery()) macCharge = static_cast<double>(battery->chargePercent);
    items.push_back({"strip:mac",
                     {UiText::fromStd(std::string(hostWords().shortHost)), selection.kind == Selection::Kind::mac,
                      macCharge, false, std::nullopt},
                     "model|" + model_.macSystem().modelIdentifier + "|laptopcomputer",
                     Selection::mac()});

    for (const MuxDevice& device : model_.devices()) {
        const auto found = model_.deviceStates().find(device.udid);
        const DeviceState* state = found == model_.deviceStates().end() ? nullptr : &found->second;
        Item item{"strip:device",
                  {QString::fromUtf8("\u2026"), selection.isDevice(device.udid), std::nullopt, false, std::nullopt},
                  "spinner",
                  Selection::device(device.udid)};
        if (device.connection == MuxDevice::Connection::network) item.look.badge = "wifi";
        if (state && state->kind == DeviceState::Kind::loaded && state->info) {
            const IOSDeviceInfo& info = *state->info;
            item.look.label = UiText::fromStd(info.name);
            if (info.battery.chargePercent) item.look.charge = static_cast<double>(*info.battery.chargePercent);
            if (!info.productType.empty()) item.icon = "model|" + info.productType + "|iphone";
        } else if (state && state->kind == DeviceState::Kind::failed) {
            item.look.label = "Error";
            item.icon = "symbol|exclamationmark.triangle.fill";
        }
        items.push_back(std::move(item));
    }

    if (model_.devices().empty())
        items.push_back({"strip:placeholder",
                         {"iPhone", selection.kind == Selection::Kind::connectHelp, std::nullopt, true, std::nullopt},
                         "symbol|iphone.slash",
                         Selection::connectHelp()});
    items.push_back({"strip:history",
                     {"History", selection.kind == Selection::Kind::history, std::nullopt, false, std::nullopt},
                     "symbol|chart.xyaxis.line",
                     Selection::history()});
    return items;
}

void DeviceStrip::rebuild() {
    std::vector<Item> next = items();
    // Most changes (a new reading of the same charge) leave the strip as it is.
    if (next == shown_) return;
    for (StripButton* button : buttons()) discardLater(button);
    int position = 0;
    for (const Item& item : next) {
        auto* button = new StripButton(item.look, makeIcon(item.icon, this), this);
        button->setObjectName(item.name);
        if (item.target.kind == Selection::Kind::device)
            button->setProperty("udid", QString::fromStdString(item.target.udid));
        connect(button, &StripButton::clicked, this, [this, target = item.target] { model_.setSelection(target); });
        row_->insertWidget(position++, button);
        button->show();  // a layout shows new children of a visible strip only later
    }
    shown_ = std::move(next);
}

}  // namespace celvio
