#include "widgets/icon_button.hpp"

#include "style/focus_ring.hpp"
#include "style/symbols.hpp"
#include "style/theme.hpp"

#include <QKeyEvent>
#include <QPainter>

namespace celvio {

IconButton::IconButton(std::string symbol, const QString& help, QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)) {
    setToolTip(help);
    setAccessibleName(help);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
}

QSize IconButton::sizeHint() const { return {24, 24}; }

void IconButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isDown() ? Theme::white(0.16) : Theme::white(0.08));
    painter.drawEllipse(QRectF(rect()));
    painter.setPen(Theme::cream());
    painter.setFont(Symbols::font(12));  // the glyph's box; the drawn symbol is about 10 px
    painter.drawText(rect(), Qt::AlignCenter, Symbols::glyph(symbol_));
    FocusRing::paint(painter, *this, QRectF(rect()), height() / 2.0);
}

void IconButton::keyPressEvent(QKeyEvent* event) {
    if (!FocusRing::clickOnReturn(*this, *event)) QAbstractButton::keyPressEvent(event);
}

bool IconButton::hitButton(const QPoint& position) const {
    const QPointF centre = QRectF(rect()).center();
    const QPointF d = QPointF(position) - centre;
    return d.x() * d.x() + d.y() * d.y() <= 12.0 * 12.0;
}

}  // namespace celvio
