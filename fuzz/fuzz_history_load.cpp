// History file contents: decoding, and for what decodes, that a save reads back the same.

#include "history/history_json.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto entries = celvio::HistoryJSON::decodeArray(text);
    if (!entries) return 0;
    // Decoded dates are whole seconds and texts valid UTF-8, so the file form must hold
    // every field exactly.
    const auto again = celvio::HistoryJSON::decodeArray(celvio::HistoryJSON::encodeArray(*entries));
    if (!again || *again != *entries) std::abort();
    for (const auto& entry : *entries) {
        if (celvio::HistoryJSON::decode(celvio::HistoryJSON::encode(entry)) != entry) std::abort();
    }
    return 0;
}
