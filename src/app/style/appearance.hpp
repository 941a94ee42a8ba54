#pragma once

class QApplication;
class QPainter;
class QRect;
class QScrollArea;
class QWidget;

namespace celvio {

/// The window is always dark, whatever the desktop's theme: the Fusion style with a
/// palette from the theme's colours, amber as the tint of every control.
void useDarkAppearance(QApplication& app);

/// The window's and the sheets' background: the vertical gradient of the theme.
void paintBackground(QPainter& painter, const QRect& area);

/// A vertical scroll area showing the background through: no frame, no fill of its own,
/// no horizontal bar. Takes ownership of `content`.
QScrollArea* transparentScrollArea(QWidget* content, QWidget* parent);

}  // namespace celvio
