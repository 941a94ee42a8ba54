#pragma once

#include <QRectF>

class QAbstractButton;
class QKeyEvent;
class QPainter;
class QWidget;

/// What every focusable control of the window shares: the focus mark (the platform's ring is
/// drawn for a light bezel and vanishes on the dark gradient, so ours is an amber outline)
/// and the keys that press it.
namespace celvio::FocusRing {

/// Draws the mark inside `rect` with `radius` corners while `widget` has focus. Controls
/// take Qt::TabFocus, so a click leaves no mark: the pointer already says what it hit.
void paint(QPainter& painter, const QWidget& widget, const QRectF& rect, double radius);

/// Return and Enter click `button` as Space does: a control that takes focus answers all
/// three. False for any other key.
bool clickOnReturn(QAbstractButton& button, const QKeyEvent& event);

}  // namespace celvio::FocusRing
