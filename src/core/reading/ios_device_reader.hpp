#pragma once

#include "reading/ios_device_info.hpp"
#include "lockdown/lockdown_client.hpp"
#include "plist/plist.hpp"
#include "link/plist_service.hpp"

/// One complete, blocking read of an attached iPhone or iPad. Never on the main thread.
namespace celvio::IOSDeviceReader {

constexpr const char* batteryDomain = "com.apple.mobile.battery";
constexpr const char* diagnosticsRelay = "com.apple.mobile.diagnostics_relay";

/// Lockdown session, general values, battery domain and the relay's battery registry.
/// The read fails on a relay failure only when the battery domain is empty too.
IOSDeviceInfo read(const MuxDevice& device, LockdownTimeouts timeouts = {});

/// Asks the relay for the battery's registry entry under three names in turn; the first
/// one with a design capacity wins, else the first non-empty one. Throws `diagnostics`
/// "No battery data returned by the device." when none answers.
PlistDict ioRegistry(PlistService& relay);

/// The battery record from the registry and the lockdown battery domain. Never fails.
IOSBatteryInfo makeBattery(const PlistDict& registry, const PlistDict& lockdownBattery);

}  // namespace celvio::IOSDeviceReader
