// Lockdown replies as the client reads them, one framed message after another.

#include "base/celvio_error.hpp"
#include "lockdown/lockdown_client.hpp"
#include "memory_stream.hpp"
#include "link/plist_service.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    celvio::PlistService service(std::make_shared<celvio::test::MemoryStream>(data, size));
    for (;;) {
        try {
            const celvio::PlistDict reply = service.receive();
            celvio::lockdown_replies::servicePort(reply);
            celvio::boolValue(reply, "EnableSessionSSL");
            celvio::stringValue(reply, "SessionID");
            celvio::lockdown_replies::checkType(reply);
            celvio::lockdown_replies::check(reply);
        } catch (const celvio::CelvioError& error) {
            // A device error leaves the channel usable; a broken frame ends it for good.
            if (error.kind() != celvio::CelvioError::Kind::lockdown || service.failed()) return 0;
        } catch (const celvio::PropertyListError&) {
            return 0;
        }
    }
}
