#pragma once

#include <QApplication>
#include <QDateTime>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace celvio {

/// With CELVIO_EXIT_AFTER_SHOW set (bench/startup.sh), prints the wall-clock time in
/// milliseconds once the first window has been exposed and drawn, and quits. Header-only,
/// so the benchmark's minimal window measures itself the same way.
inline void exitAfterFirstShowWhenAsked(QApplication& app) {
    class ExitAfterShow : public QObject {
    public:
        using QObject::QObject;

    private:
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Expose && watched->isWindowType() &&
                static_cast<QWindow*>(watched)->isExposed()) {
                qApp->removeEventFilter(this);
                // After the expose's own paint.
                QTimer::singleShot(0, qApp, [] {
                    std::printf("%lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
                    std::fflush(stdout);
                    QCoreApplication::quit();
                });
            }
            return false;
        }
    };
    if (qEnvironmentVariableIsSet("CELVIO_EXIT_AFTER_SHOW")) app.installEventFilter(new ExitAfterShow(&app));
}

}  // namespace celvio
