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

class QHBoxLayout;

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

/// The row of buttons that chooses the panel.
class DeviceStrip : public QWidget {
    Q_OBJECT

public:
    explicit DeviceStrip(QWidget* parent = nullptr);

    /// The first items show at once; later ones once per burst of changes, after the click
    /// that caused them has returned.
    void setItems(std::vector<StripItem> items);

    /// The buttons in order, for tests.
    std::vector<StripButton*> buttons() const;

signals:
    /// A button was clicked: show its panel.
    void selectionRequested(const Selection& target);

private:
    void rebuild();

    QHBoxLayout* row_;
    std::vector<StripItem> wanted_;
    std::vector<StripItem> shown_;
    QTimer pending_;
};

}  // namespace celvio
