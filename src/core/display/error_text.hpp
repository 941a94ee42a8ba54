#pragma once

#include <exception>
#include <string>

namespace celvio {

/// The text the user sees for a failure: a CelvioError's description, or for a pairing
/// reason the host's words for it; any other exception's what().
std::string errorText(const std::exception& error);

}  // namespace celvio
