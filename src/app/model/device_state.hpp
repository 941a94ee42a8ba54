#pragma once

#include "reading/ios_device_info.hpp"

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace celvio {

/// How far reading one attached device has come.
struct DeviceState {
    enum class Kind { loaded, failed, loading };

    Kind kind = Kind::loading;
    /// The last successful read; present exactly for `loaded`.
    std::optional<IOSDeviceInfo> info;
    /// `loaded`: the message of a later read that failed, absent after a success.
    /// `failed`: the message of the last read. `loading`: absent.
    std::optional<std::string> error;

    static DeviceState loaded(IOSDeviceInfo info, std::optional<std::string> error = std::nullopt) {
        return {Kind::loaded, std::move(info), std::move(error)};
    }
    static DeviceState failed(std::string error) { return {Kind::failed, std::nullopt, std::move(error)}; }
    static DeviceState loading() { return {}; }

    bool operator==(const DeviceState&) const = default;
};

/// Device states by UDID.
using DeviceStates = std::map<std::string, DeviceState>;

}  // namespace celvio
