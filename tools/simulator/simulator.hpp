#pragma once

#include "lockdown_service.hpp"
#include "plist/plist.hpp"
#include "relay_service.hpp"
#include "scenario.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace celvio::sim {

/// One packet the simulated daemon received, header fields as sent.
struct ReceivedPacket {
    std::uint32_t length = 0;
    std::uint32_t version = 0;
    std::uint32_t message = 0;
    std::uint32_t tag = 0;
    PlistDict payload;
};

/// A simulated usbmux daemon listening on a Unix socket. It serves every connection on
/// its own thread until the peer hangs up or the simulator stops. Every device runs a
/// lockdown service on port 62078, which starts the scenario's services on fresh ports.
class Simulator {
public:
    /// Handles a connection that a successful "Connect" handed to a device port. The
    /// descriptor stays owned by the simulator, which closes it after the handler returns.
    using ServiceHandler = std::function<void(int fd, const ScenarioDevice& device, std::uint16_t port)>;

    /// Makes every device's pairing material, binds `socketPath` (an existing socket file
    /// there is replaced) and starts serving. Throws std::runtime_error when it cannot listen.
    Simulator(Scenario scenario, std::string socketPath);
    ~Simulator();

    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    /// Stops accepting, hangs up every connection, joins every thread. Idempotent.
    /// Not from a service handler: it would wait for its own thread.
    void stop();

    const std::string& socketPath() const noexcept { return socketPath_; }
    /// Installs the handler for connections to `port` on every device, replacing the
    /// lockdown service for port 62078. Ports of started services take precedence.
    void setService(std::uint16_t port, ServiceHandler handler);
    /// Makes `kind` (as named by a scenario service's "kind") served by `handler`,
    /// replacing any earlier one; "echo" and "relay" are built in.
    void addServiceKind(std::string kind, ServiceKind handler);

    /// Connections accepted so far, and those still open now.
    int totalConnections() const noexcept { return total_.load(); }
    int openConnections() const noexcept { return open_.load(); }
    /// Every daemon packet received so far, in arrival order.
    std::vector<ReceivedPacket> received() const;
    /// Every lockdown request received so far, in arrival order.
    std::vector<LockdownRequest> lockdownRequests() const;
    /// Every request the built-in "relay" services received so far, in arrival order.
    std::vector<RelayRequest> relayRequests() const;
    /// TLS server handshakes (lockdown sessions and services) that completed with the
    /// pairing record's host certificate.
    int tlsHandshakes() const noexcept { return handshakes_.load(); }
    /// Bytes that reached a lockdown service after it fell silent ("silentOn"): what a
    /// client sent after its request went unanswered.
    std::size_t bytesAfterSilence() const noexcept { return ignored_.load(); }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string socketPath_;
    std::atomic<int> total_{0};
    std::atomic<int> open_{0};
    std::atomic<int> handshakes_{0};
    std::atomic<std::size_t> ignored_{0};
};

}  // namespace celvio::sim
