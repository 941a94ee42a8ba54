#include "scenario.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace celvio::sim {

namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw std::runtime_error(where + ": " + what);
}

// Unknown keys are refused so that a misspelt key does not silently fall back to a default.
void requireKnownKeys(const json& object, const std::string& where, std::initializer_list<std::string_view> known) {
    for (const auto& item : object.items()) {
        bool found = false;
        for (auto k : known) {
            if (item.key() == k) {
                found = true;
                break;
            }
        }
        if (!found) {
            std::string list;
            for (auto k : known) {
                list += list.empty() ? "" : ", ";
                list += k;
            }
            fail(where, "unknown key \"" + item.key() + "\" (expected one of: " + list + ")");
        }
    }
}

const json& requireObject(const json& value, const std::string& where) {
    if (!value.is_object()) fail(where, "expected an object");
    return value;
}

const json& requireArray(const json& value, const std::string& where) {
    if (!value.is_array()) fail(where, "expected an array");
    return value;
}

std::string requireString(const json& value, const std::string& where) {
    if (!value.is_string()) fail(where, "expected a string");
    return value.get<std::string>();
}

bool requireBool(const json& value, const std::string& where) {
    if (!value.is_boolean()) fail(where, "expected true or false");
    return value.get<bool>();
}

std::int64_t requireInt64(const json& value, const std::string& where) {
    if (value.is_number_unsigned()) {
        auto v = value.get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail(where, "expected an integer within the signed 64-bit range");
        }
        return static_cast<std::int64_t>(v);
    }
    if (!value.is_number_integer()) fail(where, "expected an integer");
    return value.get<std::int64_t>();
}

std::uint64_t requireUnsigned(const json& value, const std::string& where, std::uint64_t max) {
    if (!value.is_number_integer()) fail(where, "expected an integer");
    if (!value.is_number_unsigned() && value.get<std::int64_t>() < 0) {
        fail(where, "expected a non-negative integer");
    }
    auto v = value.get<std::uint64_t>();
    if (v > max) fail(where, "expected an integer no greater than " + std::to_string(max));
    return v;
}

std::uint16_t parsePort(const std::string& text, const std::string& where) {
    if (text.empty() || text.size() > 5) fail(where, "expected a port number 0-65535 or \"default\"");
    unsigned long port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') fail(where, "expected a port number 0-65535 or \"default\"");
        port = port * 10 + static_cast<unsigned long>(c - '0');
    }
    if (port > 65535) fail(where, "expected a port number 0-65535 or \"default\"");
    return static_cast<std::uint16_t>(port);
}

PlistValue toPlist(const json& value, const std::string& where) {
    switch (value.type()) {
    case json::value_t::boolean:
        return PlistValue(value.get<bool>());
    case json::value_t::number_integer:
        return PlistValue(value.get<std::int64_t>());
    case json::value_t::number_unsigned:
        // Beyond the signed range the bit pattern is kept, as property lists do.
        return PlistValue(value.get<std::uint64_t>());
    case json::value_t::number_float:
        return PlistValue(value.get<double>());
    case json::value_t::string:
        return PlistValue(value.get<std::string>());
    case json::value_t::array: {
        PlistArray array;
        std::size_t i = 0;
        for (const auto& element : value) {
            array.push_back(toPlist(element, where + "[" + std::to_string(i++) + "]"));
        }
        return PlistValue(std::move(array));
    }
    case json::value_t::object: {
        PlistDict dict;
        for (const auto& item : value.items()) {
            dict.emplace(item.key(), toPlist(item.value(), where + "." + item.key()));
        }
        return PlistValue(std::move(dict));
    }
    default:
        fail(where, "null has no property-list form");
    }
}

Attachment parseAttachment(const json& value, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where, {"deviceID", "connection"});
    if (!value.contains("deviceID")) fail(where, "missing \"deviceID\"");
    if (!value.contains("connection")) fail(where, "missing \"connection\"");
    Attachment attachment;
    attachment.deviceID = requireInt64(value["deviceID"], where + ".deviceID");
    attachment.connectionType = requireString(value["connection"], where + ".connection");
    return attachment;
}

ScenarioDevice parseDevice(const json& value, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where,
                     {"udid", "attachments", "paired", "privateKeyFormat", "omitPairKeys", "connectResults"});
    ScenarioDevice device;
    if (!value.contains("udid")) fail(where, "missing \"udid\"");
    device.udid = requireString(value["udid"], where + ".udid");
    if (device.udid.empty()) fail(where + ".udid", "expected a non-empty string");

    if (value.contains("attachments")) {
        const auto& list = requireArray(value["attachments"], where + ".attachments");
        for (std::size_t i = 0; i < list.size(); ++i) {
            device.attachments.push_back(
                parseAttachment(list[i], where + ".attachments[" + std::to_string(i) + "]"));
        }
    }
    if (value.contains("paired")) device.paired = requireBool(value["paired"], where + ".paired");
    if (value.contains("privateKeyFormat")) {
        auto format = requireString(value["privateKeyFormat"], where + ".privateKeyFormat");
        if (format == "pkcs1") {
            device.pkcs8Key = false;
        } else if (format == "pkcs8") {
            device.pkcs8Key = true;
        } else {
            fail(where + ".privateKeyFormat", "expected \"pkcs1\" or \"pkcs8\", got \"" + format + "\"");
        }
    }
    if (value.contains("omitPairKeys")) {
        const auto& list = requireArray(value["omitPairKeys"], where + ".omitPairKeys");
        for (std::size_t i = 0; i < list.size(); ++i) {
            device.omitPairKeys.push_back(
                requireString(list[i], where + ".omitPairKeys[" + std::to_string(i) + "]"));
        }
    }
    if (value.contains("connectResults")) {
        const auto& results = requireObject(value["connectResults"], where + ".connectResults");
        for (const auto& item : results.items()) {
            auto itemWhere = where + ".connectResults." + item.key();
            auto result = requireInt64(item.value(), itemWhere);
            if (item.key() == "default") {
                device.defaultConnectResult = result;
            } else {
                device.connectResults[parsePort(item.key(), itemWhere)] = result;
            }
        }
    }
    return device;
}

