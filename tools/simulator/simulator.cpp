#include "simulator.hpp"

#include "base/file_io.hpp"  // FileDescriptor

#include "pairing_records.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <list>
#include <map>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace celvio::sim {

namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::uint32_t kMaxPacketLength = 32U * 1024 * 1024;
constexpr std::uint32_t kReplyVersion = 1;
constexpr std::uint32_t kPlistMessage = 8;
constexpr std::uint16_t kFirstServicePort = 49152;

using FileIO::FileDescriptor;

std::string systemText(int error) { return std::system_category().message(error); }

// Repeats `step` (a recv or send) until `count` bytes have moved; false on hang-up or error.
template <typename Byte, typename Step>
bool moveAll(Byte* bytes, std::size_t count, Step step) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = step(bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

bool readExactly(int fd, std::uint8_t* buffer, std::size_t count) {
    return moveAll(buffer, count, [fd](std::uint8_t* p, std::size_t n) { return ::recv(fd, p, n, 0); });
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t count) {
    return moveAll(data, count, [fd](const std::uint8_t* p, std::size_t n) { return ::send(fd, p, n, MSG_NOSIGNAL); });
}

// Keeps the connection open, throwing away whatever arrives, until the peer hangs up
// or the simulator shuts the descriptor down.
void drainUntilClosed(int fd) {
    std::array<std::uint8_t, 4096> buffer{};
    for (;;) {
        ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

// Sends `bytes` one at a time, `interval` apart; false once the peer has hung up or the
// simulator shut the connection down.
bool trickle(int fd, const Bytes& bytes, std::chrono::milliseconds interval) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            const auto until = std::chrono::steady_clock::now() + interval;
            for (auto left = interval; left.count() > 0;
                 left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())) {
                pollfd entry{fd, POLLRDHUP, 0};
                if (::poll(&entry, 1, static_cast<int>(left.count())) > 0) return false;
            }
        }
        if (!writeAll(fd, &bytes[i], 1)) return false;
    }
    return true;
}

std::uint32_t readLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void appendLE32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

Bytes header(std::uint32_t length, std::uint32_t tag) {
    Bytes out;
    out.reserve(kHeaderSize);
    appendLE32(out, length);
    appendLE32(out, kReplyVersion);
    appendLE32(out, kPlistMessage);
    appendLE32(out, tag);
    return out;
}

Bytes packet(std::uint32_t tag, ByteView payload) {
    Bytes out = header(static_cast<std::uint32_t>(kHeaderSize + payload.size()), tag);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes xmlPayload(const PlistValue& value) {
    auto xml = encodeXML(value);
    return Bytes(xml.begin(), xml.end());
}

PlistDict resultReply(std::int64_t number) {
    return PlistDict{{"MessageType", PlistValue("Result")}, {"Number", PlistValue(number)}};
}

const std::string* stringField(const PlistDict& dict, std::string_view key) {
    auto it = dict.find(key);
    return it == dict.end() ? nullptr : it->second.get<std::string>();
}

const std::int64_t* intField(const PlistDict& dict, std::string_view key) {
    auto it = dict.find(key);
    return it == dict.end() ? nullptr : it->second.get<std::int64_t>();
}

// A stable made-up service name per device, so repeated listings look alike.
std::string escapedServiceName(const std::string& udid) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : udid) hash = (hash ^ c) * 0x100000001b3ULL;
    std::array<unsigned, 6> mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) mac[i] = static_cast<unsigned>((hash >> (8 * i)) & 0xFF);
    mac[0] = (mac[0] & 0xFC) | 0x02;
    std::array<char, 128> text{};
    std::snprintf(text.data(), text.size(),
                  "%02x:%02x:%02x:%02x:%02x:%02x@fe80::%02x%02x:%02xff:fe%02x:%02x%02x"
                  "-supportsRP-24._apple-mobdev2._tcp.local",
                  mac[0], mac[1], mac[2], mac[3], mac[4], mac[5],
                  mac[0] ^ 0x02, mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text.data();
}

// What the connection does once the reply is out.
enum class After { nextRequest, drain, close, handOff };

struct Answer {
    PlistDict reply;
    const ScenarioDevice* device = nullptr;  // set for a Connect to a known device
    std::uint16_t port = 0;
    bool connected = false;                  // Connect result 0
};

}  // namespace

struct Simulator::Impl final : LockdownHost {
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    Impl(Simulator& owner, Scenario scenario) : owner(owner), scenario(std::move(scenario)) {
        services[kLockdownPort] = [this](int fd, const ScenarioDevice& device, std::uint16_t) {
            serveLockdown(fd, device, *this);
        };
        kinds["echo"] = echoService;
        kinds["relay"] = [this](PlistService& channel, const ScenarioDevice& device, const std::string& service) {
            relayService(channel, device, service, [this](RelayRequest request) {
                std::lock_guard lock(mutex);
                relayLog.push_back(std::move(request));
            });
        };
    }

