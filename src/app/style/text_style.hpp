#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

/// Fonts and labels in the views' sizes. Sizes are device-independent pixels, which is
/// what the layout's points are, so fonts never go through point sizes.
namespace celvio::TextStyle {

/// The system font at `pixelSize` with `weight`.
QFont font(double pixelSize, QFont::Weight weight = QFont::Normal);
/// The system's fixed-pitch font at `pixelSize`.
QFont monospace(double pixelSize);
/// `font` with extra space between letters, in pixels.
QFont spaced(QFont font, double letterSpacing);

/// Sets the colour `widget` draws its text (and a label its glyphs) in.
void setTextColour(QWidget* widget, const QColor& colour);

/// A one-line label.
QLabel* label(const QString& text, double pixelSize, QFont::Weight weight, const QColor& colour,
              QWidget* parent = nullptr);

}  // namespace celvio::TextStyle
