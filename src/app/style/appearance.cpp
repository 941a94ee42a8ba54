#include "style/appearance.hpp"

#include "style/theme.hpp"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollArea>
#include <QPalette>
#include <QStyleFactory>

namespace celvio {

void useDarkAppearance(QApplication& app) {
    app.setStyle(QStyleFactory::create("Fusion"));
    QPalette palette;
    const QColor window = Theme::backgroundTop(), base(0x2a, 0x22, 0x1d), text = Theme::cream(),
                 amber = Theme::amber();
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
    palette.setColor(QPalette::PlaceholderText, Theme::faint());
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        palette.setColor(QPalette::Disabled, role, Theme::faint());
    // Fusion engraves disabled text with Light, one pixel down and right: white on this dark
    // palette, which made a disabled item brighter than an enabled one.
    palette.setColor(QPalette::Disabled, QPalette::Light, Qt::transparent);
    app.setPalette(palette);
    // Slim scroll bars that leave the narrow window its width.
    app.setStyleSheet(
        "QScrollBar:vertical { background: transparent; width: 6px; margin: 0; }"
        "QScrollBar::handle:vertical { background: rgba(246, 237, 226, 60); border-radius: 3px; min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }");
}

void paintBackground(QPainter& painter, const QRect& area) {
    QLinearGradient gradient(area.topLeft(), area.bottomLeft());
    gradient.setColorAt(0, Theme::backgroundTop());
    gradient.setColorAt(1, Theme::backgroundBottom());
    painter.fillRect(area, gradient);
}

QScrollArea* transparentScrollArea(QWidget* content, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(true);
    area->viewport()->setAutoFillBackground(false);
    area->setWidget(content);
    // setWidget turns the content's fill on, which would lay a flat rectangle over the gradient.
    content->setAutoFillBackground(false);
    area->setStyleSheet("QScrollArea { background: transparent; }");
    return area;
}

}  // namespace celvio
