#include "app_test_support.hpp"
#include "panels/connect_help_panel.hpp"
#include "shell/root_view.hpp"
#include "style/ui_text.hpp"

#include <QLabel>

#include <gtest/gtest.h>

namespace celvio::test {
namespace {

TEST(ConnectHelpPanelTest, TheDaemonErrorOnlyWhileThePollFails) {
    TempDir dir;
    Daemon daemon;  // serves nothing yet: the socket does not exist
    auto model = startModel(isolatedOptions(dir));
    model->setSelection(Selection::connectHelp());
    RootView root(*model);
    root.show();
    const QWidget& panel = *root.panel();
    ASSERT_NE(qobject_cast<const ConnectHelpPanel*>(&panel), nullptr);
    auto* error = panel.findChild<QLabel*>("usbmuxError");
    ASSERT_TRUE(error && model->usbmuxError());
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), UiText::fromStd(*model->usbmuxError()));
    daemon.serve({});
    pollAndWait(*model);
    EXPECT_FALSE(error->isVisible());
    daemon.stop();
    pollAndWait(*model);
    EXPECT_TRUE(error->isVisible());
}

}  // namespace
}  // namespace celvio::test
