#pragma once

#include "history/history_entry.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace celvio {

/// The history of one device as the history panel shows it. Identified by `serial`.
struct HistoryDeviceGroup {
    /// One local calendar month of the device's measurements. Identified by `label`.
    struct Period {
        std::string label;     ///< "yyyy-MM" in local time
        double averageHealth;  ///< percent, the mean of the month's entries' health
        std::int64_t cycles;   ///< the month's highest cycle count

        const std::string& id() const noexcept { return label; }
        bool operator==(const Period&) const = default;
    };

    std::string serial;
    /// "<latest name> (<marketing name, or the model identifier when none is known>)"
    std::string title;
    HistoryEntry::Kind kind;            ///< of the latest entry
    std::string modelIdentifier;        ///< of the latest entry
    std::vector<HistoryEntry> entries;  ///< ascending date
    std::vector<Period> periods;        ///< ascending month

    const std::string& id() const noexcept { return serial; }
    bool operator==(const HistoryDeviceGroup&) const = default;
};

/// One group per device serial: the computer's groups first, then the most recently
/// measured devices first. Months are local calendar months of the process's time zone.
std::vector<HistoryDeviceGroup> groupHistory(const std::vector<HistoryEntry>& entries);

}  // namespace celvio
