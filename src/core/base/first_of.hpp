#pragma once

#include <initializer_list>
#include <optional>

namespace celvio {

/// The first present value of a chain of fallbacks, in order; absent when none is.
template <typename T>
std::optional<T> firstOf(std::initializer_list<std::optional<T>> chain) {
    for (const auto& candidate : chain)
        if (candidate) return candidate;
    return std::nullopt;
}

}  // namespace celvio
