#include "care/care_settings.hpp"
#include "celvio_version.hpp"
#include "model/app_model.hpp"
#include "shell/app_shell.hpp"
#include "shell/exit_after_show.hpp"
#include "shell/single_instance.hpp"
#include "style/appearance.hpp"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    celvio::exitAfterFirstShowWhenAsked(app);
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
