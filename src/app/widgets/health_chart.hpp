#pragma once

// Qt first: moc (6.4) fails on <concepts> when a core header brings it in before Qt's.
#include <QColor>
#include <QString>
#include <QWidget>

#include "history/health_trend.hpp"
#include "history/history_entry.hpp"

#include <cstdint>
#include <optional>
#include <vector>

QT_FORWARD_DECLARE_CLASS(QChart)

namespace celvio {

/// One line of the chart: a device's name, its entries in ascending date and, when it
/// has one, its health trend, drawn as a dashed continuation of the line.
struct HealthSeries {
    QString name;
    std::vector<HistoryEntry> entries;
    std::optional<HealthTrend> trend = std::nullopt;
};

/// The health axis's range over every entry of every series: 77 or the lowest value
/// minus 3 rounded down, to 102 or the highest value plus 2 rounded up.
struct HealthDomain {
    double lower = 77;
    double upper = 102;
    bool operator==(const HealthDomain&) const = default;
};
HealthDomain healthDomain(const std::vector<HealthSeries>& series);

/// The health axis's tick step: 1, 2 or 5 times a power of ten, the smallest that puts
/// no more than about three ticks on the domain. Ticks sit on its multiples.
double healthTickInterval(const HealthDomain& domain);

/// The date axis's range in milliseconds since the epoch.
struct DateSpan {
    double first = 0;
    double last = 0;
    bool operator==(const DateSpan&) const = default;
};
/// The first to the last entry of all series, widened by a day each way when they
/// coincide; a day either side of `nowMs` without entries.
DateSpan dateSpan(const std::vector<HealthSeries>& series, double nowMs);

/// Battery health over time, one smooth line with point marks per series in the
/// history palette (series i in colour i mod 5), and a dashed rule at 80 %. A series
/// with a trend goes on from its last point as a dashed line in its colour, to the 80 %
/// crossing or the right edge; the date axis then leaves room for it.
class HealthChart : public QWidget {
    Q_OBJECT

public:
    explicit HealthChart(std::vector<HealthSeries> series, QWidget* parent = nullptr);

    /// The chart the view shows: its series are each line, each line's point marks, its
    /// projection when it has a trend, and last the 80 % rule.
    QChart* chart() const noexcept { return chart_; }
    /// The colour of each series' line, in series order.
    std::vector<QColor> lineColours() const;

private:
    QChart* chart_;
};

}  // namespace celvio
