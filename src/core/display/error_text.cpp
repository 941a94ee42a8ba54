#include "display/error_text.hpp"

#include "base/celvio_error.hpp"
#include "platform/host_words.hpp"

namespace celvio {

std::string errorText(const std::exception& error) {
    const auto* celvio = dynamic_cast<const CelvioError*>(&error);
    if (!celvio) return error.what();
    switch (celvio->pairingReason()) {
        case CelvioError::PairingReason::notPaired:
            return std::string(hostWords().notPaired);
        case CelvioError::PairingReason::invalidHostID:
            return std::string(hostWords().noLongerTrusted);
        case CelvioError::PairingReason::none:
            break;
    }
    return celvio->description();
}

}  // namespace celvio
