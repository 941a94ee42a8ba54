#include "model/app_model.hpp"
#include "style/appearance.hpp"
#include "shell/main_window.hpp"
#include "shell/single_instance.hpp"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Celvio");
    QApplication::setApplicationName("Celvio");
    QApplication::setApplicationVersion(CELVIO_VERSION);

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
    celvio::MainWindow window(model);
    QObject::connect(&instance, &celvio::SingleInstance::activationRequested, &window,
                     &celvio::MainWindow::bringToFront);
    window.show();
    window.bringToFront();
    return QApplication::exec();
}
