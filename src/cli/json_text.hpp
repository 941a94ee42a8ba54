#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <ctime>
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

/// "2026-12-06T10:15:00Z".
inline std::string isoTime(std::chrono::system_clock::time_point time) {
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof(buffer), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

}  // namespace celvio::cli
