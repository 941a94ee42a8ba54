#pragma once

#include "plist/plist.hpp"
#include "link/plist_service.hpp"
#include "scenario.hpp"

#include <functional>
#include <string>

namespace celvio::sim {

/// One request a diagnostics relay received.
struct RelayRequest {
    std::string udid;
    PlistDict message;
    std::string service;  ///< the started service's name
};

/// Called with every request before it is answered, from connection threads.
using RelayRecorder = std::function<void(RelayRequest)>;

/// The built-in kind "relay": answers "IORegistry" requests from the device's scenario
/// "relay" until "Goodbye" (answered, then the connection closes) or a scripted drop.
void relayService(PlistService& channel, const ScenarioDevice& device, const std::string& service,
                  const RelayRecorder& record);

}  // namespace celvio::sim
