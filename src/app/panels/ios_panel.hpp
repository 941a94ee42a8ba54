#pragma once

#include "widgets/widget_slot.hpp"

#include <QWidget>

#include <optional>
#include <string>

namespace celvio {

class AppModel;
class BatteryPanel;

/// One iPhone's or iPad's panel: a progress view until the first read ends, then the
/// data, or the error of a first read that failed with "Try Again".
class IOSPanel : public QWidget {
    Q_OBJECT

public:
    /// Follows the state of the device with this UDID.
    IOSPanel(AppModel& model, std::string udid, QWidget* parent = nullptr);

    const std::string& udid() const noexcept { return udid_; }

private:
    void refresh();

    AppModel& model_;
    std::string udid_;
    WidgetSlot shown_;
    BatteryPanel* panel_ = nullptr;
    std::optional<std::string> failure_;  // the message on show
};

}  // namespace celvio
