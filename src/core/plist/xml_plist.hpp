#pragma once

#include "plist/plist.hpp"

namespace celvio {

/// Reads an XML property list into our value type: the plist element (or a bare value),
/// with the prolog, doctype, comments, CDATA and character references the format allows.
/// Strings come out as valid UTF-8 (invalid sequences become U+FFFD). Throws
/// PropertyListError on anything else; nesting and what is produced are limited.
PlistValue readXMLPlist(ByteView bytes);

}  // namespace celvio
