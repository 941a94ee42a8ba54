#pragma once

#include "widgets/widget_slot.hpp"

#include <QWidget>

namespace celvio {

class AppModel;
class BatteryPanel;

/// The computer's panel, or a message when it has no internal battery.
class MacPanel : public QWidget {
    Q_OBJECT

public:
    /// Follows the model's battery and low-power flag until it goes.
    explicit MacPanel(AppModel& model, QWidget* parent = nullptr);

private:
    void refresh();

    AppModel& model_;
    WidgetSlot shown_;
    BatteryPanel* panel_ = nullptr;
};

}  // namespace celvio
