#include "app_test_support.hpp"
#include "base/celvio_error.hpp"
#include "panels/connect_help_panel.hpp"
#include "widgets/device_strip.hpp"
#include "reading/ios_device_reader.hpp"
#include "panels/mac_panel.hpp"
#include "widgets/ring_gauge.hpp"
#include "shell/root_view.hpp"
#include "widgets/spinner.hpp"
#include "widgets/strip_button.hpp"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace celvio::test {
namespace {

const std::string udidA = "00008120-00000000000000AA";
const std::string udidB = "00008120-00000000000000BB";

/// The strip's buttons by object name, in order ("strip:mac", "strip:device", …).
QStringList names(const RootView& root) {
    QApplication::processEvents();  // the strip rebuilds after the change that caused it
    QStringList all;
    for (const StripButton* button : root.strip().buttons()) all << button->objectName();
    return all;
}

StripButton* button(const RootView& root, const QString& name, int index = 0) {
    QApplication::processEvents();
    int seen = 0;
    for (StripButton* button : root.strip().buttons())
        if (button->objectName() == name && seen++ == index) return button;
    ADD_FAILURE() << "no strip button " << name.toStdString();
    return nullptr;
}

TEST(RootView, StripFollowsDeviceStatesAndThePlaceholderLeadsToHelp) {
    TempDir dir;
    Daemon daemon;
    daemon.serve({{.udid = udidA, .name = "Alex's iPhone"},
                  {.udid = udidB, .deviceID = 2, .connection = "Network", .name = "Kitchen iPad"}});
    Gate gate;
    AppModelOptions options = isolatedOptions(dir);
    options.systemRoot = appDataDir() / "laptop";
    options.readDevice = [&gate](const MuxDevice& device) {
        gate.wait();
        if (device.udid == udidB) throw CelvioError::lockdown("The device is locked.");
        return IOSDeviceReader::read(device);
    };
    auto model = startModel(options);
    const auto opened = gate.openOnExit();
    RootView root(*model);
    EXPECT_NE(qobject_cast<MacPanel*>(root.panel()), nullptr);
    EXPECT_TRUE(button(root, "strip:mac")->look().selected);

    // Listed, not read yet.
    EXPECT_EQ(names(root), QStringList({"strip:mac", "strip:device", "strip:device", "strip:history"}));
    EXPECT_EQ(button(root, "strip:device")->look().label, QString::fromUtf8("\u2026"));
    EXPECT_NE(qobject_cast<Spinner*>(button(root, "strip:device")->icon()), nullptr);
    EXPECT_EQ(std::pair(button(root, "strip:device", 0)->look().badge, button(root, "strip:device", 1)->look().badge),
              std::pair(std::optional<std::string>(), std::optional<std::string>("wifi")))
        << "USB has no badge";

    gate.open();
    ASSERT_TRUE(
        waitUntil([&] { return names(root).size() == 4 && button(root, "strip:device", 1)->look().label == "Error"; }));
    const StripButton* phone = button(root, "strip:device", 0);
    EXPECT_EQ(phone->ring().style(), MiniRing::Style::arc);
    EXPECT_EQ(qobject_cast<Spinner*>(phone->icon()), nullptr) << "the model's icon";
    const StripButton* tablet = button(root, "strip:device", 1);
    EXPECT_EQ(tablet->ring().style(), MiniRing::Style::empty);

    // The daemon going away brings the placeholder back; its return brings the devices.
    daemon.stop();
    pollAndWait(*model);
    EXPECT_EQ(names(root), QStringList({"strip:mac", "strip:placeholder", "strip:history"}));
    EXPECT_EQ(button(root, "strip:placeholder")->ring().style(), MiniRing::Style::dashed);
    QTest::mouseClick(button(root, "strip:placeholder"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(model->selection(), Selection::connectHelp());
    EXPECT_NE(qobject_cast<ConnectHelpPanel*>(root.panel()), nullptr);
    EXPECT_TRUE(button(root, "strip:placeholder")->look().selected && !button(root, "strip:mac")->look().selected);
    daemon.serve({{.udid = udidA, .name = "Alex's iPhone"}});
    pollAndWait(*model);
    EXPECT_EQ(names(root), QStringList({"strip:mac", "strip:device", "strip:history"}));

    QSignalSpy support(&root, &RootView::supportRequested);
    QTest::mouseClick(root.findChild<QToolButton*>("support"), Qt::LeftButton);
    EXPECT_EQ(support.count(), 1);
}

}  // namespace
}  // namespace celvio::test
