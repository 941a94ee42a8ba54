#pragma once

// Qt first: moc (6.4) fails on <concepts> when a core header brings it in before Qt's.
#include <QWidget>

#include "history/history_grouping.hpp"
#include "model/panel_segment.hpp"
#include "panels/panel_data.hpp"
#include "widgets/widget_slot.hpp"

#include <optional>

class QLabel;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace celvio {

class ElidedLabel;
class IconButton;
class IconView;
class RingGauge;
class SegmentBar;
class StatCell;

/// The common layout of the computer's and a device's panel: header with the raw values
/// and refresh buttons, the warning line, the charge and health gauges, the power line and
/// the "Stats", "History" and "Details" segments.
class BatteryPanel : public QWidget {
    Q_OBJECT

public:
    /// Shows `segment` from the first `setData` on.
    explicit BatteryPanel(PanelSegment segment, QWidget* parent = nullptr);

    /// Shows `data`, updating what changed in place.
    void setData(PanelData data);
    const PanelData& data() const noexcept { return data_; }

    PanelSegment segment() const noexcept { return segment_; }
    /// The refresh button's help text for a reading at `updated`.
    static QString refreshHelp(const std::optional<std::chrono::system_clock::time_point>& updated);

signals:
    void refreshRequested();
    /// The raw values button; `title` is the panel's name, for the sheet.
    void rawValuesRequested(const QString& title);
    /// The user picked a segment, which is on show already.
    void segmentChosen(PanelSegment segment);

private:
    void chooseSegment(PanelSegment segment);
    void showSegment();
    void showStats();
    void showHistory();
    void showDetails();

    PanelData data_;
    PanelSegment segment_;

    IconView* icon_;
    ElidedLabel* name_;
    ElidedLabel* subtitle_;
    IconButton* refresh_;
    QWidget* warning_;
    QLabel* warningText_;
    RingGauge* charge_;
    RingGauge* health_;
    QLabel* powerSymbol_;
    QLabel* powerText_;
    QLabel* timeInfo_;
    SegmentBar* segments_;
    WidgetSlot shown_;  // the segment's widget
    std::optional<PanelSegment> onShow_;  // the segment `shown_` holds
    std::vector<StatCell*> cells_;
    std::optional<HistoryDeviceGroup> history_;  // the group the history page shows
};

}  // namespace celvio
