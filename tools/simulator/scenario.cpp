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

// Strict standard base64; padding may be left out but must be right when present.
std::optional<Bytes> decodeBase64(const std::string& text) {
    auto sextet = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::size_t end = text.size();
    if (end % 4 == 0) {
        for (int i = 0; i < 2 && end > 0 && text[end - 1] == '='; ++i) --end;
    }
    if (end % 4 == 1) return std::nullopt;
    Bytes out;
    out.reserve(end / 4 * 3 + 2);
    std::uint32_t bits = 0;
    int count = 0;
    for (std::size_t i = 0; i < end; ++i) {
        int v = sextet(text[i]);
        if (v < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> count));
        }
    }
    // Leftover bits must be zero, or two texts would decode alike.
    if ((bits & ((1U << count) - 1)) != 0) return std::nullopt;
    return out;
}

// {"$data": "<base64>"} and {"$date": <seconds since 2001>} stand for the property-list
// types JSON lacks; {"$text": "<base64>"} for a string JSON cannot hold (invalid UTF-8).
PlistValue taggedValue(const json& value, const std::string& where) {
    if (value.size() != 1) fail(where, "\"$data\", \"$text\" or \"$date\" must be the object's only key");
    for (const char* tag : {"$data", "$text"}) {
        if (!value.contains(tag)) continue;
        const auto& text = value[tag];
        std::optional<Bytes> bytes;
        if (text.is_string()) bytes = decodeBase64(text.get<std::string>());
        if (!bytes) fail(where + "." + tag, "expected base64 text");
        if (std::string_view(tag) == "$text") return PlistValue(std::string(bytes->begin(), bytes->end()));
        return PlistValue(std::move(*bytes));
    }
    const auto& seconds = value["$date"];
    if (!seconds.is_number()) fail(where + ".$date", "expected a number of seconds since 2001-01-01");
    return PlistValue(PlistDate{seconds.get<double>()});
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
        if (value.contains("$data") || value.contains("$text") || value.contains("$date"))
            return taggedValue(value, where);
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

constexpr std::string_view kLockdownRequests[] = {"QueryType", "StartSession", "GetValue", "StartService",
                                                  "StopSession"};
constexpr const char* kLockdownRequestList = "QueryType, StartSession, GetValue, StartService or StopSession";

bool isLockdownRequest(std::string_view name) {
    for (auto request : kLockdownRequests) {
        if (request == name) return true;
    }
    return false;
}

PlistDict toPlistDict(const json& value, const std::string& where) {
    requireObject(value, where);
    auto plist = toPlist(value, where);
    auto* dict = plist.get<PlistDict>();
    // {"$data": ...} is an object in JSON but no dictionary here.
    if (dict == nullptr) fail(where, "expected an object");
    return std::move(*dict);
}

ScenarioService parseService(const json& value, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where, {"kind", "ssl"});
    ScenarioService service;
    if (value.contains("kind")) {
        service.kind = requireString(value["kind"], where + ".kind");
        if (service.kind.empty()) fail(where + ".kind", "expected a non-empty string");
    }
    if (value.contains("ssl")) service.ssl = requireBool(value["ssl"], where + ".ssl");
    return service;
}

std::string requireRequestName(const json& value, const std::string& where) {
    auto name = requireString(value, where);
    if (!name.empty() && !isLockdownRequest(name.substr(0, name.find(':')))) {
        fail(where, "unknown request \"" + name + "\" (expected \"\", " + kLockdownRequestList + ")");
    }
    return name;
}

