// A whole lockdown session, and a whole device read (two TLS handshakes and the relay
// exchange), against the simulated device on loopback, next to bare OpenSSL TLS 1.2
// handshakes with the same 2048-bit keys in the same run.
// Goals: the session within 3x of one handshake, the read within 3x of two.

#include "reading/ios_device_reader.hpp"
#include "lockdown/lockdown_client.hpp"
#include "pairing_records.hpp"
#include "simulator.hpp"

#include <benchmark/benchmark.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

using namespace celvio;

namespace {

constexpr const char* kUDID = "00008120-001A2B3C4D5E6F70";

const sim::PairingMaterial& material() { return sim::pairingMaterial(kUDID, false); }

OpenSSLPtr<X509> certificate(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    OpenSSLPtr<X509> x(PEM_read_bio_X509(bio, nullptr, nullptr, nullptr));
    BIO_free(bio);
    return x;
}

OpenSSLPtr<EVP_PKEY> key(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    OpenSSLPtr<EVP_PKEY> k(PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr));
    BIO_free(bio);
    return k;
}

/// The simulated iPhone of the shipped scenario, with its relay over TLS so that a read
/// makes two handshakes, on a socket of its own for the benchmark's lifetime.
class BenchDevice {
public:
    BenchDevice()
        : dir_(std::filesystem::temp_directory_path() / ("celvio-bench-" + std::to_string(getpid()))),
          simulator_((std::filesystem::create_directories(dir_), scenario()), (dir_ / "usbmuxd").string()) {
        material();  // the keys are made once per process; not part of a session
        setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + simulator_.socketPath()).c_str(), 1);
    }
    ~BenchDevice() {
        unsetenv("USBMUXD_SOCKET_ADDRESS");
        simulator_.stop();
        std::filesystem::remove_all(dir_);
    }
    const MuxDevice device{kUDID, 1, MuxDevice::Connection::usb};

private:
    static sim::Scenario scenario() {
        sim::Scenario s = sim::loadScenario(CELVIO_SCENARIO_DIR "/two-devices.json");
        for (auto& d : s.devices) {
            if (d.udid != kUDID) continue;
            d.attachments = {{1, "USB"}};
            for (auto& [name, service] : d.lockdown.services)
                if (name == IOSDeviceReader::diagnosticsRelay) service.ssl = true;
        }
        return s;
    }
    std::filesystem::path dir_;
    sim::Simulator simulator_;
};

void LockdownSession(benchmark::State& state) {
    BenchDevice bench;
    for (auto _ : state) {
        LockdownClient client(bench.device);
        client.startSession();
        benchmark::DoNotOptimize(client.value(std::nullopt, std::nullopt));
        client.close();
    }
}

void DeviceRead(benchmark::State& state) {
    BenchDevice bench;
    for (auto _ : state) benchmark::DoNotOptimize(IOSDeviceReader::read(bench.device));
}

/// One TLS 1.2 handshake over a socket pair; with `mutual` the client presents the host
/// certificate as the lockdown session does.
void BareHandshake(benchmark::State& state) {
    const bool mutual = state.range(0) != 0;
    const auto serverCert = certificate(material().deviceCertificatePEM);
    const auto serverKey = key(material().devicePrivateKeyPEM);
    const auto clientCert = certificate(material().hostCertificatePEM);
    const auto clientKey = key(material().hostPrivateKeyPEM);
    OpenSSLPtr<SSL_CTX> serverContext(SSL_CTX_new(TLS_server_method()));
    SSL_CTX_set_max_proto_version(serverContext.get(), TLS1_2_VERSION);
    SSL_CTX_use_certificate(serverContext.get(), serverCert.get());
    SSL_CTX_use_PrivateKey(serverContext.get(), serverKey.get());
    if (mutual) SSL_CTX_set_verify(serverContext.get(), SSL_VERIFY_PEER, [](int, X509_STORE_CTX*) { return 1; });
    OpenSSLPtr<SSL_CTX> clientContext(SSL_CTX_new(TLS_client_method()));
    SSL_CTX_set_max_proto_version(clientContext.get(), TLS1_2_VERSION);
    SSL_CTX_set_security_level(clientContext.get(), 0);
    if (mutual) {
        SSL_CTX_use_certificate(clientContext.get(), clientCert.get());
        SSL_CTX_use_PrivateKey(clientContext.get(), clientKey.get());
    }
    for (auto _ : state) {
        int fds[2];
        socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
        std::thread server([&] {
            OpenSSLPtr<SSL> ssl(SSL_new(serverContext.get()));
            SSL_set_fd(ssl.get(), fds[1]);
            SSL_accept(ssl.get());
        });
        OpenSSLPtr<SSL> ssl(SSL_new(clientContext.get()));
        SSL_set_fd(ssl.get(), fds[0]);
        if (SSL_connect(ssl.get()) != 1) state.SkipWithError("handshake failed");
        server.join();
        close(fds[0]);
        close(fds[1]);
    }
}

}  // namespace

BENCHMARK(LockdownSession)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DeviceRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BareHandshake)->Arg(0)->Arg(1)->ArgNames({"mutual"})->Unit(benchmark::kMillisecond)->UseRealTime();

