#pragma once

#include "model/selection.hpp"
#include "widgets/widget_slot.hpp"

#include <QWidget>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace celvio {

class AppModel;
class DeviceStrip;
class HistoryPanel;
class IOSPanel;
class MacPanel;

/// The whole content of the window: the title line with the support button, the device
/// strip, a hair-line and the selected panel, on the dark gradient. 300 x 553.
///
/// The one place that wires the model to the views: it hands the strip and the panel
/// the model's values and turns what the user asks of them into the model's actions.
class RootView : public QWidget {
    Q_OBJECT

public:
    static constexpr int fixedWidth = 300;
    static constexpr int fixedHeight = 553;

    explicit RootView(AppModel& model, QWidget* parent = nullptr);

    DeviceStrip& strip() const noexcept { return *strip_; }
    /// The panel on show.
    QWidget* panel() const noexcept { return panel_.widget(); }

    QSize sizeHint() const override;

signals:
    /// The support button: open the support page.
    void supportRequested();
    /// The history panel's export and import buttons.
    void exportRequested();
    void importRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showPanel();
    void showMac(MacPanel& panel);
    void showDevice(IOSPanel& panel);
    void showHistory(HistoryPanel& panel);
    /// The raw values sheet, parented to the window: a model change may replace the
    /// panel while the sheet is open.
    void openRawValues(const QString& title, std::vector<std::pair<std::string, std::string>> rows);

    AppModel& model_;
    DeviceStrip* strip_;
    QWidget* separator_;
    WidgetSlot panel_;
    std::optional<Selection> shown_;  // the panel's selection
};

}  // namespace celvio
