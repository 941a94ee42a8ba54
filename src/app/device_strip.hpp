#pragma once

#include <QTimer>
#include <QWidget>

class QHBoxLayout;

namespace celvio {

class AppModel;
class StripButton;

/// The row of buttons that chooses the panel: the computer, one per attached device (or
/// a dimmed placeholder when none is attached), the history.
class DeviceStrip : public QWidget {
    Q_OBJECT

public:
    explicit DeviceStrip(AppModel& model, QWidget* parent = nullptr);

    /// The buttons in order, for tests.
    std::vector<StripButton*> buttons() const;

private:
    void rebuild();

    AppModel& model_;
    QHBoxLayout* row_;
    // Changes arrive in bursts and some from the strip's own clicks; one rebuild per
    // burst, after the click has returned.
    QTimer pending_;
};

}  // namespace celvio
