#include "shell/app_shell.hpp"

#include "shell/main_window.hpp"

#include <QCoreApplication>

namespace celvio {

AppShell::AppShell(AppModel& model, CareSettings& settings, CareOptions care, QObject* parent)
    : QObject(parent), model_(model), care_(model, settings, care) {
    connect(&care_, &CareController::openRequested, this, &AppShell::openWindow);
    connect(&care_, &CareController::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    if (!care.background) openWindow();
}

AppShell::~AppShell() = default;

void AppShell::openWindow() {
    if (!window_) {
        window_ = std::make_unique<MainWindow>(model_);
        connect(window_.get(), &MainWindow::settingsRequested, &care_, &CareController::showSettings);
    }
    window_->bringToFront();
}

}  // namespace celvio
