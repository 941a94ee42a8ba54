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

class AppModel;
class IconButton;
class IconView;
class RingGauge;
class SegmentBar;
class StatCell;

/// The common layout of the computer's and a device's panel: header with the raw values
/// and refresh buttons, the warning line, the charge and health gauges, the power line and
/// the "Stats", "History" and "Details" segments. The chosen segment is one setting for
/// every panel, kept across launches.
class BatteryPanel : public QWidget {
    Q_OBJECT

public:
    explicit BatteryPanel(AppModel& model, QWidget* parent = nullptr);

    /// Shows `data`, updating what changed in place.
    void setData(PanelData data);
    const PanelData& data() const noexcept { return data_; }

    PanelSegment segment() const noexcept { return segment_; }
    /// The refresh button's help text for a reading at `updated`.
    static QString refreshHelp(const std::optional<std::chrono::system_clock::time_point>& updated);

private:
    void chooseSegment(PanelSegment segment);
    void showSegment();
    void showStats();
    void showHistory();
    void showDetails();
    void openRawValues();

    AppModel& model_;
    PanelData data_;
    PanelSegment segment_;

    IconView* icon_;
    QLabel* name_;
    QLabel* subtitle_;
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
    std::vector<StatCell*> cells_;
    std::optional<HistoryDeviceGroup> history_;  // the group the history page shows
};

}  // namespace celvio
