#include "relay_service.hpp"

#include <initializer_list>
#include <string_view>

namespace celvio::sim {

namespace {

constexpr std::string_view kSuccess = "Success";
constexpr std::string_view kUnknown = "UnknownRequest";

const std::string* stringField(const PlistDict& dict, std::string_view key) {
    auto it = dict.find(key);
    return it == dict.end() ? nullptr : it->second.get<std::string>();
}

const PlistDict* entryFor(const ScenarioRelay& relay, const PlistDict& request) {
    for (std::string_view key : {"EntryName", "EntryClass"}) {
        const std::string* name = stringField(request, key);
        if (name == nullptr) continue;
        if (auto it = relay.entries.find(*name); it != relay.entries.end()) return &it->second;
    }
    return nullptr;
}

PlistDict ioRegistryAnswer(const ScenarioRelay& relay, const PlistDict& request) {
    const PlistDict* entry = entryFor(relay, request);
    const std::string& fault = relay.faults.status;
    PlistDict answer{{"Status", PlistValue(!fault.empty() ? std::string_view(fault) : entry ? kSuccess : kUnknown)}};
    // Kept under a failing status, so a client that skips the status check is caught.
    if (entry != nullptr) answer.emplace("Diagnostics", PlistDict{{"IORegistry", PlistValue(*entry)}});
    return answer;
}

}  // namespace

void relayService(PlistService& channel, const ScenarioDevice& device, const std::string& service,
                  const RelayRecorder& record) {
    const ScenarioRelay& relay = device.relay;
    std::uint64_t answered = 0;
    for (;;) {
        PlistDict request = channel.receive();
        record(RelayRequest{device.udid, request, service});
        const std::string* name = stringField(request, "Request");
        if (name != nullptr && *name == "Goodbye") {
            channel.send({{"Status", PlistValue(kSuccess)}});
            return;
        }
        if (name == nullptr || *name != "IORegistry") {
            channel.send({{"Status", PlistValue(kUnknown)}});
            continue;
        }
        channel.send(ioRegistryAnswer(relay, request));
        if (relay.faults.dropAfter != 0 && ++answered >= relay.faults.dropAfter) return;
    }
}

}  // namespace celvio::sim