    Simulator& owner;
    const Scenario scenario;
    FileDescriptor listener;
    std::thread acceptThread;

    mutable std::mutex mutex;  // guards everything below
    bool stopping = false;
    std::list<Connection> connections;  // list: the threads hold references to their element
    std::map<std::uint16_t, ServiceHandler> services;
    std::vector<ReceivedPacket> packets;
    std::map<std::string, ServiceKind, std::less<>> kinds;
    std::vector<LockdownRequest> lockdownLog;
    std::vector<RelayRequest> relayLog;
    std::map<std::pair<std::string, std::uint16_t>, std::string> started;  // (udid, port) -> service name
    std::uint16_t nextServicePort = kFirstServicePort;

    std::mutex stopMutex;
    bool stopped = false;

    void listen(const std::string& path);
    void acceptLoop();
    void serve(Connection& connection);
    void closeConnection(Connection& connection);
    Answer answer(const PlistDict& request, const std::string& type) const;
    PlistDict deviceList() const;
    void handOff(int fd, const ScenarioDevice* device, std::uint16_t port);

    void recordRequest(LockdownRequest request) override;
    void handshakeCompleted() override { ++owner.handshakes_; }
    void ignoredBytes(std::size_t count) override { owner.ignored_ += count; }
    std::optional<std::uint16_t> startService(const ScenarioDevice& device, const std::string& name) override;
};

void Simulator::Impl::recordRequest(LockdownRequest request) {
    std::lock_guard lock(mutex);
    lockdownLog.push_back(std::move(request));
}

std::optional<std::uint16_t> Simulator::Impl::startService(const ScenarioDevice& device, const std::string& name) {
    auto service = device.lockdown.services.find(name);
    if (service == device.lockdown.services.end()) return std::nullopt;
    std::lock_guard lock(mutex);
    if (kinds.find(service->second.kind) == kinds.end()) {
        std::fprintf(stderr, "celvio-sim: service %s of %s has the unknown kind \"%s\"\n", name.c_str(),
                     device.udid.c_str(), service->second.kind.c_str());
        return std::nullopt;
    }
    // Fresh ports from the dynamic range, skipping ports that have a handler of their own.
    for (int attempts = 0; attempts <= 65535 - kFirstServicePort; ++attempts) {
        std::uint16_t port = nextServicePort;
        nextServicePort = port == 65535 ? kFirstServicePort : static_cast<std::uint16_t>(port + 1);
        if (services.count(port) != 0) continue;
        if (!started.emplace(std::make_pair(device.udid, port), name).second) continue;
        return port;
    }
    std::fprintf(stderr, "celvio-sim: no free port for service %s of %s\n", name.c_str(), device.udid.c_str());
    return std::nullopt;
}

void Simulator::Impl::listen(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        throw std::runtime_error("socket path \"" + path + "\" is empty or longer than " +
                                 std::to_string(sizeof(address.sun_path) - 1) + " bytes");
    }
    std::memcpy(address.sun_path, path.data(), path.size());

    // Only a leftover socket is replaced; any other file at the path is left alone and bind fails.
    struct stat info{};
    if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) ::unlink(path.c_str());

    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) throw std::runtime_error("socket() failed: " + systemText(errno));
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        throw std::runtime_error("bind(" + path + ") failed: " + systemText(errno));
    }
    if (::listen(fd.get(), 64) != 0) {
        int error = errno;
        ::unlink(path.c_str());
        throw std::runtime_error("listen(" + path + ") failed: " + systemText(error));
    }
    listener = std::move(fd);
}

void Simulator::Impl::acceptLoop() {
    for (;;) {
        int fd = ::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            {
                std::lock_guard lock(mutex);
                if (stopping) return;
            }
            // Out of descriptors or similar: back off instead of spinning.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        std::list<Connection> finished;
        {
            std::lock_guard lock(mutex);
            if (stopping) {
                ::close(fd);
                return;
            }
            for (auto it = connections.begin(); it != connections.end();) {
                auto next = std::next(it);
                if (it->finished.load()) finished.splice(finished.end(), connections, it);
                it = next;
            }
            ++owner.total_;
            ++owner.open_;
            auto& connection = connections.emplace_back();
            connection.fd = fd;
            try {
                connection.thread = std::thread([this, &connection] { serve(connection); });
            } catch (const std::system_error& e) {
                std::fprintf(stderr, "celvio-sim: cannot start a connection thread: %s\n", e.what());
                ::close(fd);
                --owner.open_;
                connections.pop_back();
            }
        }
        for (auto& connection : finished) connection.thread.join();
    }
}

