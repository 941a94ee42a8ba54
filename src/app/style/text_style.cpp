#include "style/text_style.hpp"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPalette>

namespace celvio::TextStyle {

QFont font(double pixelSize, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(qRound(pixelSize));
    font.setWeight(weight);
    return font;
}

QFont monospace(double pixelSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(qRound(pixelSize));
    return font;
}

QFont spaced(QFont font, double letterSpacing) {
    font.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, colour);
    widget->setPalette(palette);
}

QLabel* label(const QString& text, double pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font(pixelSize, weight));
    setTextColour(label, colour);
    return label;
}

}  // namespace celvio::TextStyle
