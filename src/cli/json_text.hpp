#pragma once

#include "history/history_entry.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>

namespace celvio::cli {

/// The value, or JSON null when it is absent.
template <typename T>
nlohmann::json orNull(const std::optional<T>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

/// The document as the commands print it. Text that is not valid UTF-8 gets U+FFFD
/// rather than failing the whole output.
inline std::string jsonText(const nlohmann::json& value) {
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

/// "2026-12-06T10:15:00Z", as the history's dates. Whole seconds are taken before the
/// history's double seconds, which could round 10:14:59.9999999 up.
inline std::string dateText(std::chrono::system_clock::time_point time) {
    return internetDateText(std::chrono::floor<std::chrono::seconds>(time));
}

}  // namespace celvio::cli
