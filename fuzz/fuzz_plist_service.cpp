// Messages from a device service: framing, decoding and the accessors over the result.

#include "base/celvio_error.hpp"
#include "memory_stream.hpp"
#include "link/plist_service.hpp"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto stream = std::make_shared<celvio::test::MemoryStream>(data, size);
    celvio::PlistService service(stream);
    try {
        for (;;) {
            const celvio::PlistDict message = service.receive();
            for (const auto& [key, value] : message) {
                celvio::intValue(message, key);
                celvio::doubleValue(message, key);
                celvio::boolValue(message, key);
                celvio::stringValue(message, key);
                celvio::dictValue(message, key);
            }
        }
    } catch (const celvio::CelvioError&) {
    } catch (const celvio::PropertyListError&) {
    }
    return 0;
}
