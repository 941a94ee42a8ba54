#include "care/care_settings.hpp"
#include "celvio_version.hpp"
#include "model/app_model.hpp"
#include "shell/app_shell.hpp"
#include "shell/single_instance.hpp"
#include "style/appearance.hpp"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

/// With CELVIO_EXIT_AFTER_SHOW set (bench/startup.sh), prints the wall-clock time in
/// milliseconds once the first window has been exposed and drawn, and quits.
class ExitAfterShow : public QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched->isWindowType() && static_cast<QWindow*>(watched)->isExposed()) {
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

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ExitAfterShow exitAfterShow;
    if (qEnvironmentVariableIsSet("CELVIO_EXIT_AFTER_SHOW")) app.installEventFilter(&exitAfterShow);
    QApplication::setOrganizationName("Celvio");
    QApplication::setApplicationName("Celvio");
    QApplication::setApplicationVersion(celvio::kVersion);
    // Lets a Wayland desktop match the window with celvio.desktop and its icon.
    QGuiApplication::setDesktopFileName("celvio");

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({"background", "Start without a window: in the tray, recording as usual."});
    parser.process(app);

    // Before the model opens the history file, so two processes never write it both.
    celvio::SingleInstance instance;
    if (!instance.claim()) {
        if (instance.activateRunning()) {
            std::fputs("celvio: already running; its window was brought to the front\n", stderr);
            return 0;
        }
        std::fputs("celvio: another instance holds the lock but did not answer\n", stderr);
        return 1;
    }

    celvio::useDarkAppearance(app);
    celvio::AppModel model;
    celvio::CareSettings settings;
    celvio::AppShell shell(model, settings, {.background = parser.isSet("background")});
    QObject::connect(&instance, &celvio::SingleInstance::activationRequested, &shell, &celvio::AppShell::openWindow);
    return QApplication::exec();
}
