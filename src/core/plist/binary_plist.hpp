#pragma once

#include "plist/plist.hpp"

namespace celvio {

/// True when the bytes carry the binary property-list signature ("bplist00").
bool isBinaryPlist(ByteView bytes) noexcept;

/// Reads a binary property list into our value type, strings as valid UTF-8. Bounds-checked
/// throughout: offsets, counts, reference cycles, nesting, and what is produced (values and
/// bytes, every copy of a shared object counted) is a small multiple of the input, so
/// hostile bytes give PropertyListError, never a crash or a runaway tree.
PlistValue readBinaryPlist(ByteView bytes);

}  // namespace celvio
