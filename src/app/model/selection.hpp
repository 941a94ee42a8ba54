#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

namespace celvio {

/// Which panel the window shows.
struct Selection {
    enum class Kind { device, mac, history, connectHelp };

    Kind kind = Kind::mac;
    std::string udid;  ///< the device's UDID for `device`; empty for every other kind

    static Selection device(std::string udid) { return {Kind::device, std::move(udid)}; }
    static Selection mac() { return {Kind::mac, {}}; }
    static Selection history() { return {Kind::history, {}}; }
    static Selection connectHelp() { return {Kind::connectHelp, {}}; }

    bool isDevice(const std::string& id) const { return kind == Kind::device && udid == id; }

    bool operator==(const Selection&) const = default;
};

}  // namespace celvio

template <>
struct std::hash<celvio::Selection> {
    std::size_t operator()(const celvio::Selection& selection) const noexcept {
        return std::hash<std::string>{}(selection.udid) * 31 + static_cast<std::size_t>(selection.kind);
    }
};
