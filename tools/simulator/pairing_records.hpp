#pragma once

#include "plist/plist.hpp"

#include <string>

namespace celvio::sim {

/// The certificates and keys behind one simulated pairing, all PEM text.
struct PairingMaterial {
    std::string hostID;
    std::string systemBUID;
    std::string hostCertificatePEM;
    std::string hostPrivateKeyPEM;   ///< PKCS#1 or PKCS#8, as asked
    std::string deviceCertificatePEM;
    std::string devicePrivateKeyPEM;
    std::string rootCertificatePEM;
    std::string rootPrivateKeyPEM;
    std::string wifiMACAddress;      ///< "WiFiMACAddress" of the record
};

/// The pairing of `udid`, made once per process and key format (RSA 2048 keys are
/// generated once per process and shared; certificates are made per device).
const PairingMaterial& pairingMaterial(const std::string& udid, bool pkcs8Key);

/// A random version-4 UUID in upper case, as devices and hosts write them.
std::string randomUUID();

/// The pairing record dictionary as a daemon stores it.
PlistDict pairingRecord(const PairingMaterial& material);

}  // namespace celvio::sim
