#pragma once

#include <QWidget>

class QLabel;

namespace celvio {

class AppModel;

/// What to do when no iPhone or iPad shows up: three steps, and the daemon's error in
/// red while the last device poll failed. The error label's object name is "usbmuxError".
class ConnectHelpPanel : public QWidget {
    Q_OBJECT

public:
    explicit ConnectHelpPanel(const AppModel& model, QWidget* parent = nullptr);

private:
    void showError();

    const AppModel& model_;
    QLabel* error_;
};

}  // namespace celvio
