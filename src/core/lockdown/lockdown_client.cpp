#include "lockdown/lockdown_client.hpp"

#include "base/celvio_error.hpp"
#include "lockdown/openssl_handles.hpp"  // cleanse
#include "lockdown/tls_stream.hpp"

namespace celvio {
namespace {

constexpr const char* kLockdownType = "com.apple.mobile.lockdown";

Bytes* dataValue(PlistDict& dict, std::string_view key) {
    const auto it = dict.find(key);
    return it == dict.end() ? nullptr : it->second.get<Bytes>();
}

}  // namespace

namespace lockdown_replies {

CelvioError error(const std::string& code) {
    if (code == "InvalidHostID") return CelvioError::invalidHostID();
    if (code == "PasswordProtected") return CelvioError::lockdown("The device is locked. Unlock it and try again.");
    if (code == "PairingDialogResponsePending")
        return CelvioError::lockdown("Please tap \u201CTrust\u201D on the device.");
    if (code == "UserDeniedPairing") return CelvioError::lockdown("Pairing was denied on the device.");
    if (code == "SessionInactive") return CelvioError::lockdown("The lockdown session is not active.");
    return CelvioError::lockdown("Device error: " + code);
}

void check(const PlistDict& reply) {
    if (auto code = stringValue(reply, "Error")) throw error(*code);
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
      timeout_(device_.connection == MuxDevice::Connection::network ? timeouts.network : timeouts.usb) {
    takePairRecord(USBMux::pairRecord(device_.udid));
    try {
        socket_ = connect(port);
        service_ = std::make_shared<PlistService>(socket_);
        lockdown_replies::checkType(request({{"Request", "QueryType"}}));
    } catch (...) {
        close();
        throw;
    }
}

LockdownClient::~LockdownClient() { close(); }

void LockdownClient::takePairRecord(PlistDict record) {
    hostID_ = stringValue(record, "HostID");
    systemBUID_ = stringValue(record, "SystemBUID");
    if (Bytes* certificate = dataValue(record, "HostCertificate")) hostCertificate_ = std::move(*certificate);
    // Moved, not copied: the only copy of the key is the one forgetPairingKeys() wipes.
    if (Bytes* key = dataValue(record, "HostPrivateKey")) hostPrivateKey_ = std::move(*key);
}

void LockdownClient::forgetPairingKeys() noexcept {
    if (hostPrivateKey_) cleanse(*hostPrivateKey_);
    hostPrivateKey_.reset();
    hostCertificate_.reset();
}

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
    if (!hostCertificate_ || !hostPrivateKey_)
        throw CelvioError::pairing("The pairing record contains no host certificate.");
    identity_ = TLSIdentity::make(*hostCertificate_, *hostPrivateKey_);
    forgetPairingKeys();
    return identity_;
}

void LockdownClient::startSession() {
    if (!hostID_) throw CelvioError::pairing("The pairing record has no HostID.");
    PlistDict message{{"Request", "StartSession"}, {"HostID", *hostID_}};
    if (systemBUID_) message["SystemBUID"] = *systemBUID_;
    const PlistDict reply = request(std::move(message));
    sessionID_ = stringValue(reply, "SessionID");
    if (!boolValue(reply, "EnableSessionSSL").value_or(false)) return;
    const auto identity = makeIdentity();
    try {
        service_->setStream(std::make_shared<TLSStream>(socket_, identity));
    } catch (...) {
        connectionLost_ = true;
        throw;
    }
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
    // After a failed transport nothing more is sent: a StopSession would only wait out
    // another time-out, or meet a reply meant for an earlier request.
    if (sessionID_ && service_ && !service_->failed() && !connectionLost_) {
        try {
            request({{"Request", "StopSession"}, {"SessionID", *sessionID_}});
        } catch (...) {
            // The connection is closed below either way.
        }
    }
    sessionID_.reset();
    if (service_) service_->close();
    forgetPairingKeys();
}

}  // namespace celvio
