#pragma once

#include "plist.hpp"

namespace celvio {

/// Reads an XML property list into our value type: the plist element (or a bare value),
/// with the prolog, doctype, comments, CDATA and character references the format allows.
/// Throws PropertyListError on anything else; nesting is limited.
PlistValue readXMLPlist(ByteView bytes);

}  // namespace celvio
