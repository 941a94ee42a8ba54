#include "plist_service.hpp"

#include "celvio_error.hpp"

#include <limits>

namespace celvio {

void PlistService::send(const PlistDict& message) {
    const std::string xml = encodeXML(message);
    if (xml.size() > std::numeric_limits<std::uint32_t>::max())
        throw PropertyListError("The data couldn’t be written because it isn’t in the correct format.");
    const auto length = static_cast<std::uint32_t>(xml.size());
    Bytes packet;
    packet.reserve(4 + xml.size());
    for (int shift = 24; shift >= 0; shift -= 8) packet.push_back(static_cast<std::uint8_t>(length >> shift));
    packet.insert(packet.end(), xml.begin(), xml.end());
    stream_->write(packet);
}

PlistDict PlistService::receive() {
    const Bytes header = stream_->read(4);
    const std::uint32_t length =
        (std::uint32_t(header[0]) << 24) | (header[1] << 16) | (header[2] << 8) | std::uint32_t(header[3]);
    if (length == 0 || length > maxMessageLength)
        throw CelvioError::lockdown("Invalid message length " + std::to_string(length));
    PlistValue payload = decodePlist(stream_->read(length));
    auto* dict = payload.get<PlistDict>();
    if (!dict) throw CelvioError::lockdown("Unexpected response from device");
    return std::move(*dict);
}

PlistDict PlistService::request(const PlistDict& message) {
    send(message);
    return receive();
}

void PlistService::close() noexcept {
    if (stream_) stream_->close();
}

}  // namespace celvio
