// celvio-cli history and import-coconut: the stored history and the coconutBattery import.

#include "commands.hpp"

#include "base/celvio_error.hpp"
#include "display/error_text.hpp"
#include "history/history_csv.hpp"
#include "history/history_grouping.hpp"
#include "history/history_store.hpp"

#include "json_text.hpp"
#include "terminal_text.hpp"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace celvio::cli {
namespace {

using nlohmann::json;

constexpr const char* kHistoryUsage = "usage: celvio-cli history [--csv | --json] [--file PATH]\n";
constexpr const char* kImportUsage = "usage: celvio-cli import-coconut [DATABASE] [--file PATH]\n";

struct Options {
    bool csv = false;
    bool json = false;
    std::optional<std::filesystem::path> file;
    std::optional<std::filesystem::path> operand;
};

/// The options, or absent after reporting a usage error.
std::optional<Options> parse(const std::vector<std::string_view>& args, bool formats, const char* usage) {
    Options options;
    std::string problem;
    for (std::size_t i = 0; i < args.size() && problem.empty(); ++i) {
        const std::string_view arg = args[i];
        if (formats && arg == "--csv")
            options.csv = true;
        else if (formats && arg == "--json")
            options.json = true;
        else if (arg == "--file" && i + 1 < args.size())
            options.file = args[++i];
        else if (arg.starts_with("--file="))
            options.file = arg.substr(7);
        else if (arg == "--file")
            problem = "--file needs a path";
        else if (!formats && !arg.starts_with("-") && !options.operand)
            options.operand = arg;
        else
            problem = "unknown argument: " + std::string(arg);
    }
    if (options.csv && options.json) problem = "--csv and --json exclude each other";
    if (!problem.empty()) {
        std::cerr << "celvio-cli: " << problem << "\n\n" << usage;
        return std::nullopt;
    }
    return options;
}

json toJSON(const HistoryDeviceGroup& group) {
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
        std::printf("%s\n  serial %s, %s, %zu %s, latest %s\n", visible(group.title).c_str(), visible(group.serial).c_str(),
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
    const auto options = parse(args, true, kHistoryUsage);
    if (!options) return 2;
    // Only read: no folder is made, no older history copied, nothing written.
    std::vector<HistoryEntry> entries;
    try {
        entries = HistoryStore::read(options->file.value_or(HistoryStore::defaultFileURL()));
    } catch (const CelvioError& error) {
        std::cerr << errorText(error) << "\n";
        return 1;
    }
    if (options->csv) {
        std::cout << historyCSV(entries) << "\n";
    } else if (options->json) {
        json out = json::array();
        for (const auto& group : groupHistory(entries)) out.push_back(toJSON(group));
        std::cout << jsonText(out) << "\n";
    } else {
        printGroups(groupHistory(entries));
    }
    return 0;
}

int importCoconut(const std::vector<std::string_view>& args) {
    const auto options = parse(args, false, kImportUsage);
    if (!options) return 2;
    // A database named on the command line must be there; only the default may be absent.
    std::error_code ignored;
    if (options->operand && !std::filesystem::exists(*options->operand, ignored)) {
        std::cerr << "No file at " << options->operand->string() << ".\n";
        return 1;
    }
    HistoryStore store(options->file);
    const auto tellKeptAside = [&store] {
        if (store.keptAside()) std::cerr << HistoryStore::keptAsideText(*store.keptAside()) << "\n";
    };
    try {
        const std::int64_t added =
            options->operand ? store.importCoconutBattery(*options->operand) : store.importCoconutBattery();
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
