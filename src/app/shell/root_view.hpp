#pragma once

#include "model/selection.hpp"
#include "widgets/widget_slot.hpp"

#include <QWidget>

#include <optional>

namespace celvio {

class AppModel;
class DeviceStrip;

/// The whole content of the window: the title line with the support button, the device
/// strip, a hair-line and the selected panel, on the dark gradient. 300 x 553.
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

    AppModel& model_;
    DeviceStrip* strip_;
    QWidget* separator_;
    WidgetSlot panel_;
    std::optional<Selection> shown_;  // the panel's selection
};

}  // namespace celvio
