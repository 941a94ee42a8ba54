// A battery registry as a device's relay returns it: the record and the raw rows.

#include "base/celvio_error.hpp"
#include "reading/ios_device_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const celvio::PlistValue value = celvio::decodePlist(celvio::ByteView(data, size));
        const auto* registry = value.get<celvio::PlistDict>();
        if (!registry) return 0;
        // The same bytes stand in for the lockdown battery domain too.
        const celvio::PlistDict* domain = celvio::dictValue(*registry, "Domain");
        const auto battery = celvio::IOSDeviceReader::makeBattery(*registry, domain ? *domain : *registry);
        battery.health();
        battery.watts();
    } catch (const celvio::PropertyListError&) {
    }
    return 0;
}
