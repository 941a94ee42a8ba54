#pragma once

// What the XML and binary property-list readers share: their error and the limits that
// keep hostile input from costing more than a small multiple of its own size.

#include "base/celvio_error.hpp"

#include <cstddef>
#include <cstdint>

namespace celvio::plist_decoding {

/// Nesting deeper than any device sends is refused long before it could exhaust a stack.
constexpr int kMaxDepth = 512;

/// What one value costs besides its text or bytes: about its size in memory, so the
/// budget bounds the tree the caller ends up holding, not only the bytes copied.
constexpr std::uint64_t kValueCost = 32;

[[noreturn]] inline void corrupt() {
    throw PropertyListError("The data couldn’t be read because it isn’t in the correct format.");
}

/// Everything a decoder produces is charged here: each value, each string's and data's
/// bytes. A binary list may refer to one object many times and each reference is a copy,
/// so a small input could otherwise ask for gigabytes; an honest one stays far below.
class Budget {
public:
    explicit Budget(std::size_t inputSize) : left_(64 * std::uint64_t{inputSize} + 65536) {}

    void charge(std::uint64_t bytes) {
        if (bytes > left_) corrupt();
        left_ -= bytes;
    }
    void chargeValues(std::uint64_t count) {
        if (count > left_ / kValueCost) corrupt();
        left_ -= count * kValueCost;
    }

private:
    std::uint64_t left_;
};

}  // namespace celvio::plist_decoding
