#include "lockdown_client.hpp"

#include "celvio_error.hpp"
#include "platform/host_words.hpp"
#include "tls_stream.hpp"

namespace celvio {
namespace {

constexpr const char* kLockdownType = "com.apple.mobile.lockdown";

const Bytes* dataValue(const PlistDict& dict, std::string_view key) {
    const auto it = dict.find(key);
    return it == dict.end() ? nullptr : it->second.get<Bytes>();
}

}  // namespace

namespace lockdown_replies {

std::string describe(const std::string& code) {
    if (code == "InvalidHostID") return std::string(hostWords().noLongerTrusted);
    if (code == "PasswordProtected") return "The device is locked. Unlock it and try again.";
    if (code == "PairingDialogResponsePending") return "Please tap \u201CTrust\u201D on the device.";
    if (code == "UserDeniedPairing") return "Pairing was denied on the device.";
    if (code == "SessionInactive") return "The lockdown session is not active.";
    return "Device error: " + code;
}

void check(const PlistDict& reply) {
    if (auto error = stringValue(reply, "Error")) throw CelvioError::lockdown(describe(*error));
}

void checkType(const PlistDict& reply) {
    if (auto type = stringValue(reply, "Type"); type && *type != kLockdownType)
        throw CelvioError::lockdown("Unexpected lockdown service type " + *type);
}

std::optional<std::uint16_t> servicePort(const PlistDict& reply) {
    // A port that does not fit in 16 bits is no more usable than a missing one.
    const auto port = intValue(reply, "Port");
    if (!port || *port < 0 || *port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

}  // namespace lockdown_replies

LockdownClient::LockdownClient(MuxDevice device, LockdownTimeouts timeouts)
    : device_(std::move(device)),
      timeout_(device_.connection == MuxDevice::Connection::network ? timeouts.network : timeouts.usb),
      pairRecord_(USBMux::pairRecord(device_.udid)),
      socket_(connect(port)),
      service_(std::make_shared<PlistService>(socket_)) {
    try {
        lockdown_replies::checkType(request({{"Request", "QueryType"}}));
    } catch (...) {
        close();
        throw;
    }
}

LockdownClient::~LockdownClient() { close(); }

std::shared_ptr<Socket> LockdownClient::connect(std::uint16_t devicePort) const {
    // The daemon client is dropped right away; the socket lives on with its new owner.
    return USBMux(timeout_).connect(device_.deviceID, devicePort);
}

PlistDict LockdownClient::request(PlistDict message) {
    message["Label"] = "Celvio";
    service_->send(message);
    PlistDict reply = service_->receive();
    lockdown_replies::check(reply);
    return reply;
}

std::shared_ptr<const TLSIdentity::Identity> LockdownClient::makeIdentity() {
    if (identity_) return identity_;
    const Bytes* certificate = dataValue(pairRecord_, "HostCertificate");
    const Bytes* key = dataValue(pairRecord_, "HostPrivateKey");
    if (!certificate || !key) throw CelvioError::pairing("The pairing record contains no host certificate.");
    identity_ = TLSIdentity::make(*certificate, *key);
    return identity_;
}

void LockdownClient::startSession() {
    const auto hostID = stringValue(pairRecord_, "HostID");
    if (!hostID) throw CelvioError::pairing("The pairing record has no HostID.");
    PlistDict message{{"Request", "StartSession"}, {"HostID", *hostID}};
    if (auto buid = stringValue(pairRecord_, "SystemBUID")) message["SystemBUID"] = *buid;
    const PlistDict reply = request(std::move(message));
    sessionID_ = stringValue(reply, "SessionID");
    if (boolValue(reply, "EnableSessionSSL").value_or(false))
        service_->setStream(std::make_shared<TLSStream>(socket_, makeIdentity()));
}

std::optional<PlistValue> LockdownClient::value(const std::optional<std::string>& domain,
                                                const std::optional<std::string>& key) {
    PlistDict message{{"Request", "GetValue"}};
    if (domain) message["Domain"] = *domain;
    if (key) message["Key"] = *key;
    PlistDict reply = request(std::move(message));
    const auto it = reply.find("Value");
    if (it == reply.end()) return std::nullopt;
    return std::move(it->second);
}

std::shared_ptr<PlistService> LockdownClient::startService(const std::string& name) {
    const PlistDict reply = request({{"Request", "StartService"}, {"Service", name}});
    const auto servicePort = lockdown_replies::servicePort(reply);
    if (!servicePort) throw CelvioError::lockdown("Service " + name + " could not be started.");
    auto socket = connect(*servicePort);
    try {
        if (!boolValue(reply, "EnableServiceSSL").value_or(false)) return std::make_shared<PlistService>(socket);
        return std::make_shared<PlistService>(std::make_shared<TLSStream>(socket, makeIdentity()));
    } catch (...) {
        socket->close();
        throw;
    }
}

void LockdownClient::close() noexcept {
    if (sessionID_) {
        try {
            request({{"Request", "StopSession"}, {"SessionID", *sessionID_}});
        } catch (...) {
            // The connection is closed below either way.
        }
        sessionID_.reset();
    }
    if (service_) service_->close();
}

}  // namespace celvio
