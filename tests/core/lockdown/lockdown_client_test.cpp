#include "lockdown/lockdown_client.hpp"

#include "simulated_daemon.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace celvio;
using celvio::test::expectError;
using celvio::test::SimulatedDaemon;

namespace {

constexpr const char* kUDID = "00008120-001A2B3C4D5E6F70";
const MuxDevice kUSB{kUDID, 1, MuxDevice::Connection::usb};
const LockdownTimeouts kShort{0.3, 0.3};

/// One device (deviceID 1) with the given lockdown block and extra device keys.
std::string scenario(const std::string& lockdown, const std::string& extra = "", const char* via = "USB") {
    return std::string(R"({"devices": [{"udid": ")") + kUDID + R"(", "attachments": [{"deviceID": 1, )" +
           R"("connection": ")" + via + R"("}], )" + extra + R"("lockdown": )" + lockdown + "}]}";
}

// A device's values, its battery domain, and one service with TLS and one without.
const std::string kNormal = celvio::test::readText(CELVIO_TEST_DATA_DIR "/simulator/lockdown-normal.json");

std::vector<std::string> requestNames(const sim::Simulator& sim) {
    std::vector<std::string> names;
    for (const auto& r : sim.lockdownRequests()) names.push_back(r.request);
    return names;
}

}  // namespace

TEST(LockdownClient, SessionUnderTLSCarriesEveryLaterRequest) {
    SimulatedDaemon daemon(scenario(kNormal));
    {
        LockdownClient client(kUSB, kShort);
        client.startSession();
        const auto values = client.value(std::nullopt, std::nullopt);
        EXPECT_EQ(stringValue(*values.value().get<PlistDict>(), "ProductType"), "iPhone15,2");
        const auto battery = client.value("com.apple.mobile.battery", std::nullopt);
        EXPECT_EQ(intValue(*battery.value().get<PlistDict>(), "BatteryCurrentCapacity"), 57);
        EXPECT_EQ(client.value(std::nullopt, "DeviceName"), PlistValue("Anna's iPhone"));
        EXPECT_EQ(client.value("com.example.nothing", std::nullopt), std::nullopt);
        client.close();
        client.close();
    }
    const auto requests = daemon.sim.lockdownRequests();
    ASSERT_EQ(requestNames(daemon.sim),
              (std::vector<std::string>{"QueryType", "StartSession", "GetValue", "GetValue", "GetValue", "GetValue",
                                        "StopSession"}));
    for (const auto& r : requests) {
        EXPECT_EQ(stringValue(r.message, "Label"), "Celvio");
        // Everything after the StartSession reply travels under TLS, StopSession included.
        EXPECT_EQ(r.underTLS, r.request != "QueryType" && r.request != "StartSession") << r.request;
    }
    const auto& start = requests[1].message;
    const PlistDict record = USBMux::pairRecord(kUDID);
    for (const char* key : {"HostID", "SystemBUID"}) EXPECT_EQ(stringValue(start, key), stringValue(record, key));
    EXPECT_TRUE(stringValue(requests.back().message, "SessionID").has_value());
    EXPECT_EQ(daemon.sim.tlsHandshakes(), 1);
    EXPECT_TRUE(daemon.allClosed());

    // A device that names no type and wants no TLS: plain all the way, StopSession included.
    SimulatedDaemon plain(scenario(R"({"type": null, "sessionSSL": false, "values": {"DeviceName": "Plain"}})"));
    {
        LockdownClient client(kUSB, kShort);
        client.startSession();
        EXPECT_EQ(client.value(std::nullopt, "DeviceName"), PlistValue("Plain"));
    }
    for (const auto& r : plain.sim.lockdownRequests()) EXPECT_FALSE(r.underTLS) << r.request;
    EXPECT_EQ(std::tuple(requestNames(plain.sim).back(), plain.sim.tlsHandshakes()), std::tuple("StopSession", 0));
    EXPECT_TRUE(plain.allClosed());
}

TEST(LockdownClient, ServicesOnTheirOwnConnections) {
    SimulatedDaemon daemon(scenario(kNormal));
    LockdownClient client(kUSB, kShort);
    client.startSession();
    const PlistDict ping{{"Request", "Ping"}, {"Payload", Bytes(3000, 9)}};
    for (const char* name : {"com.example.echo", "com.example.plain"}) {
        auto service = client.startService(name);
        EXPECT_EQ(service->request(ping), ping) << name;
        service->close();
    }
    // The session and the TLS service both handshook with the host certificate; the key is
    // wiped once made into an identity, so the service could only reuse the session's.
    EXPECT_EQ(daemon.sim.tlsHandshakes(), 2);
    client.close();
    EXPECT_TRUE(daemon.allClosed());
}

TEST(LockdownClient, FailuresCloseWhatTheyOpened) {
    const auto session = [](LockdownClient& c) { c.startSession(); };
    const auto service = [](const char* name) {
        return [name](LockdownClient& c) { c.startSession(); c.startService(name); };
    };
    const auto values = [](LockdownClient& c) { c.startSession(); c.value(std::nullopt, std::nullopt); };
    const std::string refused = "usbmuxd: Connect to port 62078 failed: connection refused by device";
    const struct {
        const char* extra;  // device keys
        const char* lockdown;
        std::function<void(LockdownClient&)> step;  // none: the constructor fails
        std::string text;
    } rows[] = {
        {R"("omitPairKeys": ["HostID"], )", kNormal.c_str(), session, "The pairing record has no HostID."},
        {R"("omitPairKeys": ["HostPrivateKey"], )", kNormal.c_str(), session,
         "The pairing record contains no host certificate."},
        {R"("paired": false, )", kNormal.c_str(), nullptr,
         "This computer is not paired with the device. Connect it once via USB and tap \u201CTrust\u201D on the "
         "device."},
        {"", R"({"errors": {"StartSession": "PasswordProtected"}})", session,
         "The device is locked. Unlock it and try again."},
        {"", R"({"errors": {"StartSession": "InvalidHostID"}})", session,
         "The device no longer trusts this computer. Connect it via USB and tap \u201CTrust\u201D."},
        {"", R"({"type": "com.example.other"})", nullptr, "Unexpected lockdown service type com.example.other"},
        {"", R"({"faults": {"silentOn": "QueryType"}})", nullptr, "The device did not respond in time."},
        {"", R"({"services": {"com.example.echo": {"ssl": true}}, "faults": {"noPort": true}})",
         service("com.example.echo"), "Service com.example.echo could not be started."},
        {"", R"({"services": {"com.example.echo": {"ssl": true}}, "faults": {"portOutOfRange": true}})",
         service("com.example.echo"), "Service com.example.echo could not be started."},
        {"", R"({"faults": {"closeMidTLSRead": "GetValue"}})", values, "The connection was closed by the device."},
        {"", R"({"faults": {"silentOn": "GetValue"}})", values, "TLS: Read failed (5)"},
        // A TLS 1.3-only device: the failed handshake takes the connection with it.
        {"", R"({"faults": {"tls13Only": true}})", session, "TLS: Handshake failed (1): ..."},
        {R"("connectResults": {"62078": 3}, )", kNormal.c_str(), nullptr, refused},
        // The first service started gets port 49152; the daemon's connection for it must close too.
        {R"("connectResults": {"49152": 3}, )", kNormal.c_str(), service("com.example.plain"),
         "usbmuxd: Connect to port 49152 failed: connection refused by device"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.extra) + row.lockdown);
        SimulatedDaemon daemon(scenario(row.lockdown, row.extra));
        if (!row.step) {
            expectError([] { LockdownClient client(kUSB, kShort); }, row.text);
        } else {
            LockdownClient client(kUSB, kShort);
            expectError([&] { row.step(client); }, row.text);
        }
        EXPECT_TRUE(daemon.allClosed());
    }

