#pragma once

#include "model/device_state.hpp"
#include "model/selection.hpp"
#include "reading/mac_battery_info.hpp"
#include "reading/mac_system_info.hpp"
#include "link/usbmux.hpp"
#include "widgets/strip_button.hpp"

#include <QColor>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace celvio {

/// A model's icon, or the fallback symbol's when the catalogue has none for the model.
struct ModelIcon {
    std::string model;
    std::string fallback;
    bool operator==(const ModelIcon&) const = default;
};
/// A symbol in its own size (px) and colour.
struct SymbolIcon {
    std::string name;
    double size = 0;
    QColor colour;
    bool operator==(const SymbolIcon&) const = default;
};
/// A read in progress.
struct SpinnerIcon {
    bool operator==(const SpinnerIcon&) const = default;
};
using StripIcon = std::variant<ModelIcon, SymbolIcon, SpinnerIcon>;

/// What one strip button shows and selects.
struct StripItem {
    QString name;  ///< the button's object name
    StripButton::Look look;
    StripIcon icon;
    Selection target;
    bool operator==(const StripItem&) const = default;
};

/// The strip's buttons: the computer, one per listed device (or a dimmed placeholder when
/// none is listed), the history.
std::vector<StripItem> stripItems(const Selection& selection, const std::optional<MacBatteryInfo>& macBattery,
                                  const MacSystemInfo& macSystem, const std::vector<MuxDevice>& devices,
                                  const DeviceStates& deviceStates);

/// The row of buttons that chooses the panel. Buttons keep their size; when they do not
/// all fit, the row scrolls sideways (wheel, drag, arrow keys), a fade with a chevron marks
/// each edge that has more beyond it, and a new selection is scrolled into view. The
/// strip is one focus stop: Left, Right, Home and End move its mark from button to
/// button, Space and Return choose the marked one.
class DeviceStrip : public QWidget {
    Q_OBJECT

public:
    explicit DeviceStrip(QWidget* parent = nullptr);

    /// The first items show at once; later ones once per burst of changes, after the click
    /// that caused them has returned.
    void setItems(std::vector<StripItem> items);

    /// The buttons in order, for tests.
    const std::vector<StripButton*>& buttons() const noexcept { return buttons_; }
    /// How far the row is scrolled: pixels of it hidden beyond the left edge.
    int offset() const noexcept { return offset_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /// A button was clicked: show its panel.
    void selectionRequested(const Selection& target);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void rebuild();
    int rowWidth() const;
    int selectedIndex() const;
    void scrollTo(int offset);
    /// Scrolls so the button at `index` shows whole, clear of the edge fades.
    void reveal(int index);
    void mark(int index);

    std::vector<StripButton*> buttons_;
    std::vector<StripItem> wanted_;
    std::vector<StripItem> shown_;
    QTimer pending_;
    QWidget* fades_[2];  ///< left, right
    int offset_ = 0;
    int marked_ = 0;
    std::optional<double> pressX_;  ///< where a drag may start, in global coordinates
    int pressOffset_ = 0;
    bool dragging_ = false;
};

}  // namespace celvio
