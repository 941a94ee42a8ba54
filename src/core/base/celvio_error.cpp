#include "base/celvio_error.hpp"

namespace celvio {
namespace {

std::string describe(CelvioError::Kind kind, const std::string& message) {
    switch (kind) {
        case CelvioError::Kind::socket:
            return "Socket: " + message;
        case CelvioError::Kind::usbmux:
            return "usbmuxd: " + message;
        case CelvioError::Kind::lockdown:
            return message;
        case CelvioError::Kind::tls:
            return "TLS: " + message;
        case CelvioError::Kind::pairing:
            return message;
        case CelvioError::Kind::diagnostics:
            return "Diagnostics: " + message;
        case CelvioError::Kind::timeout:
            return "The device did not respond in time.";
        case CelvioError::Kind::connectionClosed:
            return "The connection was closed by the device.";
        case CelvioError::Kind::history:
            return message;
    }
    return message;
}

}  // namespace

CelvioError::CelvioError(Kind kind, std::string message, PairingReason reason)
    : kind_(kind), reason_(reason), message_(std::move(message)), description_(describe(kind_, message_)) {}

}  // namespace celvio
