#include "widgets/spinner.hpp"

#include "style/theme.hpp"

#include <QPainter>
#include <QTimerEvent>

namespace celvio {
namespace {
constexpr int spokes = 8;
}

Spinner::Spinner(int side, QWidget* parent) : QWidget(parent), side_(side) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize Spinner::sizeHint() const { return {side_, side_}; }

void Spinner::showEvent(QShowEvent*) { timer_.start(100, this); }

void Spinner::hideEvent(QHideEvent*) { timer_.stop(); }

void Spinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) return QWidget::timerEvent(event);
    step_ = (step_ + 1) % spokes;
    update();
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const double radius = side_ / 2.0;
    for (int i = 0; i < spokes; ++i) {
        // The spoke at the current step is brightest; the ones behind it fade out.
        const int age = (step_ - i + spokes) % spokes;
        painter.setPen(QPen(Theme::withOpacity(Theme::cream(), 0.9 - age * 0.1), radius * 0.22, Qt::SolidLine,
                            Qt::RoundCap));
        painter.save();
        painter.rotate(i * 360.0 / spokes);
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
        painter.restore();
    }
}

}  // namespace celvio
