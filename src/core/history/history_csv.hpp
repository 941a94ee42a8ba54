#pragma once

#include "history/history_entry.hpp"

#include <string>
#include <vector>

namespace celvio {

/// The header line "date;device;model;serial;cycles;full_charge_capacity_mAh;
/// design_capacity_mAh;health_percent;os;source" and one line per entry, in the given
/// order, joined by line feeds with none after the last. Fields are not quoted: every ";"
/// inside a field becomes ",". Health is "%.1f" with a point in every locale.
std::string historyCSV(const std::vector<HistoryEntry>& entries);

}  // namespace celvio
