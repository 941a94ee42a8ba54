#include "widgets/ring_gauge.hpp"

#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace celvio {

void RingPainter::paint(QPainter& painter, const QRectF& box, double fraction, const QColor& tint, double lineWidth,
                        const QColor& track, bool glow) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = box.adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(track, lineWidth));
    painter.drawEllipse(circle);

    // Qt's angles run counter-clockwise from three o'clock in sixteenths of a degree.
    const int span = -qRound(std::clamp(fraction, 0.001, 1.0) * 360.0 * 16.0);
    if (glow) {
        // A soft shadow in the tint: wider, fainter strokes under the arc.
        for (int step = 3; step >= 1; --step) {
            painter.setPen(QPen(Theme::withOpacity(tint, 0.4 / (step + 1)), lineWidth + step * 3.0, Qt::SolidLine,
                                Qt::RoundCap));
            painter.drawArc(circle, 90 * 16, span);
        }
    }
    painter.setPen(QPen(tint, lineWidth, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(circle, 90 * 16, span);
    painter.restore();
}

RingGauge::RingGauge(QWidget* parent) : QWidget(parent) { setFixedSize(sizeHint()); }

QSize RingGauge::sizeHint() const { return {90, 90}; }

void RingGauge::set(double fraction, const QColor& tint, const QString& value, const QString& caption) {
    if (fraction_ == fraction && tint_ == tint && value_ == value && caption_ == caption) return;
    fraction_ = fraction;
    tint_ = tint;
    value_ = value;
    caption_ = caption;
    update();
}

void RingGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF box(0, 0, 90, 90);
    RingPainter::paint(painter, box.adjusted(4, 4, -4, -4), fraction_, tint_, 9, Theme::white(0.07), true);

    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont valueFont = TextStyle::font(18, QFont::Bold);
    const QFont captionFont = TextStyle::spaced(TextStyle::font(8, QFont::DemiBold), 1);
    const QFontMetricsF valueMetrics(valueFont), captionMetrics(captionFont);
    const double total = valueMetrics.height() + captionMetrics.height();
    const double top = (box.height() - total) / 2;
    painter.setFont(valueFont);
    painter.setPen(Theme::cream());
    painter.drawText(QRectF(0, top, box.width(), valueMetrics.height()), Qt::AlignCenter, value_);
    painter.setFont(captionFont);
    painter.setPen(Theme::muted());
    painter.drawText(QRectF(0, top + valueMetrics.height(), box.width(), captionMetrics.height()), Qt::AlignCenter,
                     caption_.toUpper());
}

MiniRing::MiniRing(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize MiniRing::sizeHint() const { return {38, 38}; }

void MiniRing::setArc(double fraction, const QColor& tint) {
    style_ = Style::arc;
    fraction_ = fraction;
    tint_ = tint;
    update();
}

void MiniRing::setEmpty(bool dashed) {
    style_ = dashed ? Style::dashed : Style::empty;
    tint_ = QColor();
    update();
}

void MiniRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (style_ == Style::arc) {
        RingPainter::paint(painter, box, fraction_, tint_, 2.5, Theme::white(0.08), false);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    QPen outline(style_ == Style::dashed ? Theme::white(0.06) : Theme::white(0.1), 1.5);
    // Dash lengths are in units of the pen's width: 3 px on, 3 px off.
    if (style_ == Style::dashed) outline.setDashPattern({2.0, 2.0});
    painter.setPen(outline);
    painter.drawEllipse(box.adjusted(0.75, 0.75, -0.75, -0.75));
}

}  // namespace celvio
