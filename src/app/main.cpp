#include "app_model.hpp"
#include "main_window.hpp"
#include "single_instance.hpp"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include <cstdio>

namespace {

/// The window is always dark, whatever the desktop's theme.
void useDarkAppearance(QApplication& app) {
    app.setStyle(QStyleFactory::create("Fusion"));
    QPalette palette;
    const QColor window(0x1c, 0x1b, 0x1a), base(0x26, 0x25, 0x23), text(0xf2, 0xee, 0xe6), amber(0xf5, 0xa6, 0x23);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, base);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Highlight, amber);
    palette.setColor(QPalette::HighlightedText, window);
    palette.setColor(QPalette::Link, amber);
    palette.setColor(QPalette::PlaceholderText, text.darker(160));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, text.darker(200));
    app.setPalette(palette);
}

}  // namespace

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

    useDarkAppearance(app);
    celvio::AppModel model;
    celvio::MainWindow window(model);
    QObject::connect(&instance, &celvio::SingleInstance::activationRequested, &window,
                     &celvio::MainWindow::bringToFront);
    window.show();
    window.bringToFront();
    return QApplication::exec();
}
