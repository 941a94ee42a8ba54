#pragma once

// Qt first: moc (6.4) fails on <concepts> when a core header brings it in before Qt's.
#include <QString>
#include <QWidget>

#include "history/health_trend.hpp"
#include "history/history_entry.hpp"

#include <optional>
#include <vector>

namespace celvio {

/// One line of the chart: a device's name, its entries in ascending date and, when it
/// has one, its health trend, drawn as a dashed continuation of the line.
struct HealthSeries {
    QString name;
    std::vector<HistoryEntry> entries;
    std::optional<HealthTrend> trend = std::nullopt;
};

/// Battery health over time, one smooth line with point marks per series in the
/// history palette (series i in colour i mod 5), and a dashed rule at 80 %. A series
/// with a trend goes on from its last point as a dashed line in its colour, to the 80 %
/// crossing or the right edge; the date axis then leaves room for it.
///
/// The health axis runs from 77 (or a lowest value of at most 80 minus 3, rounded down)
/// to 102 (or a highest value above 100 plus 2, rounded up), with at least 4 % of that
/// range beyond either extreme, so every mark shows whole, with a tick step of 1, 2 or 5 times a power of ten. The date
/// axis spans at least three days, so its three labels name distinct days, or months
/// with their year once the ticks lie more than a month apart.
class HealthChart : public QWidget {
    Q_OBJECT

public:
    /// The chart's series are each line, each line's point marks, its projection when it
    /// has a trend, and last the 80 % rule.
    explicit HealthChart(std::vector<HealthSeries> series, QWidget* parent = nullptr);
};

}  // namespace celvio
