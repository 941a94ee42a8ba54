#pragma once

#include "care/care_controller.hpp"

#include <QObject>

#include <memory>

namespace celvio {

class AppModel;
class CareSettings;
class MainWindow;

/// The running application around the model: the window, made when first needed (a start
/// in the background has none until asked), and the tray and reminders.
class AppShell : public QObject {
    Q_OBJECT

public:
    /// Opens the window at once unless `care.background`.
    AppShell(AppModel& model, CareSettings& settings, CareOptions care = {}, QObject* parent = nullptr);
    ~AppShell() override;

    /// Shows the window in front of the others, making it first when there is none.
    void openWindow();
    /// Absent until first opened.
    MainWindow* window() const { return window_.get(); }
    CareController& care() { return care_; }

private:
    AppModel& model_;
    CareController care_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace celvio
