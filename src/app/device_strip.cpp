#include "device_strip.hpp"

#include "app_model.hpp"
#include "device_panel.hpp"
#include "fmt.hpp"
#include "platform/host_words.hpp"
#include "spinner.hpp"
#include "strip_button.hpp"
#include "symbols.hpp"
#include "theme.hpp"

#include <QBoxLayout>
#include <QLabel>

namespace celvio {
namespace {

IconView* modelIcon(const std::string& model, const std::string& fallback, int side) {
    auto* icon = new IconView(side);
    icon->setIcon(Symbols::deviceIcon(model, fallback));
    return icon;
}

QLabel* symbolIcon(const char* symbol, double size, const QColor& colour) {
    QLabel* icon = Symbols::label(symbol, size, colour);
    icon->setFixedSize(26, 26);
    return icon;
}

}  // namespace

DeviceStrip::DeviceStrip(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(10, 0, 10, 0);
    row_->setSpacing(4);
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

void DeviceStrip::rebuild() {
    while (QLayoutItem* item = row_->takeAt(0)) {
        const std::unique_ptr<QLayoutItem> owned(item);
        const std::unique_ptr<QWidget> widget(item->widget());
    }
    const Selection& selection = model_.selection();
    auto add = [this](const char* name, StripButton::Look look, QWidget* icon, Selection target) {
        auto* button = new StripButton(std::move(look), icon, this);
        button->setObjectName(name);
        connect(button, &StripButton::clicked, this, [this, target] { model_.setSelection(target); });
        row_->addWidget(button);
        button->show();  // a layout shows new children of a visible strip only later
        return button;
    };

    std::optional<double> macCharge;
    if (const auto& battery = model_.macBattery()) macCharge = static_cast<double>(battery->chargePercent);
    add("strip:mac",
        {Fmt::fromStd(std::string(hostWords().shortHost)), selection.kind == Selection::Kind::mac, macCharge, false, {}},
        modelIcon(model_.macSystem().modelIdentifier, "laptopcomputer", 24), Selection::mac());

    for (const MuxDevice& device : model_.devices()) {
        const auto found = model_.deviceStates().find(device.udid);
        const DeviceState* state = found == model_.deviceStates().end() ? nullptr : &found->second;
        StripButton::Look look{QString::fromUtf8("\u2026"), selection.isDevice(device.udid), std::nullopt, false,
                               std::nullopt};
        if (device.connection == MuxDevice::Connection::network) look.badge = "wifi";
        QWidget* icon = nullptr;
        if (state && state->kind == DeviceState::Kind::loaded && state->info) {
            const IOSDeviceInfo& info = *state->info;
            look.label = Fmt::fromStd(info.name);
            if (info.battery.chargePercent) look.charge = static_cast<double>(*info.battery.chargePercent);
            if (!info.productType.empty()) icon = modelIcon(info.productType, "iphone", 22);
        } else if (state && state->kind == DeviceState::Kind::failed) {
            look.label = "Error";
            icon = symbolIcon("exclamationmark.triangle.fill", 18, Theme::orange());
        }
        if (!icon) icon = new Spinner(14);
        add("strip:device", std::move(look), icon, Selection::device(device.udid))->setProperty(
            "udid", QString::fromStdString(device.udid));
    }

    if (model_.devices().empty())
        add("strip:placeholder", {"iPhone", selection.kind == Selection::Kind::connectHelp, std::nullopt, true, {}},
            symbolIcon("iphone.slash", 16, Theme::faint()), Selection::connectHelp());

    add("strip:history", {"History", selection.kind == Selection::Kind::history, std::nullopt, false, {}},
        symbolIcon("chart.xyaxis.line", 15, Theme::amber()), Selection::history());
    row_->addStretch();
}

}  // namespace celvio
