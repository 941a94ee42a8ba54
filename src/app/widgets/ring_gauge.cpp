#include "widgets/ring_gauge.hpp"

#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <QtMath>

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

namespace {

// The circle's path is 90 across and the stroke straddles it, so the ring reaches 4.5
// past that and its glow 4.5 further: the widget leaves room for both.
constexpr double diameter = 90, stroke = 9, glow = 4.5;
constexpr double side = diameter + stroke + 2 * glow;
/// Clearance between the text's ink and the inner edge of the ring.
constexpr double textMargin = 3;

struct TextLines {
    QFont value, caption;
    double top;  // of the value line, from the widget's top
};

/// The value at 18 px, or smaller when a wide font would reach the ring: every corner of
/// both lines' ink must lie inside the inner circle, less the margin. "100.0 %" fits too,
/// so the charge and health gauges beside each other show their values at one size.
TextLines fitText(const QString& value, const QString& caption) {
    const QString widest = QLocale().toString(100.0, 'f', 1) + " %";
    const QFont captionFont = TextStyle::spaced(TextStyle::font(8, QFont::DemiBold), 1);
    const QFontMetricsF captionMetrics(captionFont);
    const double limit = diameter / 2 - stroke / 2 - textMargin;
    for (double size = 18;; size -= 1) {
        const QFont valueFont = TextStyle::font(size, QFont::Bold);
        const QFontMetricsF valueMetrics(valueFont);
        const double top = (side - valueMetrics.height() - captionMetrics.height()) / 2;
        const auto fits = [&](const QFontMetricsF& metrics, const QString& text, double baseline) {
            const QRectF ink = metrics.tightBoundingRect(text);
            const double advance = metrics.horizontalAdvance(text);
            const double halfWidth = std::max(advance / 2 - ink.left(), ink.right() - advance / 2);
            for (const double y : {baseline + ink.top(), baseline + ink.bottom()}) {
                const double dy = y - side / 2;
                if (halfWidth * halfWidth + dy * dy > limit * limit) return false;
            }
            return true;
        };
        const double baseline = top + valueMetrics.ascent();
        if (size <= 10 || (fits(valueMetrics, value, baseline) && fits(valueMetrics, widest, baseline) &&
                           fits(captionMetrics, caption, top + valueMetrics.height() + captionMetrics.ascent())))
            return {valueFont, captionFont, top};
    }
}

}  // namespace

RingGauge::RingGauge(QWidget* parent) : QWidget(parent) { setFixedSize(sizeHint()); }

QSize RingGauge::sizeHint() const { return {qCeil(side), qCeil(side)}; }

void RingGauge::set(double fraction, const QColor& tint, const QString& value, const QString& caption) {
    if (fraction_ == fraction && tint_ == tint && value_ == value && caption_ == caption) return;
    fraction_ = fraction;
    tint_ = tint;
    value_ = value;
    caption_ = caption;
    setAccessibleName(caption + " " + value);
    update();
}

void RingGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF box(0, 0, side, side);
    const double ring = glow;  // the ring's outer edge
    RingPainter::paint(painter, box.adjusted(ring, ring, -ring, -ring), fraction_, tint_, stroke, Theme::white(0.07),
                       true);

    painter.setRenderHint(QPainter::TextAntialiasing);
    const QString caption = caption_.toUpper();
    const TextLines lines = fitText(value_, caption);
    const QFontMetricsF valueMetrics(lines.value), captionMetrics(lines.caption);
    painter.setFont(lines.value);
    painter.setPen(Theme::cream());
    painter.drawText(QRectF(0, lines.top, side, valueMetrics.height()), Qt::AlignHCenter | Qt::AlignTop, value_);
    painter.setFont(lines.caption);
    painter.setPen(Theme::muted());
    painter.drawText(QRectF(0, lines.top + valueMetrics.height(), side, captionMetrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, caption);
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
