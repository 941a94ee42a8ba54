// Our property-list value type against libplist's own tree, on the same bytes.
// Goal: decoding into our type within 1.5x of libplist's bare parse.

#include "plist/plist.hpp"

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <string>

using namespace celvio;

namespace {

/// About 4 KB of XML: the general values a lockdown GetValue without a key returns.
PlistDict lockdownReply() {
    PlistDict values{
        {"ActivationState", "Activated"}, {"BasebandVersion", "3.02.01"}, {"BluetoothAddress", "a4:c3:f0:12:34:56"},
        {"BuildVersion", "21E236"}, {"CPUArchitecture", "arm64e"}, {"DeviceClass", "iPhone"},
        {"DeviceColor", "#3b3b3c"}, {"DeviceName", "Anna's iPhone"}, {"HardwareModel", "D73AP"},
        {"ModelNumber", "MQ9T3"}, {"ProductType", "iPhone15,2"}, {"ProductVersion", "17.4.1"},
        {"RegionInfo", "ZD/A"}, {"SerialNumber", "F2LXK0Q1N7"}, {"UniqueChipID", 4861238571234567},
        {"UniqueDeviceID", "00008120-001A2B3C4D5E6F70"}, {"WiFiAddress", "a4:c3:f0:12:34:57"},
        {"PasswordProtected", true}, {"TimeZone", "Europe/Berlin"}, {"TimeIntervalSince1970", 1733480000.25},
        {"ProductionSOC", true}, {"HasSiDP", true}, {"TelephonyCapability", true}, {"BoardId", 12},
        {"ChipID", 33056}, {"DieID", 1234567890123}, {"FirmwareVersion", "iBoot-10151.102.2"},
        {"HardwarePlatform", "t8120"}, {"MLBSerialNumber", "F3Y2345678901234A"},
        {"ProtocolVersion", "2"}, {"SIMStatus", "kCTSIMSupportSIMStatusReady"},
    };
    for (int i = 0; i < 12; ++i) values["SupportedDeviceFamilies" + std::to_string(i)] = PlistArray{1, 2};
    values["ProximitySensorCalibration"] = Bytes(256, 0x2A);
    return {{"Request", "GetValue"}, {"Value", values}};
}

/// About 64 KB of XML: a battery registry entry with its nested data and histories.
PlistDict registryDictionary() {
    PlistDict battery{
        {"CurrentCapacity", 57}, {"MaxCapacity", 100}, {"DesignCapacity", 3279}, {"AppleRawMaxCapacity", 2950},
        {"CycleCount", 412}, {"Temperature", 3125}, {"Voltage", 3912}, {"InstantAmperage", -407},
        {"IsCharging", false}, {"ExternalConnected", false}, {"FullyCharged", false},
        {"Serial", Bytes{'F', '5', 'D', '1', '2', '3', '4', 0}},
    };
    PlistDict lifetime;
    for (int i = 0; i < 60; ++i) lifetime["Counter" + std::to_string(i)] = i * 1013;
    PlistArray history;
    for (int i = 0; i < 340; ++i)
        history.push_back(PlistDict{{"Time", 1700000000 + i * 3600}, {"Charge", i % 100}, {"Temp", 25.5 + i % 7}});
    battery["BatteryData"] = PlistDict{{"Lifetime", lifetime}, {"History", history}, {"Blob", Bytes(2048, 7)}};
    battery["AdapterDetails"] = PlistDict{{"Watts", 20}, {"Description", "pd charger"}, {"Name", "20W USB-C"}};
    return battery;
}

const Bytes& xmlBytes(int which) {
    static const Bytes small = [] { auto s = encodeXML(lockdownReply()); return Bytes(s.begin(), s.end()); }();
    static const Bytes large = [] { auto s = encodeXML(registryDictionary()); return Bytes(s.begin(), s.end()); }();
    return which == 0 ? small : large;
}

const Bytes& binaryBytes(int which) {
    static const Bytes small = encodeBinary(lockdownReply());
    static const Bytes large = encodeBinary(registryDictionary());
    return which == 0 ? small : large;
}

void label(benchmark::State& state, const Bytes& bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.SetLabel(std::to_string(bytes.size()) + " bytes");
}

void DecodeOurs(benchmark::State& state, const Bytes& (*source)(int)) {
    const Bytes& bytes = source(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(decodePlist(bytes));
    label(state, bytes);
}

void ParseLibplist(benchmark::State& state, const Bytes& (*source)(int)) {
    const Bytes& bytes = source(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        plist_t node = nullptr;
        plist_from_memory(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()), &node);
        benchmark::DoNotOptimize(node);
        plist_free(node);
    }
    label(state, bytes);
}

void EncodeOurs(benchmark::State& state) {
    const PlistValue value = state.range(0) == 0 ? PlistValue(lockdownReply()) : PlistValue(registryDictionary());
    for (auto _ : state) benchmark::DoNotOptimize(encodeXML(value));
    label(state, xmlBytes(static_cast<int>(state.range(0))));
}

void EncodeLibplist(benchmark::State& state) {
    const Bytes& bytes = xmlBytes(static_cast<int>(state.range(0)));
    plist_t node = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()), &node);
    for (auto _ : state) {
        char* xml = nullptr;
        std::uint32_t length = 0;
        plist_to_xml(node, &xml, &length);
        benchmark::DoNotOptimize(xml);
        plist_to_xml_free(xml);
    }
    plist_free(node);
    label(state, bytes);
}

}  // namespace

// Argument 0: the 4 KB lockdown reply; 1: the 64 KB registry dictionary.
BENCHMARK_CAPTURE(DecodeOurs, xml, xmlBytes)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(ParseLibplist, xml, xmlBytes)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(DecodeOurs, binary, binaryBytes)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(ParseLibplist, binary, binaryBytes)->Arg(0)->Arg(1);
BENCHMARK(EncodeOurs)->Arg(0)->Arg(1);
BENCHMARK(EncodeLibplist)->Arg(0)->Arg(1);
