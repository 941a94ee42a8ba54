#include "panels/ios_panel.hpp"

#include "model/app_model.hpp"
#include "panels/battery_panel.hpp"
#include "style/ui_text.hpp"
#include "widgets/message_view.hpp"
#include "panels/panel_data.hpp"
#include "widgets/spinner.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QLabel>

namespace celvio {
namespace {

/// "Reading battery data…" under a spinner, centred.
QWidget* progressView(QWidget* parent) {
    auto* view = new QWidget(parent);
    view->setObjectName("reading");
    auto* column = new QVBoxLayout(view);
    column->setSpacing(10);
    column->addStretch();
    column->addWidget(new Spinner(18, view), 0, Qt::AlignHCenter);
    column->addWidget(TextStyle::label(QString::fromUtf8("Reading battery data\u2026"), 11, QFont::Normal,
                                       Theme::muted(), view),
                      0, Qt::AlignHCenter);
    column->addStretch();
    return view;
}

}  // namespace

IOSPanel::IOSPanel(AppModel& model, std::string udid, QWidget* parent)
    : QWidget(parent), model_(model), udid_(std::move(udid)), shown_(new QVBoxLayout(this)) {
    layout()->setContentsMargins(0, 0, 0, 0);
    connect(&model_, &AppModel::deviceStatesChanged, this, &IOSPanel::refresh);
    refresh();
}

void IOSPanel::refresh() {
    const auto& states = model_.deviceStates();
    const auto found = states.find(udid_);
    const DeviceState* state = found == states.end() ? nullptr : &found->second;

    if (state && state->kind == DeviceState::Kind::loaded && state->info) {
        failure_.reset();
        if (!panel_) panel_ = shown_.replace(new BatteryPanel(model_, this));
        PanelData data = iosPanelData(*state->info, state->error);
        data.onRefresh = [this] { model_.reload(udid_); };
        data.rawValues = [rows = state->info->battery.rawValues] { return rows; };
        panel_->setData(std::move(data));
        return;
    }
    panel_ = nullptr;
    if (state && state->kind == DeviceState::Kind::failed) {
        const std::string message = state->error.value_or(std::string());
        if (failure_ == message) return;
        failure_ = message;
        shown_.replace(new MessageView("exclamationmark.triangle", "Could not read the device",
                                       UiText::fromStd(message), QString("Try Again"),
                                       [this] { model_.reload(udid_); }, this));
        return;
    }
    failure_.reset();
    if (!shown_.widget() || shown_.widget()->objectName() != "reading") shown_.replace(progressView(this));
}

}  // namespace celvio
