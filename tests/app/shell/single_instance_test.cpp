#include "shell/single_instance.hpp"
#include "app_test_support.hpp"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

namespace celvio::test {
namespace {

/// Asks from another thread, as a second process would, while this thread serves.
bool activateFromElsewhere(const QString& folder, int timeoutMs = 3000) {
    auto answer = std::async(std::launch::async, [folder, timeoutMs] {
        SingleInstance later(folder);
        return later.activateRunning(timeoutMs);
    });
    EXPECT_TRUE(waitUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return answer.get();
}

TEST(SingleInstanceTest, SecondClaimFailsAndActivatesTheFirstUntilTheNextTakesOver) {
    TempDir dir;
    EXPECT_FALSE(activateFromElsewhere(qstr(dir.path()), 300)) << "nothing runs yet";
    {
        SingleInstance first(qstr(dir.path()));
        ASSERT_TRUE(first.claim());
        EXPECT_FALSE(SingleInstance(qstr(dir.path())).claim());
        QSignalSpy activations(&first, &SingleInstance::activationRequested);
        EXPECT_TRUE(activateFromElsewhere(qstr(dir.path())));
        EXPECT_EQ(activations.count(), 1);
    }
    EXPECT_TRUE(SingleInstance(qstr(dir.path())).claim()) << "the first is gone";
}

TEST(SingleInstanceTest, SecondProcessExitsAndRaisesTheFirst) {
    TempDir dir;
    QProcessEnvironment environment = isolatedEnvironment(dir.path());
    environment.insert("USBMUXD_SOCKET_ADDRESS", "UNIX:" + qstr(dir / "no-daemon"));

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(CELVIO_APP, {});
    ASSERT_TRUE(first.waitForStarted());
    const QString socket = qstr(dir / "runtime" / "celvio.socket");
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(socket); })) << "the first instance listens";

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(CELVIO_APP, {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    // Said only once the first instance has answered that it showed its window.
    EXPECT_TRUE(second.readAllStandardError().contains("its window was brought to the front"));
    EXPECT_EQ(first.state(), QProcess::Running);
    endProcess(first);
}

}  // namespace
}  // namespace celvio::test