LockdownFaults parseLockdownFaults(const json& value, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where,
                     {"noPort", "portOutOfRange", "tls13Only", "closeMidTLSRead", "silentOn", "lateOn", "lateBy"});
    LockdownFaults faults;
    if (value.contains("noPort")) faults.noPort = requireBool(value["noPort"], where + ".noPort");
    if (value.contains("portOutOfRange")) {
        faults.portOutOfRange = requireBool(value["portOutOfRange"], where + ".portOutOfRange");
    }
    if (faults.noPort && faults.portOutOfRange) fail(where, "\"noPort\" and \"portOutOfRange\" exclude each other");
    if (value.contains("tls13Only")) faults.tls13Only = requireBool(value["tls13Only"], where + ".tls13Only");
    if (value.contains("closeMidTLSRead")) {
        faults.closeMidTLSRead = requireRequestName(value["closeMidTLSRead"], where + ".closeMidTLSRead");
    }
    if (value.contains("silentOn")) faults.silentOn = requireRequestName(value["silentOn"], where + ".silentOn");
    if (!faults.silentOn.empty() && faults.silentOn == faults.closeMidTLSRead) {
        fail(where, "\"closeMidTLSRead\" and \"silentOn\" name the same request");
    }
    if (value.contains("lateOn")) faults.lateOn = requireRequestName(value["lateOn"], where + ".lateOn");
    if (value.contains("lateBy")) {
        faults.lateBy = static_cast<std::uint32_t>(requireUnsigned(value["lateBy"], where + ".lateBy", 60'000));
    }
    return faults;
}

ScenarioLockdown parseLockdown(const json& value, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where, {"type", "sessionSSL", "values", "domains", "services", "errors", "faults"});
    ScenarioLockdown lockdown;
    if (value.contains("type")) {
        const auto& type = value["type"];
        if (type.is_null()) {
            lockdown.type.reset();
        } else if (type.is_string()) {
            lockdown.type = type.get<std::string>();
        } else {
            fail(where + ".type", "expected a string or null");
        }
    }
    if (value.contains("sessionSSL")) lockdown.sessionSSL = requireBool(value["sessionSSL"], where + ".sessionSSL");
    if (value.contains("values")) lockdown.values = toPlistDict(value["values"], where + ".values");
    if (value.contains("domains")) {
        const auto& domains = requireObject(value["domains"], where + ".domains");
        for (const auto& item : domains.items()) {
            lockdown.domains.emplace(item.key(), toPlistDict(item.value(), where + ".domains." + item.key()));
        }
    }
    if (value.contains("services")) {
        const auto& services = requireObject(value["services"], where + ".services");
        for (const auto& item : services.items()) {
            if (item.key().empty()) fail(where + ".services", "a service name must not be empty");
            lockdown.services.emplace(item.key(), parseService(item.value(), where + ".services." + item.key()));
        }
    }
    if (value.contains("errors")) {
        const auto& errors = requireObject(value["errors"], where + ".errors");
        for (const auto& item : errors.items()) {
            const auto& key = item.key();
            auto itemWhere = where + ".errors." + key;
            auto colon = key.find(':');
            auto request = key.substr(0, colon);
            bool known = colon == std::string::npos
                             ? isLockdownRequest(request)
                             : (request == "GetValue" || request == "StartService") && colon + 1 < key.size();
            if (!known) {
                fail(where + ".errors", "unknown request \"" + key + "\" (expected " + kLockdownRequestList +
                                            ", or GetValue:<domain> or StartService:<service>)");
            }
            auto code = requireString(item.value(), itemWhere);
            if (code.empty()) fail(itemWhere, "expected a non-empty string");
            lockdown.errors.emplace(key, std::move(code));
        }
    }
    if (value.contains("faults")) lockdown.faults = parseLockdownFaults(value["faults"], where + ".faults");
    return lockdown;
}

RelayFaults parseRelayFaults(const json& value, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where, {"status", "dropAfter", "notStartable"});
    RelayFaults faults;
    if (value.contains("status")) {
        faults.status = requireString(value["status"], where + ".status");
        if (faults.status == "Success") fail(where + ".status", "\"Success\" is no fault (leave \"status\" out)");
    }
    if (value.contains("dropAfter")) {
        faults.dropAfter =
            requireUnsigned(value["dropAfter"], where + ".dropAfter", std::numeric_limits<std::uint32_t>::max());
    }
    if (value.contains("notStartable")) {
        faults.notStartable = requireBool(value["notStartable"], where + ".notStartable");
    }
    return faults;
}

ScenarioRelay parseRelay(const json& value, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where, {"entries", "faults"});
    ScenarioRelay relay;
    if (value.contains("entries")) {
        const auto& entries = requireObject(value["entries"], where + ".entries");
        for (const auto& item : entries.items()) {
            if (item.key().empty()) fail(where + ".entries", "an entry name must not be empty");
            relay.entries.emplace(item.key(), toPlistDict(item.value(), where + ".entries." + item.key()));
        }
    }
    if (value.contains("faults")) relay.faults = parseRelayFaults(value["faults"], where + ".faults");
    return relay;
}

ScenarioDevice parseDevice(const json& value, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where,
                     {"udid", "attachments", "paired", "privateKeyFormat", "omitPairKeys", "connectResults",
                      "lockdown", "relay"});
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
    if (value.contains("lockdown")) device.lockdown = parseLockdown(value["lockdown"], where + ".lockdown");
    if (value.contains("relay")) device.relay = parseRelay(value["relay"], where + ".relay");
    if (device.relay.faults.notStartable) {
        bool hasRelay = false;
        for (const auto& service : device.lockdown.services) hasRelay = hasRelay || service.second.kind == "relay";
        // Without one the fault would go unnoticed: StartService fails anyway.
        if (!hasRelay) {
            fail(where + ".relay.faults.notStartable", "needs a service of kind \"relay\" in lockdown.services");
        }
    }
    return device;
}

struct FaultName {
    std::string_view name;
    Fault::Kind kind;
};

constexpr FaultName kFaultNames[] = {
    {"length", Fault::Kind::length},     {"notDictionary", Fault::Kind::notDictionary},
    {"garbage", Fault::Kind::garbage},   {"binary", Fault::Kind::binary},
    {"silence", Fault::Kind::silence},   {"hangup", Fault::Kind::hangup},
    {"noResult", Fault::Kind::noResult}, {"slow", Fault::Kind::slow},
};

Fault parseFault(const json& value, const std::string& requestType, const std::string& where) {
    requireObject(value, where);
    requireKnownKeys(value, where, {"kind", "length", "bytes", "interval"});
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
        fail(where + ".kind",
             "unknown fault \"" + name +
                 "\" (expected length, notDictionary, garbage, binary, silence, hangup, noResult or slow)");
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
    if (fault.kind == Fault::Kind::slow) {
        if (value.contains("interval")) {
            fault.interval =
                static_cast<std::uint32_t>(requireUnsigned(value["interval"], where + ".interval", 60'000));
        }
    } else if (value.contains("interval")) {
        fail(where, "\"interval\" applies only to the fault \"slow\"");
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
