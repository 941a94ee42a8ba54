#include "widgets/health_chart.hpp"

#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSplineSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace celvio {

namespace {

constexpr double dayMs = 24.0 * 60 * 60 * 1000;

double msecs(HistoryEntry::Date date) { return date.time_since_epoch().count() * 1000.0; }

/// Months for a long span; days when months would repeat on every tick.
QString dateLabelFormat(const DateSpan& span) { return span.last - span.first > 62 * dayMs ? "MMM yy" : "d MMM"; }

/// Where a series' projection would like to end: its 80 % crossing when health falls
/// towards it, else nowhere in particular (infinity).
double crossingMs(const HealthSeries& series) {
    const HistoryEntry& last = series.entries.back();
    const double perMs = series.trend->perMonth / (365.2425 / 12 * dayMs);
    if (perMs >= 0 || last.health() <= 80) return std::numeric_limits<double>::infinity();
    return msecs(last.date) + (80 - last.health()) / perMs;
}

/// The projection's end: the line from the last point along the trend, stopped at
/// `endMs` and kept between the health axis's ends, so it never leaves the plot area.
QPointF projectionEnd(const HealthSeries& series, double endMs, const HealthDomain& domain) {
    const HistoryEntry& last = series.entries.back();
    const double x0 = msecs(last.date);
    const double perMs = series.trend->perMonth / (365.2425 / 12 * dayMs);
    double x = std::max(x0, std::min(endMs, crossingMs(series)));
    double y = last.health() + perMs * (x - x0);
    if (perMs != 0 && (y < domain.lower || y > domain.upper)) {
        y = std::clamp(y, domain.lower, domain.upper);
        x = x0 + (y - last.health()) / perMs;
    }
    return {x, y};
}

}  // namespace

HealthDomain healthDomain(const std::vector<HealthSeries>& series) {
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();
    for (const HealthSeries& line : series) {
        for (const HistoryEntry& entry : line.entries) {
            lowest = std::min(lowest, entry.health());
            highest = std::max(highest, entry.health());
        }
    }
    HealthDomain domain;
    if (lowest <= 80) domain.lower = std::floor(lowest - 3);
    if (highest > 100) domain.upper = std::ceil(highest + 2);
    return domain;
}

double healthTickInterval(const HealthDomain& domain) {
    const double wanted = std::max(domain.upper - domain.lower, 1.0) / 3;
    double power = std::pow(10.0, std::floor(std::log10(wanted)));
    for (;;) {
        for (const double factor : {1.0, 2.0, 5.0}) {
            if (factor * power >= wanted) return factor * power;
        }
        power *= 10;
    }
}

DateSpan dateSpan(const std::vector<HealthSeries>& series, double nowMs) {
    double first = std::numeric_limits<double>::infinity();
    double last = -std::numeric_limits<double>::infinity();
    for (const HealthSeries& line : series) {
        if (line.entries.empty()) continue;
        // Entries are ascending, so the ends are enough.
        first = std::min(first, msecs(line.entries.front().date));
        last = std::max(last, msecs(line.entries.back().date));
    }
    if (first > last) first = last = nowMs;
    // The axis cannot map a zero-width range.
    if (first == last) return {first - dayMs, last + dayMs};
    return {first, last};
}

