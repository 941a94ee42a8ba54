#pragma once

#include "plist/plist.hpp"  // Bytes, ByteView

#include <optional>
#include <string>

/// PEM text (or bare DER) as stored in pairing records. Never throws; absent on bad input.
namespace celvio::PEM {

struct Block {
    std::string label;  ///< the text after "-----BEGIN ", or "DER" for bare DER input
    Bytes der;
    bool operator==(const Block&) const = default;
};

/// The first PEM block of the bytes, or the bytes themselves when they are bare DER
/// (first byte 0x30).
std::optional<Block> decode(ByteView bytes);

/// The inner RSA key (PKCS#1) of a PKCS#8 PrivateKeyInfo.
std::optional<Bytes> pkcs8ToPKCS1(ByteView der);

}  // namespace celvio::PEM
