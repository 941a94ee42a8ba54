// Talks to the real usbmux daemon from the Debian package, but only to one it started
// itself: with any socket already at the daemon's path (a running daemon, or a socket
// unit that would start one) it skips, so a live system is never disturbed.

#include "link/usbmux.hpp"

#include "pairing_records.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>       // O_WRONLY for the daemon's output
#include <signal.h>
#include <spawn.h>      // posix_spawn for the daemon
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace celvio;
using celvio::test::expectError;
namespace fs = std::filesystem;

namespace {

constexpr const char* kDaemon = "/usr/sbin/usbmuxd";
const fs::path kRecordFolder = "/var/lib/lockdown";

bool daemonAnswers() {
    try {
        return Socket(USBMux::socketPath, 1.0).fd() >= 0;
    } catch (const CelvioError&) {
        return false;
    }
}

/// A daemon this test started, stopped again at the end. usbmuxd leaves its socket, its
/// pid file and its record folder behind; whatever of them it made goes with it, so the
/// next run (or a system daemon started later) finds the machine as it was.
class OwnDaemon {
public:
    OwnDaemon() {
        for (const fs::path& path : {fs::path(USBMux::socketPath), fs::path("/var/run/usbmuxd.pid"), kRecordFolder})
            if (!fs::exists(fs::symlink_status(path))) leftBehind_.push_back(path);
        const char* argv[] = {kDaemon, "-f", "-n", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, kDaemon, &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        for (int i = 0; i < 100 && pid_ > 0 && !daemonAnswers(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~OwnDaemon() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::error_code ignored;
        for (const fs::path& path : leftBehind_) fs::remove(path, ignored);  // a folder only when empty
    }
    bool running() const { return pid_ > 0 && daemonAnswers(); }

private:
    pid_t pid_ = -1;
    std::vector<fs::path> leftBehind_;
};

/// A pairing record placed where the daemon looks, removed again with any folder made for
/// it, on every way out of its scope. A file already there is never replaced.
class PlacedRecord {
public:
    PlacedRecord(const std::string& udid, const PlistDict& record) {
        madeFolder_ = fs::create_directories(kRecordFolder);
        path_ = kRecordFolder / (udid + ".plist");
        if (fs::exists(fs::symlink_status(path_))) throw std::runtime_error(path_.string() + " exists already");
        placed_ = true;
        std::ofstream(path_) << encodeXML(record);
    }
    ~PlacedRecord() {
        std::error_code ignored;
        if (placed_) fs::remove(path_, ignored);
        if (madeFolder_) fs::remove(kRecordFolder, ignored);
    }

private:
    fs::path path_;
    bool madeFolder_ = false;
    bool placed_ = false;
};

}  // namespace

// One test, so that parallel test runs never start two daemons.
TEST(USBMuxDaemon, ListsReadsRecordsAndRefusesUnknownDevices) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the daemon and place pairing records";
    if (!fs::exists(kDaemon)) GTEST_SKIP() << "usbmuxd is not installed";
    if (fs::exists(fs::symlink_status(USBMux::socketPath)))
        GTEST_SKIP() << USBMux::socketPath << " exists: this system's daemon owns it, and this test runs only its own";
    test::ScopedEnv env("USBMUXD_SOCKET_ADDRESS", std::nullopt);

    OwnDaemon own;
    ASSERT_TRUE(own.running()) << "usbmuxd -f -n did not come up";
    // Whatever is plugged in may be listed; listing must simply work.
    EXPECT_NO_THROW(USBMux::listDevices(false));

    // Unique per run, so that no real device's record can be meant.
    const std::string udid = "00008110-CE1F" + std::to_string(getpid()) + "C0FFEE";
    const PlistDict record = sim::pairingRecord(sim::pairingMaterial(udid, false));
    {
        PlacedRecord placed(udid, record);
        EXPECT_EQ(USBMux::pairRecord(udid), record);
    }
    expectError([&] { USBMux::pairRecord(udid); },
                "This computer is not paired with the device. Connect it once via USB and tap \u201CTrust\u201D on the "
                "device.");
    expectError([] { USBMux(USBMux::daemonTimeout).connect(4242, 62078); },
                "usbmuxd: Connect to port 62078 failed: device is no longer connected");
}
