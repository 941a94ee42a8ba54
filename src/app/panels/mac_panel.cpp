#include "panels/mac_panel.hpp"

#include "model/app_model.hpp"
#include "panels/battery_panel.hpp"
#include "style/ui_text.hpp"
#include "widgets/message_view.hpp"
#include "panels/panel_data.hpp"
#include "platform/host_words.hpp"

namespace celvio {

MacPanel::MacPanel(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), shown_(new QVBoxLayout(this)) {
    layout()->setContentsMargins(0, 0, 0, 0);
    connect(&model_, &AppModel::macBatteryChanged, this, &MacPanel::refresh);
    connect(&model_, &AppModel::lowPowerModeChanged, this, &MacPanel::refresh);
    refresh();
}

void MacPanel::refresh() {
    const auto& battery = model_.macBattery();
    if (!battery) {
        panel_ = nullptr;
        if (!qobject_cast<MessageView*>(shown_.widget()))
            shown_.replace(new MessageView("powerplug", "No internal battery",
                                           UiText::fromStd(std::string(hostWords().mainsPowerOnly)), std::nullopt, {},
                                           this));
        return;
    }
    if (!panel_) panel_ = shown_.replace(new BatteryPanel(model_, this));
    PanelData data = macPanelData(*battery, model_.macSystem(), model_.lowPowerMode());
    data.onRefresh = [this] { model_.refreshMac(); };
    data.rawValues = [this] { return model_.macRawValues(); };
    panel_->setData(std::move(data));
}

}  // namespace celvio
