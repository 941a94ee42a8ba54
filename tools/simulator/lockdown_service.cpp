#include "lockdown_service.hpp"

#include "base/celvio_error.hpp"
#include "pairing_records.hpp"
#include "link/socket.hpp"
#include "tls_server.hpp"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace celvio::sim {

namespace {

constexpr std::int64_t kOutOfRangePort = 70000;
// A record header and a few bytes of its body: the peer is left inside the record.
constexpr std::size_t kTruncatedBytes = 12;

// The Socket closes its own copy, the simulator the original: each is closed once.
std::shared_ptr<Socket> adopt(int fd) {
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) throw std::system_error(errno, std::system_category(), "dup of a service connection");
    // No time-out: the simulator waits for its peer as long as the peer likes.
    return std::make_shared<Socket>(copy, 0.0);
}

bool quiet(const CelvioError& error) {
    return error.kind() == CelvioError::Kind::connectionClosed || error.kind() == CelvioError::Kind::socket;
}

// Stays silent until the peer hangs up, reporting every byte that still arrives.
void drainUntilClosed(int fd, LockdownHost& host) {
    std::array<std::uint8_t, 4096> buffer{};
    for (;;) {
        ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n > 0) host.ignoredBytes(static_cast<std::size_t>(n));
        if (n > 0 || (n < 0 && errno == EINTR)) continue;
        return;
    }
}

// Whether a fault's request name ("GetValue" or "GetValue:<domain>") covers this request.
bool names(const std::string& fault, const std::string& request, const std::string* detail) {
    if (fault.empty() || request.empty()) return false;
    return fault == request || (detail != nullptr && fault == request + ":" + *detail);
}

const std::string* stringField(const PlistDict& dict, std::string_view key) {
    auto it = dict.find(key);
    return it == dict.end() ? nullptr : it->second.get<std::string>();
}

// What PlistService::send puts on the wire.
Bytes frame(const PlistDict& message) {
    const std::string xml = encodeXML(message);
    const auto length = static_cast<std::uint32_t>(xml.size());
    Bytes out;
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(length >> shift));
    out.insert(out.end(), xml.begin(), xml.end());
    return out;
}

class LockdownConnection {
public:
    LockdownConnection(int fd, const ScenarioDevice& device, LockdownHost& host)
        : device_(device),
          config_(device.lockdown),
          material_(pairingMaterial(device.udid, device.pkcs8Key)),
          host_(host),
          socket_(adopt(fd)),
          channel_(socket_) {}

    void serve();

private:
    std::optional<std::string> configuredError(const std::string& request, const std::string* detail) const;
    PlistDict reply(const std::string& request, const PlistDict& message);
    PlistDict startSession(const PlistDict& message);
    PlistDict getValue(const PlistDict& message) const;
    PlistDict startService(const PlistDict& message);
    void sendTruncated(const PlistDict& message);

    const ScenarioDevice& device_;
    const ScenarioLockdown& config_;
    const PairingMaterial& material_;
    LockdownHost& host_;
    std::shared_ptr<Socket> socket_;
    std::shared_ptr<TlsServerStream> tls_;
    PlistService channel_;
    bool inSession_ = false;
    bool startTLS_ = false;
};

std::optional<std::string> LockdownConnection::configuredError(const std::string& request,
                                                               const std::string* detail) const {
    if (detail != nullptr) {
        if (auto it = config_.errors.find(request + ":" + *detail); it != config_.errors.end()) return it->second;
    }
    if (auto it = config_.errors.find(request); it != config_.errors.end()) return it->second;
    return std::nullopt;
}

PlistDict LockdownConnection::startSession(const PlistDict& message) {
    const std::string* hostID = stringField(message, "HostID");
    if (hostID == nullptr || *hostID != material_.hostID) {
        return {{"Request", PlistValue("StartSession")}, {"Error", PlistValue("InvalidHostID")}};
    }
    if (inSession_) return {{"Request", PlistValue("StartSession")}, {"Error", PlistValue("SessionActive")}};
    inSession_ = true;
    // A connection switches to TLS once; a later session on it stays under that TLS.
    startTLS_ = config_.sessionSSL && !tls_;
    return {{"Request", PlistValue("StartSession")},
            {"SessionID", PlistValue(randomUUID())},
            {"EnableSessionSSL", PlistValue(config_.sessionSSL)}};
}

PlistDict LockdownConnection::getValue(const PlistDict& message) const {
    const std::string* domain = stringField(message, "Domain");
    const std::string* key = stringField(message, "Key");
    PlistDict answer{{"Request", PlistValue("GetValue")}};
    if (domain != nullptr) answer.emplace("Domain", *domain);
    if (key != nullptr) answer.emplace("Key", *key);

    const PlistDict* source = &config_.values;
    if (domain != nullptr) {
        auto it = config_.domains.find(*domain);
        source = it != config_.domains.end() ? &it->second : nullptr;
    }
    if (source == nullptr) return answer;
    if (key == nullptr) {
        answer.emplace("Value", *source);
    } else if (auto it = source->find(*key); it != source->end()) {
        answer.emplace("Value", it->second);
    }
    return answer;
}

