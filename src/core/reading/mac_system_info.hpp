#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace celvio {

/// What the computer is: name, model, identifiers, chip, memory, system version, uptime.
/// The platform reads it (readMacSystemInfo, platform/host_platform.hpp).
struct MacSystemInfo {
    std::string computerName{};     ///< the user-visible name; the host word when unknown
    std::string modelIdentifier{};  ///< e.g. "MacBookPro18,3", "20XW0055GE"; the host word when unknown
    std::string productName{};      ///< marketing name, else the model identifier
    std::optional<std::string> regulatoryModel{};
    std::optional<std::string> modelNumber{};  ///< the order number
    std::optional<std::string> serialNumber{};
    std::optional<std::string> chip{};  ///< system on chip or processor name
    std::int64_t memoryGB = 0;          ///< whole GiB, truncated
    std::string osVersion{};            ///< always three numbers: "6.1.0"
    double uptime = 0;                  ///< seconds since the system started
    std::string kind{};                 ///< the sort of computer in a word ("Laptop"); the host word when unknown

    /// The product name up to its first " (": "MacBook Pro" of "MacBook Pro (14-inch, 2023)".
    std::string familyName() const;
    /// The text between the first "(" and the last ")" when that ")" comes after that "(":
    /// "14-inch, 2023" of "MacBook Pro (14-inch, 2023)".
    std::optional<std::string> variantName() const;

    bool operator==(const MacSystemInfo&) const = default;
};

}  // namespace celvio