    // Without a SystemBUID the session starts all the same.
    SimulatedDaemon daemon(scenario(kNormal, R"("omitPairKeys": ["SystemBUID"], )"));
    LockdownClient(kUSB, kShort).startSession();
    ASSERT_EQ(daemon.sim.lockdownRequests().size(), 3u);
    EXPECT_FALSE(daemon.sim.lockdownRequests()[1].message.contains("SystemBUID"));
}

TEST(LockdownClient, AFailedConnectionSendsNothingMore) {
    // The battery domain is answered only after the time-out has passed.
    SimulatedDaemon daemon(scenario(R"({"values": {"DeviceName": "Late"},
        "domains": {"com.apple.mobile.battery": {"BatteryCurrentCapacity": 57}},
        "faults": {"lateOn": "GetValue:com.apple.mobile.battery", "lateBy": 600}})"));
    {
        LockdownClient client(kUSB, kShort);
        client.startSession();
        expectError([&] { client.value("com.apple.mobile.battery", std::nullopt); }, "TLS: Read failed (5)");
        // Once the late reply has arrived, the next request must not take it for its answer.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        expectError([&] { client.value(std::nullopt, "DeviceName"); }, "TLS: Read failed (5)");
        expectError([&] { client.startService("com.example.echo"); }, "TLS: Read failed (5)");
    }
    // Nor is StopSession sent on the failed connection.
    EXPECT_EQ(requestNames(daemon.sim), (std::vector<std::string>{"QueryType", "StartSession", "GetValue"}));
    EXPECT_TRUE(daemon.allClosed());
}

TEST(LockdownClient, TimeoutFollowsTheConnection) {
    SimulatedDaemon daemon(scenario(R"({"faults": {"silentOn": "QueryType"}})", "", "Network"));
    const MuxDevice network{kUDID, 1, MuxDevice::Connection::network};
    // A USB time-out long enough to hang the test shows that the network one applies.
    expectError([&] { LockdownClient client(network, LockdownTimeouts{60.0, 0.2}); }, "The device did not respond in time.");
}