HealthChart::HealthChart(std::vector<HealthSeries> series, QWidget* parent) : QWidget(parent) {
    auto* view = new QChartView(this);
    chart_ = view->chart();
    view->setRenderHint(QPainter::Antialiasing);
    view->setFrameShape(QFrame::NoFrame);
    view->setBackgroundBrush(Qt::NoBrush);
    view->viewport()->setAutoFillBackground(false);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);

    chart_->setBackgroundVisible(false);
    chart_->setPlotAreaBackgroundVisible(false);
    chart_->setBackgroundRoundness(0);
    chart_->setMargins(QMargins(0, 2, 2, 0));
    chart_->layout()->setContentsMargins(0, 0, 0, 0);
    chart_->legend()->hide();

    const HealthDomain domain = healthDomain(series);
    const DateSpan span = dateSpan(series, static_cast<double>(QDateTime::currentMSecsSinceEpoch()));
    const QFont labelFont = TextStyle::font(8);

    // A little room either side, or the first and last marks are cut in half.
    const double room = (span.last - span.first) * 0.03;
    const double left = span.first - room;
    double right = span.last + room;
    // Room for the projections: to the latest 80 % crossing, at most a quarter of the
    // data's span further, so the measured part keeps most of the width.
    double projected = -std::numeric_limits<double>::infinity();
    for (const HealthSeries& line : series) {
        if (line.trend && !line.entries.empty())
            projected = std::max(projected, std::min(crossingMs(line), span.last + (span.last - span.first) / 4));
    }
    right = std::max(right, projected + room);
    auto* dates = new QDateTimeAxis(chart_);
    dates->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(left)),
                    QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(right)));
    dates->setTickCount(3);
    dates->setFormat(dateLabelFormat(span));
    dates->setLabelsFont(labelFont);
    dates->setLabelsColor(Theme::faint());
    dates->setGridLineVisible(false);
    dates->setLineVisible(false);
    chart_->addAxis(dates, Qt::AlignBottom);

    auto* health = new QValueAxis(chart_);
    health->setRange(domain.lower, domain.upper);
    health->setTickType(QValueAxis::TicksDynamic);
    health->setTickAnchor(0);
    health->setTickInterval(healthTickInterval(domain));
    health->setMinorTickCount(0);
    health->setLabelFormat("%.0f%%");
    health->setLabelsFont(labelFont);
    health->setLabelsColor(Theme::faint());
    health->setGridLinePen(QPen(Theme::white(0.06), 1));
    health->setLineVisible(false);
    chart_->addAxis(health, Qt::AlignLeft);

    const auto attach = [&](QXYSeries* added) {
        chart_->addSeries(added);
        added->attachAxis(dates);
        added->attachAxis(health);
    };

    for (std::size_t i = 0; i < series.size(); ++i) {
        const QColor colour = Theme::paletteColour(i);
        auto* line = new QSplineSeries(chart_);
        auto* marks = new QScatterSeries(chart_);
        line->setName(series[i].name);
        marks->setName(series[i].name);
        for (const HistoryEntry& entry : series[i].entries) {
            line->append(msecs(entry.date), entry.health());
            marks->append(msecs(entry.date), entry.health());
        }
        attach(line);
        attach(marks);
        // Adding a series applies the chart theme's colours, so ours come after.
        QPen pen(colour, 1.5);
        pen.setCapStyle(Qt::RoundCap);
        line->setPen(pen);
        marks->setMarkerShape(QScatterSeries::MarkerShapeCircle);
        marks->setMarkerSize(5);
        marks->setColor(colour);
        marks->setBorderColor(colour);

        if (!series[i].trend || series[i].entries.empty()) continue;
        auto* projection = new QLineSeries(chart_);
        projection->setName(series[i].name);
        const HistoryEntry& last = series[i].entries.back();
        projection->append(msecs(last.date), last.health());
        projection->append(projectionEnd(series[i], right, domain));
        attach(projection);
        QPen ahead(colour, 1.5);
        ahead.setDashPattern({2, 2});
        projection->setPen(ahead);
    }

    auto* rule = new QLineSeries(chart_);
    rule->append(left, 80);
    rule->append(right, 80);
    attach(rule);
    QPen dashed(Theme::withOpacity(Theme::orange(), 0.5), 1);
    dashed.setDashPattern({3, 3});
    rule->setPen(dashed);
}

std::vector<QColor> HealthChart::lineColours() const {
    std::vector<QColor> colours;
    for (QAbstractSeries* each : chart_->series()) {
        if (each->type() == QAbstractSeries::SeriesTypeSpline)
            colours.push_back(static_cast<QSplineSeries*>(each)->pen().color());
    }
    return colours;
}

}  // namespace celvio
