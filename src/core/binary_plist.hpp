#pragma once

#include "plist.hpp"

namespace celvio {

/// True when the bytes carry the binary property-list signature ("bplist00").
bool isBinaryPlist(ByteView bytes) noexcept;

/// Reads a binary property list into our value type. Bounds-checked throughout: offsets,
/// counts, reference cycles and the number of values produced are all limited by the
/// input, so hostile bytes give PropertyListError, never a crash or a runaway tree.
PlistValue readBinaryPlist(ByteView bytes);

}  // namespace celvio
