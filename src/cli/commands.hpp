#pragma once

#include <string_view>
#include <vector>

/// celvio-cli commands kept outside main.cpp. Each takes the arguments after its name
/// and returns the exit status; arguments it does not take throw UsageError.
namespace celvio::cli {

/// `host [--json] [--raw] [--root DIR]`: this computer's system data and battery.
int host(const std::vector<std::string_view>& args);

/// `history [--csv | --json] [--file PATH]`: the stored history by device and month, or
/// its CSV text.
int history(const std::vector<std::string_view>& args);

/// `import-coconut [DATABASE] [--file PATH]`: adds a coconutBattery history and prints
/// how many entries it added.
int importCoconut(const std::vector<std::string_view>& args);

}  // namespace celvio::cli
