#pragma once

#include "model/selection.hpp"
#include "widgets/strip_button.hpp"

#include <QTimer>
#include <QWidget>

#include <string>
#include <vector>

class QHBoxLayout;

namespace celvio {

class AppModel;

/// The row of buttons that chooses the panel: the computer, one per attached device (or
/// a dimmed placeholder when none is attached), the history.
class DeviceStrip : public QWidget {
    Q_OBJECT

public:
    explicit DeviceStrip(AppModel& model, QWidget* parent = nullptr);

    /// The buttons in order, for tests.
    std::vector<StripButton*> buttons() const;

private:
    /// What one button shows and selects.
    struct Item {
        QString name;  ///< the button's object name
        StripButton::Look look;
        /// "model|<code>|<fallback>", "symbol|<name>" or "spinner"
        std::string icon;
        Selection target;
        bool operator==(const Item&) const = default;
    };

    std::vector<Item> items() const;
    void rebuild();

    AppModel& model_;
    QHBoxLayout* row_;
    std::vector<Item> shown_;
    // Changes arrive in bursts and some from the strip's own clicks; one rebuild per
    // burst, after the click has returned.
    QTimer pending_;
};

}  // namespace celvio
