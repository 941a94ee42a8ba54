#pragma once

#include "plist/plist.hpp"
#include "link/plist_service.hpp"
#include "scenario.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace celvio::sim {

inline constexpr std::uint16_t kLockdownPort = 62078;

/// One request the lockdown service received.
struct LockdownRequest {
    std::string udid;
    std::string request;  ///< its "Request"; empty when it has none
    bool underTLS = false;
    PlistDict message;
};

/// Serves one connection to a started service over `channel`, which is already plain or
/// TLS as the service asked. The connection closes when it returns; a peer that hangs up
/// surfaces as CelvioError `connectionClosed` and needs no handling.
using ServiceKind =
    std::function<void(PlistService& channel, const ScenarioDevice& device, const std::string& service)>;

/// What the lockdown service needs from the simulator around it. Called from connection
/// threads.
class LockdownHost {
public:
    virtual void recordRequest(LockdownRequest request) = 0;
    virtual void handshakeCompleted() = 0;
    /// Bytes that arrived at a lockdown service after it fell silent.
    virtual void ignoredBytes(std::size_t count) = 0;
    /// Opens a fresh device port for the scenario service `name`; absent when no handler
    /// serves its kind.
    virtual std::optional<std::uint16_t> startService(const ScenarioDevice& device, const std::string& name) = 0;

protected:
    ~LockdownHost() = default;
};

/// Serves the lockdown protocol on `fd` (which stays the caller's) until the peer hangs up.
void serveLockdown(int fd, const ScenarioDevice& device, LockdownHost& host);

/// Serves a started service's connection on `fd`: TLS first if the service asks for it,
/// then `kind`.
void serveService(int fd, const ScenarioDevice& device, const std::string& name, const ServiceKind& kind,
                  LockdownHost& host);

/// The built-in kind "echo": every message goes straight back.
void echoService(PlistService& channel, const ScenarioDevice& device, const std::string& service);

}  // namespace celvio::sim
