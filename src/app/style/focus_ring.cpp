#include "style/focus_ring.hpp"

#include "style/theme.hpp"

#include <QAbstractButton>
#include <QKeyEvent>
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

bool clickOnReturn(QAbstractButton& button, const QKeyEvent& event) {
    if (event.key() != Qt::Key_Return && event.key() != Qt::Key_Enter) return false;
    button.click();
    return true;
}

}  // namespace celvio::FocusRing
