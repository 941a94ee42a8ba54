#include "widgets/icon_view.hpp"

#include <QPainter>

namespace celvio {

IconView::IconView(int side, QWidget* parent) : QWidget(parent), side_(side) { setFixedSize(sizeHint()); }

QSize IconView::sizeHint() const { return {side_, side_}; }

void IconView::setIcon(const QPixmap& icon) {
    icon_ = icon;
    update();
}

void IconView::paintEvent(QPaintEvent*) {
    if (icon_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QSizeF size = icon_.deviceIndependentSize();
    size.scale(QSizeF(rect().size()), Qt::KeepAspectRatio);
    QRectF target(QPointF(), size);
    target.moveCenter(QRectF(rect()).center());
    painter.drawPixmap(target, icon_, QRectF(icon_.rect()));
}

}  // namespace celvio
