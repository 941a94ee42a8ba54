#pragma once

#include "history/history_entry.hpp"

#include <ctime>
#include <optional>
#include <string>

/// Calendar days and months in the process's time zone (TZ, else the system's zone).
namespace celvio::LocalCalendar {

/// Whether both dates fall on the same local calendar day. False when either lies
/// outside what the C library can convert.
bool sameDay(HistoryEntry::Date a, HistoryEntry::Date b) noexcept;

/// Turns dates into local calendar months, remembering the last month's bounds so
/// dates in time order cost one conversion per month rather than one per date.
class Months {
public:
    /// The local month of `date` as year * 12 + month - 1 (0 for January of year 0);
    /// -1 for a date the C library cannot convert.
    int month(HistoryEntry::Date date) noexcept;

    /// "yyyy-MM" for a month number of `month`; "0000-00" for -1.
    static std::string label(int month);

private:
    std::time_t start_ = 1;  // [start_, end_) is surely in month_; empty at first
    std::time_t end_ = 0;
    int month_ = -1;
};

}  // namespace celvio::LocalCalendar
