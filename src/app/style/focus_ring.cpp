#include "style/focus_ring.hpp"

#include "style/theme.hpp"

#include <QPainter>
#include <QPen>
#include <QWidget>

namespace celvio::FocusRing {
namespace {

constexpr double width = 1.5;

}  // namespace

void paint(QPainter& painter, const QWidget& widget, const QRectF& rect, double radius) {
    if (!widget.hasFocus()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Theme::amber(), width));
    const double inset = width / 2;
    painter.drawRoundedRect(rect.adjusted(inset, inset, -inset, -inset), radius, radius);
    painter.restore();
}

QString styleSheet(double radius) {
    return QStringLiteral("QPushButton:focus { border: %1px solid %2; border-radius: %3px; }")
        .arg(width)
        .arg(Theme::amber().name(QColor::HexRgb))
        .arg(radius);
}

}  // namespace celvio::FocusRing
