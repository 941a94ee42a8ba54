#include "pairing_records.hpp"

#include "lockdown/openssl_handles.hpp"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace celvio::sim {

namespace {

[[noreturn]] void opensslFailure(const char* what) {
    std::array<char, 256> text{};
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code != 0) {
        ERR_error_string_n(code, text.data(), text.size());
    } else {
        std::snprintf(text.data(), text.size(), "unknown");
    }
    throw std::runtime_error(std::string("pairing material: ") + what + " failed: " + text.data());
}

void check(int ok, const char* what) {
    if (ok != 1) opensslFailure(what);
}

OpenSSLPtr<EVP_PKEY> generateKey() {
    OpenSSLPtr<EVP_PKEY> key(EVP_RSA_gen(2048));
    if (!key) opensslFailure("RSA key generation");
    return key;
}

struct Keys {
    OpenSSLPtr<EVP_PKEY> root = generateKey();
    OpenSSLPtr<EVP_PKEY> host = generateKey();
    OpenSSLPtr<EVP_PKEY> device = generateKey();
};

// Key generation is the slow part, so every device shares the same three keys.
const Keys& sharedKeys() {
    static const Keys keys;
    return keys;
}

std::string bioText(BIO* bio) {
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    if (size < 0 || (size > 0 && data == nullptr)) opensslFailure("reading PEM text");
    return std::string(data, static_cast<std::size_t>(size));
}

OpenSSLPtr<BIO> memoryBio() {
    OpenSSLPtr<BIO> bio(BIO_new(BIO_s_mem()));
    if (!bio) opensslFailure("BIO_new");
    return bio;
}

std::string certificatePEM(X509* cert) {
    auto bio = memoryBio();
    check(PEM_write_bio_X509(bio.get(), cert), "PEM_write_bio_X509");
    return bioText(bio.get());
}

std::string privateKeyPEM(EVP_PKEY* key, bool pkcs8) {
    auto bio = memoryBio();
    if (pkcs8) {
        check(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr),
              "PEM_write_bio_PrivateKey");
    } else {
        // The traditional form of an RSA key is PKCS#1: "RSA PRIVATE KEY".
        check(PEM_write_bio_PrivateKey_traditional(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr),
              "PEM_write_bio_PrivateKey_traditional");
    }
    return bioText(bio.get());
}

std::string randomMAC() {
    std::array<unsigned char, 6> bytes{};
    check(RAND_bytes(bytes.data(), static_cast<int>(bytes.size())), "RAND_bytes");
    bytes[0] = static_cast<unsigned char>((bytes[0] & 0xFC) | 0x02);  // locally administered unicast
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += ':';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    return text;
}

// Random serials keep issuer and serial unique although every device's root has the same name.
std::uint64_t randomSerial() {
    std::uint64_t serial = 0;
    check(RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial), "RAND_bytes");
    return (serial >> 2) + 1;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    OpenSSLPtr<X509_EXTENSION> extension(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    if (!extension) opensslFailure("X509V3_EXT_conf_nid");
    check(X509_add_ext(cert, extension.get(), -1), "X509_add_ext");
}

void setCommonName(X509_NAME* name, const std::string& commonName) {
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0),
          "X509_NAME_add_entry_by_txt");
}

constexpr long kTenYears = 10L * 365 * 24 * 60 * 60;

// Signs `subjectKey` with `issuerKey`; a null issuer makes the certificate self-signed.
OpenSSLPtr<X509> makeCertificate(EVP_PKEY* subjectKey, const std::string& commonName, X509* issuer,
                                 EVP_PKEY* issuerKey) {
    OpenSSLPtr<X509> cert(X509_new());
    if (!cert) opensslFailure("X509_new");
    check(X509_set_version(cert.get(), X509_VERSION_3), "X509_set_version");
    check(ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert.get()), randomSerial()), "ASN1_INTEGER_set_uint64");
    if (X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) == nullptr) opensslFailure("X509_gmtime_adj");
    if (X509_gmtime_adj(X509_getm_notAfter(cert.get()), kTenYears) == nullptr) opensslFailure("X509_gmtime_adj");
    check(X509_set_pubkey(cert.get(), subjectKey), "X509_set_pubkey");
    setCommonName(X509_get_subject_name(cert.get()), commonName);

    X509* signer = issuer != nullptr ? issuer : cert.get();
    check(X509_set_issuer_name(cert.get(), X509_get_subject_name(signer)), "X509_set_issuer_name");
    if (issuer == nullptr) {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    }
    addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");

    if (X509_sign(cert.get(), issuerKey, EVP_sha256()) <= 0) opensslFailure("X509_sign");
    return cert;
}

PairingMaterial makeMaterial(const std::string& udid, bool pkcs8Key) {
    const Keys& keys = sharedKeys();
    auto root = makeCertificate(keys.root.get(), "Celvio Simulated Root", nullptr, keys.root.get());
    auto host = makeCertificate(keys.host.get(), "Celvio Simulated Host", root.get(), keys.root.get());
    auto device = makeCertificate(keys.device.get(), udid, root.get(), keys.root.get());

    PairingMaterial material;
    material.hostID = randomUUID();
    material.systemBUID = randomUUID();
    material.hostCertificatePEM = certificatePEM(host.get());
    material.hostPrivateKeyPEM = privateKeyPEM(keys.host.get(), pkcs8Key);
    material.deviceCertificatePEM = certificatePEM(device.get());
    material.devicePrivateKeyPEM = privateKeyPEM(keys.device.get(), false);
    material.rootCertificatePEM = certificatePEM(root.get());
    material.rootPrivateKeyPEM = privateKeyPEM(keys.root.get(), false);
    material.wifiMACAddress = randomMAC();
    return material;
}

Bytes pemData(const std::string& pem) { return Bytes(pem.begin(), pem.end()); }

}  // namespace

const PairingMaterial& pairingMaterial(const std::string& udid, bool pkcs8Key) {
    static std::mutex mutex;
    // Map nodes never move, so the references handed out stay valid for the process.
    static std::map<std::pair<std::string, bool>, PairingMaterial> cache;
    std::lock_guard lock(mutex);
    auto key = std::make_pair(udid, pkcs8Key);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    return cache.emplace(std::move(key), makeMaterial(udid, pkcs8Key)).first->second;
}

std::string randomUUID() {
    std::array<unsigned char, 16> bytes{};
    check(RAND_bytes(bytes.data(), static_cast<int>(bytes.size())), "RAND_bytes");
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    return text;
}

PlistDict pairingRecord(const PairingMaterial& material) {
    PlistDict record;
    record.emplace("HostID", material.hostID);
    record.emplace("SystemBUID", material.systemBUID);
    record.emplace("HostCertificate", pemData(material.hostCertificatePEM));
    record.emplace("HostPrivateKey", pemData(material.hostPrivateKeyPEM));
    record.emplace("DeviceCertificate", pemData(material.deviceCertificatePEM));
    record.emplace("RootCertificate", pemData(material.rootCertificatePEM));
    record.emplace("RootPrivateKey", pemData(material.rootPrivateKeyPEM));
    record.emplace("WiFiMACAddress", material.wifiMACAddress);
    return record;
}

}  // namespace celvio::sim
