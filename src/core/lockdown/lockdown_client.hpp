#pragma once

#include "base/celvio_error.hpp"
#include "plist/plist.hpp"
#include "link/plist_service.hpp"
#include "link/socket.hpp"
#include "lockdown/tls_identity.hpp"
#include "link/usbmux.hpp"

#include <memory>
#include <optional>
#include <string>

namespace celvio {

/// Per-call socket time-outs of the connections a lockdown client opens, in seconds.
struct LockdownTimeouts {
    double usb = 8.0;
    double network = 15.0;
};

/// A client of a device's lockdown service (device port 62078): checks the peer, starts
/// a session with the pairing identity (under TLS when the device asks), reads values and
/// starts further services on connections of their own.
class LockdownClient {
public:
    static constexpr std::uint16_t port = 62078;

    /// Reads the pairing record, connects and checks "QueryType". Closes whatever it
    /// opened before an error leaves.
    explicit LockdownClient(MuxDevice device, LockdownTimeouts timeouts = {});
    /// Closes, as close() does.
    ~LockdownClient();

    LockdownClient(const LockdownClient&) = delete;
    LockdownClient& operator=(const LockdownClient&) = delete;

    const MuxDevice& device() const noexcept { return device_; }

    /// "StartSession" with the pairing record's HostID (and SystemBUID when present);
    /// switches the connection to TLS when the device asks for it.
    void startSession();
    /// "GetValue" for the domain and key given; absent when the reply has no "Value".
    std::optional<PlistValue> value(const std::optional<std::string>& domain, const std::optional<std::string>& key);
    /// Starts a service and returns a channel on its own connection, under TLS when the
    /// device asks. The caller owns and closes the channel.
    std::shared_ptr<PlistService> startService(const std::string& name);
    /// "StopSession" when a session is open and the connection has not failed (its failure
    /// ignored), then closes the stream.
    void close() noexcept;

private:
    PlistDict request(PlistDict message);
    std::shared_ptr<const TLSIdentity::Identity> makeIdentity();
    std::shared_ptr<Socket> connect(std::uint16_t devicePort) const;
    void takePairRecord(PlistDict record);
    void forgetPairingKeys() noexcept;

    MuxDevice device_;
    double timeout_;
    // What the pairing record gives; its certificate and key only until the identity is made.
    std::optional<std::string> hostID_;
    std::optional<std::string> systemBUID_;
    std::optional<Bytes> hostCertificate_;
    std::optional<Bytes> hostPrivateKey_;  // wiped once the identity holds the key
    bool connectionLost_ = false;          // a failed TLS handshake took the connection with it
    std::shared_ptr<Socket> socket_;
    std::shared_ptr<PlistService> service_;
    std::shared_ptr<const TLSIdentity::Identity> identity_;
    std::optional<std::string> sessionID_;
};

// How replies are read, separate so that they can be driven without a device.
namespace lockdown_replies {

/// The `lockdown` error for a device error code.
CelvioError error(const std::string& code);
/// Throws error() when the reply carries "Error".
void check(const PlistDict& reply);
/// Throws "Unexpected lockdown service type …" unless "Type" is absent or the lockdown's.
void checkType(const PlistDict& reply);
/// "Port" of a StartService reply, when present and a 16-bit number.
std::optional<std::uint16_t> servicePort(const PlistDict& reply);

}  // namespace lockdown_replies

}  // namespace celvio
