#include "link/usbmux.hpp"

#include "simulated_daemon.hpp"

#include <gtest/gtest.h>

using namespace celvio;
using celvio::test::expectError;
using Connection = MuxDevice::Connection;
using celvio::test::SimulatedDaemon;

namespace {

constexpr double kShort = 0.3;

/// One device on USB (deviceID 3), and the daemon's fault for one request if given.
std::string withFault(const std::string& request = "", const std::string& fault = "") {
    return R"({"devices": [{"udid": "00008110-001A2B3C4D5E6F70", "attachments": [{"deviceID": 3, "connection": "USB"}]}],
               "faults": {)" + (request.empty() ? "" : "\"" + request + "\": " + fault) + "}}";
}

}  // namespace

TEST(USBMux, ListingKeepsOneRecordPerDevicePreferringUSB) {
    // Each device attached once or twice, in every kind of connection, and entries without an ID.
    SimulatedDaemon daemon(test::readText(CELVIO_TEST_DATA_DIR "/simulator/listing.json"));

    EXPECT_EQ(USBMux::listDevices(false),
              (std::vector<MuxDevice>{{"A1", 21, Connection::usb}, {"B2", 20, Connection::usb},
                                      {"C3", 22, Connection::usb}, {"DUP-NET-USB", 3, Connection::usb},
                                      {"INNER-ID", 40, Connection::usb}, {"TWO-NET", 11, Connection::network},
                                      {"USB-FIRST", 7, Connection::usb}}));
    EXPECT_EQ(USBMux::listDevices(true),
              (std::vector<MuxDevice>{{"DUP-NET-USB", 5, Connection::network}, {"DUP-NET-USB", 3, Connection::usb},
                                      {"USB-FIRST", 7, Connection::usb}, {"USB-FIRST", 8, Connection::network},
                                      {"TWO-NET", 10, Connection::network}, {"TWO-NET", 11, Connection::network},
                                      {"B2", 20, Connection::usb}, {"A1", 21, Connection::usb},
                                      {"C3", 22, Connection::usb}, {"INNER-ID", 40, Connection::usb}}));
    EXPECT_TRUE(daemon.allClosed());
}

TEST(USBMux, MalformedDeviceListsGiveNoDevices) {
    const PlistDict good{{"DeviceID", 1}, {"Properties", PlistDict{{"SerialNumber", "A"}}}};
    for (const PlistDict& reply : {PlistDict{}, {{"DeviceList", "nope"}}, {{"DeviceList", PlistArray{good, 5}}}})
        EXPECT_TRUE(usbmux_wire::parseDeviceList(reply, true).empty());
    EXPECT_EQ(usbmux_wire::parseDeviceList({{"DeviceList", PlistArray{good}}}, true).size(), 1u);
}

TEST(USBMux, PacketsCarryHeaderTagsAndSwappedPort) {
    SimulatedDaemon daemon(withFault());
    USBMux client(kShort);
    EXPECT_EQ(client.list(false).size(), 1u);
    auto socket = client.connect(3, 62078);
    ASSERT_NE(socket, nullptr);
    EXPECT_GE(socket->fd(), 0);

    const auto packets = daemon.sim.received();
    ASSERT_EQ(packets.size(), 2u);
    for (const auto& packet : packets) {
        EXPECT_EQ(std::tuple(packet.tag, packet.version, packet.message, packet.length),
                  std::tuple(&packet - &packets[0] + 1u, 1u, 8u, 16 + encodeXML(packet.payload).size()));
        EXPECT_EQ(std::tuple(stringValue(packet.payload, "ClientVersionString"),
                             stringValue(packet.payload, "ProgName"), intValue(packet.payload, "kLibUSBMuxVersion")),
                  std::tuple("Celvio-1.0", "Celvio", 3));
        EXPECT_TRUE(stringValue(packet.payload, "BundleID").value_or("").ends_with(".Celvio"));
    }
    EXPECT_EQ(stringValue(packets[0].payload, "MessageType"), "ListDevices");
    EXPECT_EQ(std::tuple(stringValue(packets[1].payload, "MessageType"), intValue(packets[1].payload, "DeviceID"),
                         intValue(packets[1].payload, "PortNumber")),
              std::tuple("Connect", 3, 32498));
    socket->close();
    EXPECT_TRUE(daemon.allClosed());
}

