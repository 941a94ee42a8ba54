#pragma once

#include "plist/plist.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace celvio::sim {

/// How the daemon misbehaves when answering one kind of request.
struct Fault {
    enum class Kind {
        length,         ///< a header whose length field is `length`, then nothing
        notDictionary,  ///< a well-formed packet whose payload is an array
        garbage,        ///< a payload that is no property list
        binary,         ///< the normal reply, encoded as a binary property list
        silence,        ///< no reply; the connection stays open
        hangup,         ///< the first `bytes` bytes of the normal reply, then close
        noResult,       ///< (Connect) a reply without "MessageType" "Result"
        slow,           ///< the normal reply one byte at a time, `interval` milliseconds apart
    };
    Kind kind = Kind::silence;
    std::uint32_t length = 0;
    std::size_t bytes = 0;
    std::uint32_t interval = 1000;
};

struct Attachment {
    std::int64_t deviceID = 0;
    std::string connectionType;  ///< "USB", "Network", or anything a daemon might say
};

/// A service that StartService can start.
struct ScenarioService {
    std::string kind = "echo";  ///< which handler serves its connections
    bool ssl = false;           ///< "EnableServiceSSL"
};

/// Ways the lockdown service misbehaves.
struct LockdownFaults {
    bool noPort = false;            ///< StartService replies without "Port"
    bool portOutOfRange = false;    ///< StartService replies with "Port" 70000
    bool tls13Only = false;         ///< TLS servers accept TLS 1.3 only
    // Requests are named as in `errors`: "GetValue", or narrower "GetValue:<domain>".
    std::string closeMidTLSRead;    ///< request whose reply is cut short, then the connection closed
    std::string silentOn;           ///< request never answered; the connection stays open
    std::string lateOn;             ///< request answered only after `lateBy` milliseconds
    std::uint32_t lateBy = 0;
};

/// The device's lockdown service on port 62078.
struct ScenarioLockdown {
    std::optional<std::string> type = std::string("com.apple.mobile.lockdown");  ///< absent: no "Type"
    bool sessionSSL = true;
    PlistDict values;                                   ///< GetValue without a domain
    std::map<std::string, PlistDict, std::less<>> domains;
    std::map<std::string, ScenarioService, std::less<>> services;
    /// Error code per request name, or per "GetValue:<domain>" / "StartService:<service>".
    std::map<std::string, std::string, std::less<>> errors;
    LockdownFaults faults;
};

/// Ways the diagnostics relay misbehaves.
struct RelayFaults {
    std::string status;           ///< "Status" of every IORegistry answer instead of "Success"; empty: none
    std::uint64_t dropAfter = 0;  ///< close after answering this many IORegistry requests; 0: never
    bool notStartable = false;    ///< StartService of a "relay" service answers "InvalidService"
};

/// What the device's diagnostics relay (service kind "relay") answers.
struct ScenarioRelay {
    /// Registry dictionaries by the "EntryName" or "EntryClass" that asks for them.
    std::map<std::string, PlistDict, std::less<>> entries;
    RelayFaults faults;
};

struct ScenarioDevice {
    std::string udid;
    std::vector<Attachment> attachments;
    bool paired = true;
    bool pkcs8Key = false;                   ///< host key as "PRIVATE KEY" instead of "RSA PRIVATE KEY"
    std::vector<std::string> omitPairKeys;   ///< pairing-record keys left out
    std::map<std::uint16_t, std::int64_t> connectResults;  ///< per port; missing: 0
    std::int64_t defaultConnectResult = 0;
    ScenarioLockdown lockdown;
    ScenarioRelay relay;
};

struct Scenario {
    std::vector<ScenarioDevice> devices;
    /// Raw "DeviceList" entries appended after the devices' own (for malformed entries).
    std::vector<PlistValue> extraListEntries;
    /// Per request type ("ListDevices", "ReadPairRecord", "Connect").
    std::map<std::string, Fault, std::less<>> faults;

    const ScenarioDevice* deviceByID(std::int64_t deviceID) const;
    const ScenarioDevice* deviceByUDID(const std::string& udid) const;
};

/// Parses a scenario from JSON text; throws std::runtime_error naming the problem.
Scenario parseScenario(const std::string& json);
/// Reads and parses a scenario file; throws std::runtime_error naming file and problem.
Scenario loadScenario(const std::string& path);

}  // namespace celvio::sim