void Simulator::Impl::closeConnection(Connection& connection) {
    std::lock_guard lock(mutex);
    if (connection.fd >= 0) {
        ::close(connection.fd);
        connection.fd = -1;
        --owner.open_;
    }
}

PlistDict Simulator::Impl::deviceList() const {
    PlistArray list;
    for (const auto& device : scenario.devices) {
        for (const auto& attachment : device.attachments) {
            PlistDict properties{
                {"ConnectionType", PlistValue(attachment.connectionType)},
                {"DeviceID", PlistValue(attachment.deviceID)},
                {"SerialNumber", PlistValue(device.udid)},
            };
            if (attachment.connectionType == "USB") {
                properties.emplace("ProductID", PlistValue(4776));
                properties.emplace("LocationID", PlistValue(0));
            } else if (attachment.connectionType == "Network") {
                properties.emplace("EscapedFullServiceName", PlistValue(escapedServiceName(device.udid)));
            }
            list.push_back(PlistValue(PlistDict{
                {"DeviceID", PlistValue(attachment.deviceID)},
                {"MessageType", PlistValue("Attached")},
                {"Properties", PlistValue(std::move(properties))},
            }));
        }
    }
    list.insert(list.end(), scenario.extraListEntries.begin(), scenario.extraListEntries.end());
    return PlistDict{{"DeviceList", PlistValue(std::move(list))}};
}

Answer Simulator::Impl::answer(const PlistDict& request, const std::string& type) const {
    Answer answer;
    if (type == "ListDevices") {
        answer.reply = deviceList();
    } else if (type == "ReadPairRecord") {
        const std::string* udid = stringField(request, "PairRecordID");
        const ScenarioDevice* device = udid != nullptr ? scenario.deviceByUDID(*udid) : nullptr;
        if (device == nullptr || !device->paired) {
            answer.reply = resultReply(2);
        } else {
            auto record = pairingRecord(pairingMaterial(device->udid, device->pkcs8Key));
            for (const auto& key : device->omitPairKeys) record.erase(key);
            answer.reply = PlistDict{{"PairRecordData", PlistValue(xmlPayload(record))}};
        }
    } else if (type == "Connect") {
        const std::int64_t* deviceID = intField(request, "DeviceID");
        const std::int64_t* portNumber = intField(request, "PortNumber");
        const ScenarioDevice* device = deviceID != nullptr ? scenario.deviceByID(*deviceID) : nullptr;
        if (device == nullptr) {
            answer.reply = resultReply(2);
        } else if (portNumber == nullptr) {
            answer.reply = resultReply(1);
        } else {
            // The port travels in network byte order read as a host integer.
            auto wire = static_cast<std::uint16_t>(*portNumber);
            auto port = static_cast<std::uint16_t>((wire >> 8) | (wire << 8));
            auto it = device->connectResults.find(port);
            std::int64_t result = it != device->connectResults.end() ? it->second : device->defaultConnectResult;
            answer.reply = resultReply(result);
            answer.device = device;
            answer.port = port;
            answer.connected = result == 0;
        }
    } else {
        answer.reply = resultReply(1);
    }
    return answer;
}

void Simulator::Impl::handOff(int fd, const ScenarioDevice* device, std::uint16_t port) {
    ServiceHandler handler;
    if (device != nullptr) {
        std::lock_guard lock(mutex);
        if (auto it = started.find(std::make_pair(device->udid, port)); it != started.end()) {
            const std::string name = it->second;
            ServiceKind kind = kinds.at(device->lockdown.services.at(name).kind);
            handler = [this, name, kind](int serviceFD, const ScenarioDevice& serviceDevice, std::uint16_t) {
                serveService(serviceFD, serviceDevice, name, kind, *this);
            };
        } else if (auto handlerIt = services.find(port); handlerIt != services.end()) {
            handler = handlerIt->second;
        }
    }
    if (!handler) {
        drainUntilClosed(fd);
        return;
    }
    try {
        handler(fd, *device, port);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "celvio-sim: service on port %u failed: %s\n", static_cast<unsigned>(port), e.what());
    }
}

