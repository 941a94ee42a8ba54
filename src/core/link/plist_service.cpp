#include "link/plist_service.hpp"

#include <limits>

namespace celvio {

template <typename Step>
auto PlistService::guarded(Step step) {
    if (failure_) throw *failure_;
    try {
        return step();
    } catch (const CelvioError& error) {
        // Property-list errors leave the framing intact and pass without failing the channel.
        failure_ = error;
        throw;
    }
}

void PlistService::send(const PlistDict& message) {
    const std::string xml = encodeXML(message);
    if (xml.size() > std::numeric_limits<std::uint32_t>::max())
        throw PropertyListError("The data couldn’t be written because it isn’t in the correct format.");
    const auto length = static_cast<std::uint32_t>(xml.size());
    Bytes packet;
    packet.reserve(4 + xml.size());
    for (int shift = 24; shift >= 0; shift -= 8) packet.push_back(static_cast<std::uint8_t>(length >> shift));
    packet.insert(packet.end(), xml.begin(), xml.end());
    guarded([&] {
        stream_->startExchange();
        stream_->write(packet);
    });
}

PlistDict PlistService::receive() {
    Bytes payload = guarded([&] {
        const Bytes header = stream_->read(4);
        const std::uint32_t length =
            (std::uint32_t(header[0]) << 24) | (header[1] << 16) | (header[2] << 8) | std::uint32_t(header[3]);
        if (length == 0 || length > maxMessageLength)
            throw CelvioError::lockdown("Invalid message length " + std::to_string(length));
        return stream_->read(length);
    });
    PlistValue decoded = decodePlist(payload);
    auto* dict = decoded.get<PlistDict>();
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
