#pragma once

#include <QRectF>
#include <QString>

class QPainter;
class QWidget;

/// The keyboard-focus mark every control of the window shares: the platform's ring is
/// drawn for a light bezel and vanishes on the dark gradient, so ours is an amber outline.
namespace celvio::FocusRing {

/// Draws the mark inside `rect` with `radius` corners while `widget` has focus. Controls
/// take Qt::TabFocus, so a click leaves no mark: the pointer already says what it hit.
void paint(QPainter& painter, const QWidget& widget, const QRectF& rect, double radius);

/// The same mark as a style-sheet rule for the QPushButton-based controls, with `radius` corners.
QString styleSheet(double radius);

}  // namespace celvio::FocusRing
