#pragma once

#include "plist/plist.hpp"
#include "link/socket.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>  // std::hash
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace celvio {

/// One attachment of a device as the usbmux daemon lists it.
struct MuxDevice {
    enum class Connection { usb, network };

    std::string udid;       ///< the device's serial number ("SerialNumber")
    std::int64_t deviceID;  ///< the daemon's handle of this attachment
    Connection connection;

    const std::string& id() const noexcept { return udid; }
    bool operator==(const MuxDevice&) const = default;
};

/// "USB" or "Wi‑Fi" (with U+2011), also the display text.
std::string_view connectionText(MuxDevice::Connection connection);

/// Where the daemon listens: a Unix socket, or a TCP host and port.
struct DaemonAddress {
    std::string unixPath;  ///< empty for TCP
    std::string host;      ///< without the brackets of an IPv6 address
    std::uint16_t port = 0;
    bool operator==(const DaemonAddress&) const = default;
};

/// Parses a USBMUXD_SOCKET_ADDRESS value: "UNIX:" and a path, "HOST:PORT" or
/// "[IPv6]:PORT", the port a whole number from 1 to 65535 with nothing after it. Anything
/// else throws `socket` naming the variable and the value.
DaemonAddress parseDaemonAddress(std::string_view text);

/// A client of the usbmux daemon for one short exchange: a list, a pairing record, or
/// one connect after which the socket belongs to the device's service.
class USBMux {
public:
    /// The daemon's default address.
    static constexpr const char* socketPath = "/var/run/usbmuxd";
    /// Time-out of the static operations.
    static constexpr double daemonTimeout = 5.0;

    /// Connects to the daemon: USBMUXD_SOCKET_ADDRESS (parseDaemonAddress) when set and
    /// not empty, otherwise socketPath.
    explicit USBMux(double timeoutSeconds);

    /// Lists the attached devices. With allConnections every listing in the daemon's
    /// order; otherwise one record per device (USB preferred) sorted by udid.
    std::vector<MuxDevice> list(bool allConnections);
    /// The pairing record the host stored for the device.
    PlistDict readPairRecord(const std::string& udid);
    /// Has the daemon connect this client's socket to a device port and hands it over.
    std::shared_ptr<Socket> connect(std::int64_t deviceID, std::uint16_t port);
    void close() noexcept;

    /// Opens a client, lists, and closes it on every path.
    static std::vector<MuxDevice> listDevices(bool allConnections);
    /// Opens a client, reads the pairing record, and closes it on every path.
    static PlistDict pairRecord(const std::string& udid);

private:
    void send(const PlistDict& message);
    PlistDict receive();

    std::shared_ptr<Socket> socket_;
    std::uint32_t tag_ = 1;
};

// The wire format, separate so that it can be driven over any stream.
namespace usbmux_wire {

/// A 16-byte header (length, version 1, message 8, tag) and the XML payload.
Bytes encodePacket(const PlistDict& message, std::uint32_t tag);
/// Reads one packet; checks only the length. Throws "Invalid packet length" or
/// "Invalid response" (usbmux), or the decoder's error.
PlistDict readPacket(ByteStream& stream);
/// The device records of a "ListDevices" reply; malformed entries are left out.
std::vector<MuxDevice> parseDeviceList(const PlistDict& reply, bool allConnections);
/// Throws usbmux `action + " failed: " + reason` for a non-zero "Result" number.
void checkResult(const PlistDict& reply, const std::string& action);

}  // namespace usbmux_wire

}  // namespace celvio