void Simulator::Impl::serve(Connection& connection) {
    const int fd = connection.fd;
    try {
        for (;;) {
            std::array<std::uint8_t, kHeaderSize> head{};
            if (!readExactly(fd, head.data(), head.size())) break;
            ReceivedPacket received;
            received.length = readLE32(head.data());
            received.version = readLE32(head.data() + 4);
            received.message = readLE32(head.data() + 8);
            received.tag = readLE32(head.data() + 12);
            if (received.length < kHeaderSize || received.length > kMaxPacketLength) break;
            Bytes payload(received.length - kHeaderSize);
            if (!readExactly(fd, payload.data(), payload.size())) break;

            // An undecodable payload is kept as an empty dictionary; it then has no
            // "MessageType" and gets the generic error.
            try {
                auto value = decodePlist(payload);
                if (auto* dict = value.get<PlistDict>()) received.payload = std::move(*dict);
            } catch (const std::exception&) {
            }
            const std::string* typeField = stringField(received.payload, "MessageType");
            const std::string type = typeField != nullptr ? *typeField : std::string();
            const std::uint32_t tag = received.tag;
            {
                std::lock_guard lock(mutex);
                packets.push_back(received);
            }

            Answer reply = answer(received.payload, type);
            Bytes out;
            After after = reply.connected ? After::handOff : After::nextRequest;
            auto fault = scenario.faults.find(type);
            if (fault == scenario.faults.end()) {
                out = packet(tag, xmlPayload(reply.reply));
            } else {
                switch (fault->second.kind) {
                case Fault::Kind::length:
                    out = header(fault->second.length, tag);
                    after = After::drain;
                    break;
                case Fault::Kind::notDictionary:
                    out = packet(tag, xmlPayload(PlistArray{PlistValue(reply.reply)}));
                    after = After::nextRequest;
                    break;
                case Fault::Kind::garbage: {
                    static constexpr std::uint8_t kGarbage[] = {0x00, 0xFF, 0xFE, 'n', 'o', 't', ' ', 'a', ' ',
                                                                'p', 'l', 'i', 's', 't', 0x01, 0x80};
                    out = packet(tag, ByteView(kGarbage, sizeof kGarbage));
                    after = After::nextRequest;
                    break;
                }
                case Fault::Kind::binary:
                    out = packet(tag, encodeBinary(PlistValue(reply.reply)));
                    break;
                case Fault::Kind::silence:
                    after = After::drain;
                    break;
                case Fault::Kind::hangup:
                    out = packet(tag, xmlPayload(reply.reply));
                    out.resize(std::min(out.size(), fault->second.bytes));
                    after = After::close;
                    break;
                case Fault::Kind::slow:
                    out = packet(tag, xmlPayload(reply.reply));
                    if (!trickle(fd, out, std::chrono::milliseconds(fault->second.interval))) after = After::close;
                    out.clear();
                    break;
                case Fault::Kind::noResult:
                    out = packet(tag, xmlPayload(PlistDict{{"MessageType", PlistValue("Attached")}}));
                    after = After::handOff;
                    break;
                }
            }
            if (!writeAll(fd, out.data(), out.size())) break;
            if (after == After::close) break;
            if (after == After::drain) {
                drainUntilClosed(fd);
                break;
            }
            if (after == After::handOff) {
                handOff(fd, reply.device, reply.port);
                break;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "celvio-sim: connection failed: %s\n", e.what());
    }
    closeConnection(connection);
    connection.finished = true;
}

Simulator::Simulator(Scenario scenario, std::string socketPath)
    : impl_(std::make_unique<Impl>(*this, std::move(scenario))), socketPath_(std::move(socketPath)) {
    // Keys take seconds on a loaded machine; made here, they never count against a
    // client's time-out, which would turn a prompt device into a silent one.
    for (const auto& device : impl_->scenario.devices) pairingMaterial(device.udid, device.pkcs8Key);
    impl_->listen(socketPath_);
    try {
        impl_->acceptThread = std::thread([this] { impl_->acceptLoop(); });
    } catch (...) {
        impl_->listener.close();
        ::unlink(socketPath_.c_str());
        throw;
    }
}

Simulator::~Simulator() {
    stop();
    ::unlink(socketPath_.c_str());
}

void Simulator::stop() {
    std::lock_guard stopLock(impl_->stopMutex);
    if (impl_->stopped) return;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    // Shutting the listener down wakes the blocked accept().
    ::shutdown(impl_->listener.get(), SHUT_RDWR);
    if (impl_->acceptThread.joinable()) impl_->acceptThread.join();
    impl_->listener.close();

    std::list<Impl::Connection> all;
    {
        std::lock_guard lock(impl_->mutex);
        for (auto& connection : impl_->connections) {
            if (connection.fd >= 0) ::shutdown(connection.fd, SHUT_RDWR);
        }
        all.splice(all.end(), impl_->connections);
    }
    for (auto& connection : all) {
        if (connection.thread.joinable()) connection.thread.join();
    }
    impl_->stopped = true;
}

void Simulator::setService(std::uint16_t port, ServiceHandler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->services[port] = std::move(handler);
}

std::vector<ReceivedPacket> Simulator::received() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->packets;
}

void Simulator::addServiceKind(std::string kind, ServiceKind handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->kinds[std::move(kind)] = std::move(handler);
}

std::vector<LockdownRequest> Simulator::lockdownRequests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lockdownLog;
}

std::vector<RelayRequest> Simulator::relayRequests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->relayLog;
}

}  // namespace celvio::sim
