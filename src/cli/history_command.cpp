// celvio-cli history and import-coconut: the stored history and the coconutBattery import.

#include "commands.hpp"

#include "base/celvio_error.hpp"
#include "display/error_text.hpp"
#include "history/health_trend.hpp"
#include "history/history_csv.hpp"
#include "history/history_grouping.hpp"
#include "history/history_store.hpp"

#include "arguments.hpp"
#include "json_text.hpp"
#include "terminal_text.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace celvio::cli {
namespace {

using nlohmann::json;

/// The history file --file names, or absent for the default one.
std::optional<std::filesystem::path> fileOption(const Arguments& arguments) {
    if (const auto file = arguments.value("--file")) return std::filesystem::path(*file);
    return std::nullopt;
}

std::optional<HealthTrend> trendOf(const HistoryDeviceGroup& group) {
    return healthTrend(group, std::chrono::system_clock::now());
}

json toJSON(const HistoryDeviceGroup& group) {
    const auto trend = trendOf(group);
    json periods = json::array();
    for (const auto& period : group.periods)
        periods.push_back(
            {{"label", period.label}, {"averageHealth", period.averageHealth}, {"cycles", period.cycles}});
    return {
        {"serial", group.serial},
        {"title", group.title},
        {"kind", rawValue(group.kind)},
        {"modelIdentifier", group.modelIdentifier},
        {"entryCount", group.entries.size()},
        {"latest", internetDateText(group.entries.back().date)},
        {"periods", periods},
        // Three decimals: the fit's last digits move with the clock and say nothing.
        {"trendPerMonth", trend ? json(std::round(trend->perMonth * 1000) / 1000) : json(nullptr)},
        {"reaches80", trend && trend->reaches80 ? json(yearMonthText(*trend->reaches80)) : json(nullptr)},
    };
}

void printGroups(const std::vector<HistoryDeviceGroup>& groups) {
    if (groups.empty()) {
        std::printf("No measurements.\n");
        return;
    }
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const auto& group = groups[i];
        if (i > 0) std::printf("\n");
        std::printf("%s\n", visible(group.title).c_str());
        if (const auto trend = trendOf(group)) std::printf("  trend: %s\n", healthTrendText(*trend).c_str());
        std::printf("  serial %s, %s, %zu %s, latest %s\n", visible(group.serial).c_str(),
                    std::string(rawValue(group.kind)).c_str(), group.entries.size(),
                    group.entries.size() == 1 ? "measurement" : "measurements",
                    internetDateText(group.entries.back().date).c_str());
        for (const auto& period : group.periods)
            std::printf("  %s  %5.1f %%  %lld cycles\n", period.label.c_str(), period.averageHealth,
                        static_cast<long long>(period.cycles));
    }
}

}  // namespace

int history(const std::vector<std::string_view>& args) {
    const Arguments arguments(args, {.flags = {"--csv", "--json"}, .valued = {{"--file", "a path"}}});
    if (arguments.has("--csv") && arguments.has("--json")) throw UsageError{"--csv and --json exclude each other"};
    // Only read: no folder is made, no older history copied, nothing written.
    std::vector<HistoryEntry> entries;
    try {
        entries = HistoryStore::read(fileOption(arguments).value_or(HistoryStore::defaultFileURL()));
    } catch (const CelvioError& error) {
        std::cerr << errorText(error) << "\n";
        return 1;
    }
    if (arguments.has("--csv")) {
        std::cout << historyCSV(entries) << "\n";
    } else if (arguments.has("--json")) {
        json out = json::array();
        for (const auto& group : groupHistory(entries)) out.push_back(toJSON(group));
        std::cout << jsonText(out) << "\n";
    } else {
        printGroups(groupHistory(entries));
    }
    return 0;
}

int importCoconut(const std::vector<std::string_view>& args) {
    const Arguments arguments(args, {.valued = {{"--file", "a path"}}, .maxOperands = 1});
    const std::optional<std::filesystem::path> database =
        arguments.operands().empty() ? std::nullopt : std::optional<std::filesystem::path>(arguments.operands()[0]);
    // A database named on the command line must be there; only the default may be absent.
    std::error_code ignored;
    if (database && !std::filesystem::exists(*database, ignored)) {
        std::cerr << "No file at " << database->string() << ".\n";
        return 1;
    }
    HistoryStore store(fileOption(arguments));
    const auto tellKeptAside = [&store] {
        if (store.keptAside()) std::cerr << HistoryStore::keptAsideText(*store.keptAside()) << "\n";
    };
    try {
        const std::int64_t added =
            database ? store.importCoconutBattery(*database) : store.importCoconutBattery();
        tellKeptAside();
        // Only now: the count says what the file holds.
        std::printf("%lld\n", static_cast<long long>(added));
        return 0;
    } catch (const CelvioError& error) {
        tellKeptAside();
        std::cerr << errorText(error) << "\n";
        return 1;
    }
}

}  // namespace celvio::cli
