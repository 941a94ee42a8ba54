#include "reading/device_catalog.hpp"

#include <algorithm>
#include <iterator>

namespace celvio::DeviceCatalog {

namespace {

struct Entry {
    std::string_view code;
    std::string_view name;
};

constexpr Entry kEntries[] = {
#include "device_identifiers.inc"
};

constexpr bool sortedAndUnique() {
    return std::ranges::adjacent_find(kEntries, std::ranges::greater_equal{}, &Entry::code) == std::end(kEntries);
}
// Binary search needs strictly ascending codes; the data file must keep them that way.
static_assert(sortedAndUnique(), "data/device-identifiers.tsv must be sorted by code, without duplicates");

}  // namespace

std::optional<std::string> marketingName(std::string_view modelCode) {
    const auto found = std::ranges::lower_bound(kEntries, modelCode, std::ranges::less{}, &Entry::code);
    if (found == std::end(kEntries) || found->code != modelCode) return std::nullopt;
    return std::string(found->name);
}

}  // namespace celvio::DeviceCatalog
