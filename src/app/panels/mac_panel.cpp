#include "panels/mac_panel.hpp"

#include "panels/battery_panel.hpp"
#include "style/ui_text.hpp"
#include "widgets/message_view.hpp"
#include "platform/host_words.hpp"

namespace celvio {

MacPanel::MacPanel(PanelSegment segment, QWidget* parent)
    : QWidget(parent), segment_(segment), shown_(new QVBoxLayout(this)) {
    layout()->setContentsMargins(0, 0, 0, 0);
}

void MacPanel::setData(std::optional<PanelData> data) {
    if (!data) {
        panel_ = nullptr;
        if (!qobject_cast<MessageView*>(shown_.widget()))
            shown_.replace(new MessageView("powerplug", "No internal battery",
                                           UiText::fromStd(std::string(hostWords().mainsPowerOnly)), std::nullopt, {},
                                           this));
        return;
    }
    if (!panel_) {
        panel_ = shown_.replace(new BatteryPanel(segment_, this));
        connect(panel_, &BatteryPanel::refreshRequested, this, &MacPanel::refreshRequested);
        connect(panel_, &BatteryPanel::rawValuesRequested, this, &MacPanel::rawValuesRequested);
        connect(panel_, &BatteryPanel::segmentChosen, this, [this](PanelSegment segment) {
            segment_ = segment;
            emit segmentChosen(segment);
        });
    }
    panel_->setData(std::move(*data));
}

}  // namespace celvio
