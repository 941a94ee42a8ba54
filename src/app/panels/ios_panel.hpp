#pragma once

// Qt first: moc (6.4) fails on <concepts> when a core header brings it in before Qt's.
#include <QWidget>

#include "model/panel_segment.hpp"
#include "panels/panel_data.hpp"
#include "widgets/widget_slot.hpp"

#include <optional>
#include <string>

namespace celvio {

class BatteryPanel;

/// One iPhone's or iPad's panel: a progress view until the first read ends, then the
/// data, or the error of a first read that failed with "Try Again".
class IOSPanel : public QWidget {
    Q_OBJECT

public:
    /// The panel of the device with this UDID; shows nothing until told what.
    IOSPanel(std::string udid, PanelSegment segment, QWidget* parent = nullptr);

    const std::string& udid() const noexcept { return udid_; }

    /// The first read is running.
    void showReading();
    /// The first read failed with `message`.
    void showFailure(const std::string& message);
    /// What the last successful read found.
    void setData(PanelData data);

signals:
    /// The refresh button or "Try Again".
    void refreshRequested();
    void rawValuesRequested(const QString& title);
    void segmentChosen(PanelSegment segment);

private:
    enum class Shows { nothing, reading, failure, data };

    std::string udid_;
    PanelSegment segment_;
    WidgetSlot shown_;
    Shows shows_ = Shows::nothing;
    BatteryPanel* panel_ = nullptr;  // while showing data
    std::string failure_;            // the message on show
};

}  // namespace celvio