struct FaultName {
    std::string_view name;
    Fault::Kind kind;
};

constexpr FaultName kFaultNames[] = {
    {"length", Fault::Kind::length},   {"notDictionary", Fault::Kind::notDictionary},
    {"garbage", Fault::Kind::garbage}, {"binary", Fault::Kind::binary},
    {"silence", Fault::Kind::silence}, {"hangup", Fault::Kind::hangup},
    {"noResult", Fault::Kind::noResult},
};

Fault parseFault(const json& value, const std::string& requestType, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where, {"kind", "length", "bytes"});
    if (!value.contains("kind")) fail(where, "missing \"kind\"");
    auto name = requireString(value["kind"], where + ".kind");
    Fault fault;
    bool known = false;
    for (const auto& entry : kFaultNames) {
        if (entry.name == name) {
            fault.kind = entry.kind;
            known = true;
        }
    }
    if (!known) {
        fail(where + ".kind", "unknown fault \"" + name +
                                  "\" (expected length, notDictionary, garbage, binary, silence, hangup or noResult)");
    }
    if (fault.kind == Fault::Kind::length) {
        if (!value.contains("length")) fail(where, "fault \"length\" needs \"length\"");
        fault.length = static_cast<std::uint32_t>(
            requireUnsigned(value["length"], where + ".length", std::numeric_limits<std::uint32_t>::max()));
    } else if (value.contains("length")) {
        fail(where, "\"length\" applies only to the fault \"length\"");
    }
    if (fault.kind == Fault::Kind::hangup) {
        if (!value.contains("bytes")) fail(where, "fault \"hangup\" needs \"bytes\"");
        fault.bytes = static_cast<std::size_t>(
            requireUnsigned(value["bytes"], where + ".bytes", std::numeric_limits<std::uint32_t>::max()));
    } else if (value.contains("bytes")) {
        fail(where, "\"bytes\" applies only to the fault \"hangup\"");
    }
    if (fault.kind == Fault::Kind::noResult && requestType != "Connect") {
        fail(where + ".kind", "fault \"noResult\" applies only to \"Connect\"");
    }
    return fault;
}

}  // namespace

const ScenarioDevice* Scenario::deviceByID(std::int64_t deviceID) const {
    for (const auto& device : devices) {
        for (const auto& attachment : device.attachments) {
            if (attachment.deviceID == deviceID) return &device;
        }
    }
    return nullptr;
}

const ScenarioDevice* Scenario::deviceByUDID(const std::string& udid) const {
    for (const auto& device : devices) {
        if (device.udid == udid) return &device;
    }
    return nullptr;
}

Scenario parseScenario(const std::string& text) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        throw std::runtime_error(std::string("invalid JSON: ") + e.what());
    }
    requireObject(root, "scenario");
    requireKnownKeys(root, "scenario", {"devices", "extraListEntries", "faults"});

    Scenario scenario;
    if (root.contains("devices")) {
        const auto& list = requireArray(root["devices"], "devices");
        std::set<std::string> udids;
        std::set<std::int64_t> deviceIDs;
        for (std::size_t i = 0; i < list.size(); ++i) {
            auto where = "devices[" + std::to_string(i) + "]";
            auto device = parseDevice(list[i], where);
            // A DeviceID or udid used twice would make look-ups ambiguous.
            if (!udids.insert(device.udid).second) fail(where + ".udid", "duplicate udid \"" + device.udid + "\"");
            for (std::size_t a = 0; a < device.attachments.size(); ++a) {
                auto id = device.attachments[a].deviceID;
                if (!deviceIDs.insert(id).second) {
                    fail(where + ".attachments[" + std::to_string(a) + "].deviceID",
                         "duplicate deviceID " + std::to_string(id));
                }
            }
            scenario.devices.push_back(std::move(device));
        }
    }
    if (root.contains("extraListEntries")) {
        const auto& list = requireArray(root["extraListEntries"], "extraListEntries");
        for (std::size_t i = 0; i < list.size(); ++i) {
            scenario.extraListEntries.push_back(toPlist(list[i], "extraListEntries[" + std::to_string(i) + "]"));
        }
    }
    if (root.contains("faults")) {
        const auto& faults = requireObject(root["faults"], "faults");
        for (const auto& item : faults.items()) {
            const auto& type = item.key();
            if (type != "ListDevices" && type != "ReadPairRecord" && type != "Connect") {
                fail("faults", "unknown request type \"" + type +
                                   "\" (expected ListDevices, ReadPairRecord or Connect)");
            }
            scenario.faults.emplace(type, parseFault(item.value(), type, "faults." + type));
        }
    }
    return scenario;
}

Scenario loadScenario(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open: " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw std::runtime_error(path + ": cannot read");
    try {
        return parseScenario(text.str());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

}  // namespace celvio::sim
