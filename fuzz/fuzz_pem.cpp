// Pairing-record key and certificate text: PEM decoding, PKCS#8 unwrapping, DER walking.

#include "lockdown/pem.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const celvio::ByteView bytes(data, size);
    if (auto block = celvio::PEM::decode(bytes)) celvio::PEM::pkcs8ToPKCS1(block->der);
    celvio::PEM::pkcs8ToPKCS1(bytes);  // walks the DER elements of any input
    return 0;
}
