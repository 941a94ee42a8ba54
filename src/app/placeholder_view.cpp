#include "placeholder_view.hpp"

#include "app_model.hpp"
#include "platform/host_words.hpp"

#include <QLabel>
#include <QVBoxLayout>

namespace celvio {

namespace {

QString toQString(std::string_view value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

QString selectionText(const AppModel& model) {
    const Selection& selection = model.selection();
    switch (selection.kind) {
        case Selection::Kind::device:
            return toQString(selection.udid);
        case Selection::Kind::mac:
            return toQString(hostWords().thisHost);
        case Selection::Kind::history:
            return "History";
        case Selection::Kind::connectHelp:
            return "Connect an iPhone or iPad";
    }
    return {};
}

QString stateText(const DeviceStates& states, const std::string& udid) {
    const auto it = states.find(udid);
    if (it == states.end() || it->second.kind == DeviceState::Kind::loading) return QString::fromUtf8("\u2026");
    const DeviceState& state = it->second;
    if (state.kind == DeviceState::Kind::failed) return "Error: " + toQString(*state.error);
    QString line = toQString(state.info->name);
    if (const auto charge = state.info->battery.chargePercent) line += QString(" %1 %").arg(*charge);
    if (state.error) line += " (last refresh failed: " + toQString(*state.error) + ")";
    return line;
}

}  // namespace

PlaceholderView::PlaceholderView(const AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), label_(new QLabel(this)) {
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(label_);

    for (auto signal : {&AppModel::selectionChanged, &AppModel::macBatteryChanged, &AppModel::lowPowerModeChanged,
                        &AppModel::devicesChanged, &AppModel::deviceStatesChanged, &AppModel::historyGroupsChanged,
                        &AppModel::usbmuxErrorChanged})
        connect(&model_, signal, this, &PlaceholderView::refresh);
    refresh();
}

QSize PlaceholderView::sizeHint() const { return {300, 553}; }

QString PlaceholderView::text() const { return label_->text(); }

void PlaceholderView::refresh() {
    QStringList lines;
    lines << "Showing: " + selectionText(model_) << "";
    lines << toQString(hostWords().thisHost) + ": " + toQString(model_.macSystem().modelIdentifier);
    if (const auto& battery = model_.macBattery())
        lines << QString("Battery %1 %, health %2 %, %3 cycles")
                     .arg(battery->chargePercent)
                     .arg(battery->health(), 0, 'f', 1)
                     .arg(battery->cycleCount);
    else
        lines << "No internal battery";
    if (model_.lowPowerMode()) lines << "Low power mode";
    lines << "";

    if (const auto& error = model_.usbmuxError()) lines << "usbmux: " + toQString(*error);
    if (model_.devices().empty()) lines << "No iPhone or iPad attached";
    for (const MuxDevice& device : model_.devices())
        lines << toQString(connectionText(device.connection)) + " " + toQString(device.udid) + ": " +
                     stateText(model_.deviceStates(), device.udid);
    lines << "" << QString("History: %1 devices").arg(model_.historyGroups().size());
    label_->setText(lines.join('\n'));
}

}  // namespace celvio
