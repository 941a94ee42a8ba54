#include "reading/mac_system_info.hpp"

namespace celvio {

std::string MacSystemInfo::familyName() const { return productName.substr(0, productName.find(" (")); }

std::optional<std::string> MacSystemInfo::variantName() const {
    const auto open = productName.find('(');
    const auto close = productName.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
    return productName.substr(open + 1, close - open - 1);
}

}  // namespace celvio
