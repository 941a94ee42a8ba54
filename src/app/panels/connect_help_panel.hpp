#pragma once

#include <QWidget>

#include <optional>
#include <string>

class QLabel;

namespace celvio {

/// What to do when no iPhone or iPad shows up: three steps, and the daemon's error in
/// red while the last device poll failed. The error label's object name is "usbmuxError".
class ConnectHelpPanel : public QWidget {
    Q_OBJECT

public:
    explicit ConnectHelpPanel(QWidget* parent = nullptr);

    /// The message of the last device poll when it failed.
    void setError(const std::optional<std::string>& error);

private:
    QLabel* error_;
};

}  // namespace celvio
