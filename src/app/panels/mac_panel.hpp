#pragma once

// Qt first: moc (6.4) fails on <concepts> when a core header brings it in before Qt's.
#include <QWidget>

#include "model/panel_segment.hpp"
#include "panels/panel_data.hpp"
#include "widgets/widget_slot.hpp"

#include <optional>

namespace celvio {

class BatteryPanel;

/// The computer's panel, or a message when it has no internal battery.
class MacPanel : public QWidget {
    Q_OBJECT

public:
    /// Shows nothing until the first `setData`.
    explicit MacPanel(PanelSegment segment, QWidget* parent = nullptr);

    /// The battery's panel; absent: the computer has no internal battery.
    void setData(std::optional<PanelData> data);

signals:
    void refreshRequested();
    void rawValuesRequested(const QString& title);
    void segmentChosen(PanelSegment segment);

private:
    PanelSegment segment_;
    WidgetSlot shown_;
    BatteryPanel* panel_ = nullptr;
};

}  // namespace celvio
