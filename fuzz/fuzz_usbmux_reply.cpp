// A daemon reply as the client reads it: packet, device list and Connect result.

#include "base/celvio_error.hpp"
#include "memory_stream.hpp"
#include "link/usbmux.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    celvio::test::MemoryStream stream(data, size);
    try {
        const celvio::PlistDict reply = celvio::usbmux_wire::readPacket(stream);
        celvio::usbmux_wire::parseDeviceList(reply, false);
        celvio::usbmux_wire::parseDeviceList(reply, true);
        celvio::usbmux_wire::checkResult(reply, "Connect to port 62078");
    } catch (const celvio::CelvioError&) {
    } catch (const celvio::PropertyListError&) {
    }
    return 0;
}
