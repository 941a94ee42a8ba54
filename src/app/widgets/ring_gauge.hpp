#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;

namespace celvio {

/// The ring of the gauges: a track circle and an arc from the top, clockwise over
/// `fraction` (clamped to 0.001…1) with round caps, both stroked `lineWidth` wide
/// inside `box`.
struct RingPainter {
    static void paint(QPainter& painter, const QRectF& box, double fraction, const QColor& tint, double lineWidth,
                      const QColor& track, bool glow);
};

/// The charge or health gauge: a ring 90 across with a glow in its tint, the value and
/// the caption in capitals inside it; the widget is as large as ring and glow. The
/// accessible name reads caption and value ("Charge 57 %").
class RingGauge : public QWidget {
    Q_OBJECT

public:
    explicit RingGauge(QWidget* parent = nullptr);

    /// `fraction` 0…1 of the ring in `tint`; repaints only on a change.
    void set(double fraction, const QColor& tint, const QString& value, const QString& caption);

    double fraction() const noexcept { return fraction_; }
    const QColor& tint() const noexcept { return tint_; }
    const QString& value() const noexcept { return value_; }
    const QString& caption() const noexcept { return caption_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double fraction_ = 0;
    QColor tint_;
    QString value_;
    QString caption_;
};

/// The strip's small ring around a device icon; no text.
class MiniRing : public QWidget {
    Q_OBJECT

public:
    enum class Style { arc, empty, dashed };

    explicit MiniRing(QWidget* parent = nullptr);

    /// A charge arc in `tint`.
    void setArc(double fraction, const QColor& tint);
    /// No charge: a solid outline, or a dashed fainter one for the placeholder.
    void setEmpty(bool dashed);

    Style style() const noexcept { return style_; }
    const QColor& tint() const noexcept { return tint_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style style_ = Style::empty;
    double fraction_ = 0;
    QColor tint_;
};

}  // namespace celvio