PlistDict LockdownConnection::startService(const PlistDict& message) {
    const std::string* name = stringField(message, "Service");
    auto invalid = [] {
        return PlistDict{{"Request", PlistValue("StartService")}, {"Error", PlistValue("InvalidService")}};
    };
    if (name == nullptr) return invalid();
    auto service = config_.services.find(*name);
    if (service == config_.services.end()) return invalid();
    if (service->second.kind == "relay" && device_.relay.faults.notStartable) return invalid();

    PlistDict answer{{"Request", PlistValue("StartService")},
                     {"Service", PlistValue(*name)},
                     {"EnableServiceSSL", PlistValue(service->second.ssl)}};
    if (config_.faults.noPort) return answer;
    if (config_.faults.portOutOfRange) {
        answer.emplace("Port", PlistValue(kOutOfRangePort));
        return answer;
    }
    auto port = host_.startService(device_, *name);
    if (!port) return invalid();
    answer.emplace("Port", PlistValue(static_cast<std::int64_t>(*port)));
    return answer;
}

PlistDict LockdownConnection::reply(const std::string& request, const PlistDict& message) {
    const std::string* detail = nullptr;
    if (request == "GetValue") detail = stringField(message, "Domain");
    if (request == "StartService") detail = stringField(message, "Service");
    if (!request.empty()) {
        if (auto code = configuredError(request, detail)) {
            return {{"Request", PlistValue(request)}, {"Error", PlistValue(*code)}};
        }
    }

    if (request == "QueryType") {
        PlistDict answer{{"Request", PlistValue("QueryType")}};
        if (config_.type) answer.emplace("Type", *config_.type);
        return answer;
    }
    if (request == "StartSession") return startSession(message);
    if (request == "GetValue") return getValue(message);
    if (request == "StartService") return startService(message);
    if (request == "StopSession") {
        inSession_ = false;
        return {{"Request", PlistValue("StopSession")}};
    }
    PlistDict answer{{"Error", PlistValue("InvalidRequest")}};
    if (!request.empty()) answer.emplace("Request", request);
    return answer;
}

void LockdownConnection::sendTruncated(const PlistDict& message) {
    const Bytes bytes = frame(message);
    if (tls_) {
        tls_->writeTruncated(bytes, kTruncatedBytes);
    } else {
        socket_->write(ByteView(bytes).first(std::min(kTruncatedBytes, bytes.size() - 1)));
    }
}

void LockdownConnection::serve() {
    for (;;) {
        PlistDict message = channel_.receive();
        const std::string* requestField = stringField(message, "Request");
        const std::string request = requestField != nullptr ? *requestField : std::string();
        host_.recordRequest(LockdownRequest{device_.udid, request, tls_ != nullptr, message});
        const std::string* detail = stringField(message, request == "StartService" ? "Service" : "Domain");

        if (names(config_.faults.silentOn, request, detail)) {
            drainUntilClosed(socket_->fd(), host_);
            return;
        }
        PlistDict answer = reply(request, message);
        if (names(config_.faults.closeMidTLSRead, request, detail)) {
            sendTruncated(answer);
            return;
        }
        if (names(config_.faults.lateOn, request, detail))
            std::this_thread::sleep_for(std::chrono::milliseconds(config_.faults.lateBy));
        channel_.send(answer);
        if (startTLS_) {
            startTLS_ = false;
            tls_ = std::make_shared<TlsServerStream>(socket_->fd(), material_, config_.faults.tls13Only);
            host_.handshakeCompleted();
            channel_.setStream(tls_);
        }
    }
}

}  // namespace

void serveLockdown(int fd, const ScenarioDevice& device, LockdownHost& host) {
    try {
        LockdownConnection(fd, device, host).serve();
    } catch (const CelvioError& e) {
        if (!quiet(e)) throw;
    }
}

void serveService(int fd, const ScenarioDevice& device, const std::string& name, const ServiceKind& kind,
                  LockdownHost& host) {
    try {
        auto socket = adopt(fd);
        PlistService channel(socket);
        auto service = device.lockdown.services.find(name);
        if (service != device.lockdown.services.end() && service->second.ssl) {
            const auto& material = pairingMaterial(device.udid, device.pkcs8Key);
            channel.setStream(
                std::make_shared<TlsServerStream>(socket->fd(), material, device.lockdown.faults.tls13Only));
            host.handshakeCompleted();
        }
        kind(channel, device, name);
    } catch (const CelvioError& e) {
        if (!quiet(e)) throw;
    }
}

void echoService(PlistService& channel, const ScenarioDevice&, const std::string&) {
    for (;;) channel.send(channel.receive());
}

}  // namespace celvio::sim
