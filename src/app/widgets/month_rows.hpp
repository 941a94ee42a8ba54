#pragma once

// Qt first: moc (6.4) fails on <concepts> when a core header brings it in before Qt's.
#include <QWidget>

#include "history/history_grouping.hpp"

#include <vector>

namespace celvio {

/// A device's months, newest first: label, average health tinted by the health rule,
/// highest cycle count; zebra-striped from the newest month.
///
/// Each month row is a child named "monthRow" with the property "index" (0 for the
/// newest) and labels named "monthLabel", "monthHealth" and "monthCycles".
class MonthRows : public QWidget {
    Q_OBJECT

public:
    /// `periods` in ascending month order.
    explicit MonthRows(const std::vector<HistoryDeviceGroup::Period>& periods, QWidget* parent = nullptr);
};

}  // namespace celvio