TEST(USBMux, ConnectResults) {
    SimulatedDaemon daemon(R"({"devices": [{"udid": "X", "attachments": [{"deviceID": 3, "connection": "USB"}],
        "connectResults": {"62078": 3, "1": 2, "2": 5, "3": 6, "4": 1, "5": 7, "6": -1, "7": 0}}]})");
    const std::pair<std::uint16_t, const char*> failures[] = {
        {62078, "connection refused by device"}, {1, "device is no longer connected"}, {2, "malfunction"},
        {3, "bad version"}, {4, "error 1"}, {6, "error -1"}};
    for (const auto& [port, reason] : failures)
        expectError([&, port = port] { USBMux(kShort).connect(3, port); },
                    "usbmuxd: Connect to port " + std::to_string(port) + " failed: " + reason);
    EXPECT_NO_THROW(USBMux(kShort).connect(3, 7));
    expectError([&] { USBMux(kShort).connect(99, 7); }, "usbmuxd: Connect to port 7 failed: device is no longer connected");
    EXPECT_TRUE(daemon.allClosed());

    SimulatedDaemon noResult(withFault("Connect", R"({"kind": "noResult"})"));
    EXPECT_NO_THROW(USBMux(kShort).connect(3, 62078));
}

TEST(USBMux, MalformedOrMissingRepliesFailWithTheirOwnTexts) {
    const std::pair<const char*, const char*> rows[] = {
        // A client that read on past the header would time out instead.
        {R"({"kind": "length", "length": 15})", "usbmuxd: Invalid packet length"},
        {R"({"kind": "notDictionary"})", "usbmuxd: Invalid response"},
        {R"({"kind": "length", "length": 4294967295})", "usbmuxd: Invalid packet length"},
        {R"({"kind": "silence"})", "The device did not respond in time."},
        // Every byte comes well within the time-out, the whole reply far beyond it.
        {R"({"kind": "slow", "interval": 20})", "The device did not respond in time."},
        {R"({"kind": "hangup", "bytes": 3})", "The connection was closed by the device."},
        {R"({"kind": "hangup", "bytes": 40})", "The connection was closed by the device."},
    };
    for (const auto& [fault, text] : rows) {
        SCOPED_TRACE(fault);
        SimulatedDaemon daemon(withFault("ListDevices", fault));
        expectError([] { USBMux(kShort).list(false); }, text);
        EXPECT_TRUE(daemon.allClosed());
    }
    SimulatedDaemon garbage(withFault("ListDevices", R"({"kind": "garbage"})"));
    EXPECT_THROW(USBMux(kShort).list(false), PropertyListError);
    SimulatedDaemon binaryList(withFault("ListDevices", R"({"kind": "binary"})"));
    EXPECT_EQ(USBMux(kShort).list(false).size(), 1u);
    SimulatedDaemon binaryRecord(withFault("ReadPairRecord", R"({"kind": "binary"})"));
    EXPECT_TRUE(USBMux::pairRecord("00008110-001A2B3C4D5E6F70").contains("HostID"));
}

TEST(USBMux, DaemonAddresses) {
    const std::pair<const char*, DaemonAddress> good[] = {
        {"UNIX:/run/usbmuxd", {"/run/usbmuxd", "", 0}},      {"UNIX:relative/sock", {"relative/sock", "", 0}},
        {"127.0.0.1:27015", {"", "127.0.0.1", 27015}},       {"localhost:1", {"", "localhost", 1}},
        {"host.example:65535", {"", "host.example", 65535}}, {"[::1]:27015", {"", "::1", 27015}},
        {"[fe80::1%eth0]:5", {"", "fe80::1%eth0", 5}},
    };
    for (const auto& [text, address] : good) EXPECT_EQ(parseDaemonAddress(text), address) << text;

    for (const char* bad : {"/var/run/usbmuxd", "UNIX:", "unix:/run/usbmuxd", "27015", "host:", ":27015", "host:0",
                            "host:65536", "host:99999999999", "host:27015x", "host:+27015", "host: 27015", "::1:27015",
                            "[::1]", "[::1]27015", "[]:27015", "[::1:27015", "a]:1"})
        expectError([&] { parseDaemonAddress(bad); }, std::string("Socket: USBMUXD_SOCKET_ADDRESS \"") + bad +
                                                          "\" is not UNIX:/path, HOST:PORT or [IPv6]:PORT");
}
