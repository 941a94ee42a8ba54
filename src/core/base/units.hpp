#pragma once

#include <cstdint>

namespace celvio {

/// Watts from millivolts and milliamps (mV × mA is µW); negative while discharging.
inline double wattsOf(std::int64_t millivolts, std::int64_t milliamps) {
    return static_cast<double>(millivolts) * static_cast<double>(milliamps) / 1'000'000.0;
}

}  // namespace celvio
