#include "history/history_grouping.hpp"

#include "reading/device_catalog.hpp"
#include "history/local_calendar.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace celvio {
namespace {

std::string titleOf(const HistoryEntry& latest) {
    const auto marketing = DeviceCatalog::marketingName(latest.modelIdentifier);
    return latest.deviceName + " (" + (marketing ? *marketing : latest.modelIdentifier) + ")";
}

std::vector<HistoryDeviceGroup::Period> periodsOf(const std::vector<HistoryEntry>& entries,
                                                  LocalCalendar::Months& months) {
    struct Month {
        int number;
        double healthSum;
        std::size_t count;
        std::int64_t cycles;
    };
    std::vector<Month> found;
    for (const auto& entry : entries) {
        const int number = months.month(entry.date);
        // Entries come in date order, so a month is almost always the last one seen.
        auto month =
            !found.empty() && found.back().number == number
                ? found.end() - 1
                : std::find_if(found.begin(), found.end(), [number](const Month& m) { return m.number == number; });
        if (month == found.end()) {
            found.push_back({number, 0.0, 0, entry.cycleCount});
            month = found.end() - 1;
        }
        month->healthSum += entry.health();
        ++month->count;
        month->cycles = std::max(month->cycles, entry.cycleCount);
    }
    // Month numbers order like their "yyyy-MM" labels.
    std::stable_sort(found.begin(), found.end(), [](const Month& a, const Month& b) { return a.number < b.number; });
    std::vector<HistoryDeviceGroup::Period> periods;
    periods.reserve(found.size());
    for (const auto& month : found)
        periods.push_back({LocalCalendar::Months::label(month.number),
                           month.healthSum / static_cast<double>(month.count), month.cycles});
    return periods;
}

}  // namespace

std::vector<HistoryDeviceGroup> groupHistory(const std::vector<HistoryEntry>& entries) {
    // Buckets in order of first appearance, so equal-dated groups come out the same way
    // every time.
    std::vector<HistoryDeviceGroup> groups;
    std::vector<std::size_t> bucket(entries.size());
    std::vector<std::size_t> sizes;
    std::unordered_map<std::string_view, std::size_t> bucketOf;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto [at, added] = bucketOf.try_emplace(entries[i].deviceSerial, groups.size());
        if (added) {
            groups.emplace_back();
            groups.back().serial = entries[i].deviceSerial;
            sizes.push_back(0);
        }
        bucket[i] = at->second;
        ++sizes[at->second];
    }
    // Sized first: growing the lists copies a long history several times over.
    for (std::size_t g = 0; g < groups.size(); ++g) groups[g].entries.reserve(sizes[g]);
    for (std::size_t i = 0; i < entries.size(); ++i) groups[bucket[i]].entries.push_back(entries[i]);

    LocalCalendar::Months months;
    const auto byDate = [](const HistoryEntry& a, const HistoryEntry& b) { return a.date < b.date; };
    for (auto& group : groups) {
        if (!std::is_sorted(group.entries.begin(), group.entries.end(), byDate))
            std::stable_sort(group.entries.begin(), group.entries.end(), byDate);
        const HistoryEntry& latest = group.entries.back();
        group.title = titleOf(latest);
        group.kind = latest.kind;
        group.modelIdentifier = latest.modelIdentifier;
        group.periods = periodsOf(group.entries, months);
    }

    std::stable_sort(groups.begin(), groups.end(), [](const HistoryDeviceGroup& a, const HistoryDeviceGroup& b) {
        if (a.kind != b.kind) return a.kind == HistoryEntry::Kind::mac;
        return a.entries.back().date > b.entries.back().date;
    });
    return groups;
}

}  // namespace celvio
