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

/// The health axis's range.
struct HealthDomain {
    double lower = 77;
    double upper = 102;
};

double msecs(HistoryEntry::Date date) { return date.time_since_epoch().count() * 1000.0; }

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
    // Three points of room are too few for a whole mark on a tall range (0 % on a
    // 100-pixel chart): at least 4 % of the range either side.
    const double pad = (domain.upper - domain.lower) * 0.04;
    domain.lower = std::min(domain.lower, std::floor(lowest - pad));
    domain.upper = std::max(domain.upper, std::ceil(highest + pad));
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

/// The date axis: the entries and the projections, with a little room either side so
/// the first and last marks are not cut in half.
struct DateAxis {
    double left = 0;
    double right = 0;
    QString format;
};

DateAxis dateAxis(const std::vector<HealthSeries>& series, double nowMs) {
    double first = std::numeric_limits<double>::infinity();
    double last = -std::numeric_limits<double>::infinity();
    for (const HealthSeries& line : series) {
        if (line.entries.empty()) continue;
        // Entries are ascending, so the ends are enough.
        first = std::min(first, msecs(line.entries.front().date));
        last = std::max(last, msecs(line.entries.back().date));
    }
    if (first > last) first = last = nowMs;
    // Room for the projections: to the latest 80 % crossing, at most a quarter of the
    // data's span further, so the measured part keeps most of the width.
    double end = last;
    for (const HealthSeries& line : series) {
        if (line.trend && !line.entries.empty())
            end = std::max(end, std::min(crossingMs(line), last + (last - first) / 4));
    }
    // Three days at least, growing into the past: measurements moments apart (every
    // device at the first start) get an axis at all, and ticks a day and a half apart
    // never share a date, not even across a daylight-saving change.
    const double width = std::max(end - first, 3 * dayMs);
    const double room = width * 0.03;
    DateAxis axis{end - width - room, end + room, {}};
    // Months once every tick lies in a month of its own: more than the longest month and
    // an hour apart. With the year in full: "Mar 26" reads as a day.
    axis.format = (axis.right - axis.left) / 2 > 32 * dayMs ? "MMM yyyy" : "d MMM";
    return axis;
}

}  // namespace

HealthChart::HealthChart(std::vector<HealthSeries> series, QWidget* parent) : QWidget(parent) {
    auto* view = new QChartView(this);
    QChart* chart = view->chart();
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::NoFocus);  // nothing in it to operate
    view->setFrameShape(QFrame::NoFrame);
    view->setBackgroundBrush(Qt::NoBrush);
    view->viewport()->setAutoFillBackground(false);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);

    chart->setBackgroundVisible(false);
    chart->setPlotAreaBackgroundVisible(false);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(0, 2, 2, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->legend()->hide();

    const HealthDomain domain = healthDomain(series);
    const DateAxis axis = dateAxis(series, static_cast<double>(QDateTime::currentMSecsSinceEpoch()));
    const double left = axis.left;
    const double right = axis.right;
    const QFont labelFont = TextStyle::font(8);

    auto* dates = new QDateTimeAxis(chart);
    // Outwards: rounding towards the data would put a mark on the edge, or beyond it.
    dates->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(left))),
                    QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::ceil(right))));
    dates->setTickCount(3);
    dates->setFormat(axis.format);
    dates->setLabelsFont(labelFont);
    dates->setLabelsColor(Theme::faint());
    dates->setGridLineVisible(false);
    dates->setLineVisible(false);
    chart->addAxis(dates, Qt::AlignBottom);

    auto* health = new QValueAxis(chart);
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
    chart->addAxis(health, Qt::AlignLeft);

    const auto attach = [&](QXYSeries* added) {
        chart->addSeries(added);
        added->attachAxis(dates);
        added->attachAxis(health);
    };

    for (std::size_t i = 0; i < series.size(); ++i) {
        const QColor colour = Theme::paletteColour(i);
        auto* line = new QSplineSeries(chart);
        auto* marks = new QScatterSeries(chart);
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
        auto* projection = new QLineSeries(chart);
        projection->setName(series[i].name);
        const HistoryEntry& last = series[i].entries.back();
        projection->append(msecs(last.date), last.health());
        projection->append(projectionEnd(series[i], right, domain));
        attach(projection);
        QPen ahead(colour, 1.5);
        ahead.setDashPattern({2, 2});
        projection->setPen(ahead);
    }

    auto* rule = new QLineSeries(chart);
    rule->append(left, 80);
    rule->append(right, 80);
    attach(rule);
    QPen dashed(Theme::withOpacity(Theme::orange(), 0.5), 1);
    dashed.setDashPattern({3, 3});
    rule->setPen(dashed);
}

}  // namespace celvio
