#include "link/usbmux.hpp"

#include "base/celvio_error.hpp"
#include "lockdown/openssl_handles.hpp"  // CleanseOnExit

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <optional>

namespace celvio {
namespace {

constexpr std::uint32_t kHeaderSize = 16;
constexpr std::uint32_t kMaxPacketLength = 33'554'431;  // payload below 0x1FFFFF0 bytes
constexpr std::uint32_t kProtocolVersion = 1;
constexpr std::uint32_t kPlistMessage = 8;

PlistDict baseMessage(const char* type) {
    return {
        {"MessageType", type},
        {"ClientVersionString", "Celvio-1.0"},
        {"ProgName", "Celvio"},
        {"BundleID", "app.celvio.Celvio"},
        {"kLibUSBMuxVersion", 3},
    };
}

void putLE32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::string resultReason(std::int64_t number) {
    switch (number) {
    case 2: return "device is no longer connected";
    case 3: return "connection refused by device";
    case 5: return "malfunction";
    case 6: return "bad version";
    default: return "error " + std::to_string(number);
    }
}

std::shared_ptr<Socket> connectToDaemon(double timeout) {
    const char* variable = std::getenv("USBMUXD_SOCKET_ADDRESS");
    if (!variable || !*variable) return std::make_shared<Socket>(USBMux::socketPath, timeout);
    const DaemonAddress address = parseDaemonAddress(variable);
    if (!address.unixPath.empty()) return std::make_shared<Socket>(address.unixPath, timeout);
    return std::make_shared<Socket>(address.host, address.port, timeout);
}

/// A port from 1 to 65535 written as digits only.
std::optional<std::uint16_t> portNumber(std::string_view digits) {
    unsigned value = 0;
    const auto* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || stop != end || value < 1 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

}  // namespace

DaemonAddress parseDaemonAddress(std::string_view text) {
    const auto invalid = [&] {
        return CelvioError::socket("USBMUXD_SOCKET_ADDRESS \"" + std::string(text) +
                                   "\" is not UNIX:/path, HOST:PORT or [IPv6]:PORT");
    };
    if (text.starts_with("UNIX:")) {
        if (text.size() == 5) throw invalid();
        return {std::string(text.substr(5)), {}, 0};
    }
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) throw invalid();
    std::string_view host = text.substr(0, colon);
    const auto port = portNumber(text.substr(colon + 1));
    if (host.starts_with('[')) {
        if (host.size() < 3 || !host.ends_with(']')) throw invalid();
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        throw invalid();  // an IPv6 address needs its brackets
    }
    if (!port || host.empty() || host.find_first_of("[]") != std::string_view::npos) throw invalid();
    return {{}, std::string(host), *port};
}

std::string_view connectionText(MuxDevice::Connection connection) {
    return connection == MuxDevice::Connection::usb ? "USB" : "Wi\u2011Fi";
}

namespace usbmux_wire {

Bytes encodePacket(const PlistDict& message, std::uint32_t tag) {
    const std::string xml = encodeXML(message);
    if (xml.size() > std::numeric_limits<std::uint32_t>::max() - kHeaderSize)
        throw PropertyListError("The data couldn’t be written because it isn’t in the correct format.");
    Bytes packet(kHeaderSize + xml.size());
    putLE32(packet, 0, static_cast<std::uint32_t>(packet.size()));
    putLE32(packet, 4, kProtocolVersion);
    putLE32(packet, 8, kPlistMessage);
    putLE32(packet, 12, tag);
    std::copy(xml.begin(), xml.end(), packet.begin() + kHeaderSize);
    return packet;
}

PlistDict readPacket(ByteStream& stream) {
    const Bytes header = stream.read(kHeaderSize);
    const std::uint32_t length = header[0] | (header[1] << 8) | (header[2] << 16) | (std::uint32_t(header[3]) << 24);
    if (length < kHeaderSize || length > kMaxPacketLength) throw CelvioError::usbmux("Invalid packet length");
    Bytes body = stream.read(length - kHeaderSize);
    // A pairing record's reply carries the host's private key.
    const CleanseOnExit wipe(body);
    PlistValue payload = decodePlist(body);
    auto* dict = payload.get<PlistDict>();
    if (!dict) throw CelvioError::usbmux("Invalid response");
    return std::move(*dict);
}

std::vector<MuxDevice> parseDeviceList(const PlistDict& reply, bool allConnections) {
    std::vector<MuxDevice> all;
    const auto entry = reply.find("DeviceList");
    const PlistArray* list = entry == reply.end() ? nullptr : entry->second.get<PlistArray>();
    if (!list || !std::all_of(list->begin(), list->end(), [](const PlistValue& v) { return v.get<PlistDict>(); }))
        return all;

    std::map<std::string, MuxDevice, std::less<>> byUDID;
    for (const PlistValue& item : *list) {
        const PlistDict& device = *item.get<PlistDict>();
        const PlistDict* properties = dictValue(device, "Properties");
        if (!properties) continue;
        auto udid = stringValue(*properties, "SerialNumber");
        if (!udid) continue;
        auto deviceID = intValue(device, "DeviceID");
        if (!deviceID) deviceID = intValue(*properties, "DeviceID");
        if (!deviceID) continue;
        const auto connection = stringValue(*properties, "ConnectionType") == "Network" ? MuxDevice::Connection::network
                                                                                       : MuxDevice::Connection::usb;
        MuxDevice record{*udid, *deviceID, connection};
        all.push_back(record);
        // A USB attachment is never replaced; a network one gives way to any later one.
        auto [it, inserted] = byUDID.try_emplace(record.udid, record);
        if (!inserted && it->second.connection != MuxDevice::Connection::usb) it->second = record;
    }
    if (allConnections) return all;
    std::vector<MuxDevice> unique;
    unique.reserve(byUDID.size());
    for (auto& [udid, record] : byUDID) unique.push_back(std::move(record));
    return unique;
}

void checkResult(const PlistDict& reply, const std::string& action) {
    if (stringValue(reply, "MessageType") != "Result") return;
    const auto number = intValue(reply, "Number");
    if (!number || *number == 0) return;
    throw CelvioError::usbmux(action + " failed: " + resultReason(*number));
}

}  // namespace usbmux_wire

USBMux::USBMux(double timeoutSeconds) : socket_(connectToDaemon(timeoutSeconds)) {}

void USBMux::send(const PlistDict& message) {
    const Bytes packet = usbmux_wire::encodePacket(message, tag_);
    ++tag_;
    socket_->startExchange();
    socket_->write(packet);
}

PlistDict USBMux::receive() { return usbmux_wire::readPacket(*socket_); }

std::vector<MuxDevice> USBMux::list(bool allConnections) {
    send(baseMessage("ListDevices"));
    return usbmux_wire::parseDeviceList(receive(), allConnections);
}

PlistDict USBMux::readPairRecord(const std::string& udid) {
    PlistDict message = baseMessage("ReadPairRecord");
    message["PairRecordID"] = udid;
    send(message);
    PlistDict reply = receive();
    const auto entry = reply.find("PairRecordData");
    Bytes* data = entry == reply.end() ? nullptr : entry->second.get<Bytes>();
    if (!data) throw CelvioError::notPaired();
    // The encoded record holds the host's private key; only the decoded one lives on.
    const CleanseOnExit wipe(*data);
    PlistValue record = decodePlist(*data);
    auto* dict = record.get<PlistDict>();
    if (!dict) throw CelvioError::pairing("The pairing record could not be read.");
    return std::move(*dict);
}

std::shared_ptr<Socket> USBMux::connect(std::int64_t deviceID, std::uint16_t port) {
    PlistDict message = baseMessage("Connect");
    message["DeviceID"] = deviceID;
    // The daemon takes the port in network byte order read as a host integer.
    message["PortNumber"] = static_cast<std::uint16_t>((port >> 8) | (port << 8));
    send(message);
    usbmux_wire::checkResult(receive(), "Connect to port " + std::to_string(port));
    return socket_;
}

void USBMux::close() noexcept { socket_->close(); }

// The client is the socket's only holder, so leaving scope closes it on both paths.
std::vector<MuxDevice> USBMux::listDevices(bool allConnections) { return USBMux(daemonTimeout).list(allConnections); }

PlistDict USBMux::pairRecord(const std::string& udid) { return USBMux(daemonTimeout).readPairRecord(udid); }

}  // namespace celvio
