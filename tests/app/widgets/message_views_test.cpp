#include "app_test_support.hpp"
#include "panels/connect_help_panel.hpp"
#include "shell/root_view.hpp"
#include "style/ui_text.hpp"
#include "widgets/message_view.hpp"
#include "style/symbols.hpp"
#include "style/theme.hpp"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace celvio::test {
namespace {

QLabel* labelWithText(const QWidget& widget, const QString& text) {
    for (QLabel* label : widget.findChildren<QLabel*>())
        if (label->text() == text) return label;
    return nullptr;
}

TEST(MessageViewTest, ShowsTheButtonOnlyWithBothTitleAndActionAndRunsTheActionOnce) {
    int runs = 0;
    const auto action = [&runs] { ++runs; };
    const QString text = "Connect one to see its battery.";
    MessageView titleOnly("iphone.slash", "No Device", text, QString("Retry"));
    MessageView actionOnly("iphone.slash", "No Device", text, std::nullopt, action);
    EXPECT_EQ(titleOnly.findChild<QPushButton*>(), nullptr);
    EXPECT_EQ(actionOnly.findChild<QPushButton*>(), nullptr);

    MessageView both("iphone.slash", "No Device", text, QString("Retry"), action);
    both.resize(300, 300);
    both.show();
    EXPECT_EQ(both.findChild<QLabel*>("title")->text(), "No Device");
    EXPECT_NE(labelWithText(both, Symbols::glyph("iphone.slash")), nullptr);
    auto* button = both.findChild<QPushButton*>("action");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->grab().toImage().pixelColor(4, button->height() / 2), Theme::amber()) << "filled amber";
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(runs, 1);
}

TEST(ConnectHelpPanelTest, NumberedStepsAndTheDaemonErrorInRedOnlyWhileThePollFails) {
    TempDir dir;
    Daemon daemon;  // serves nothing yet: the socket does not exist
    auto model = startModel(isolatedOptions(dir));
    model->setSelection(Selection::connectHelp());
    RootView root(*model);
    root.show();
    const QWidget& panel = *root.panel();
    ASSERT_NE(qobject_cast<const ConnectHelpPanel*>(&panel), nullptr);
    for (int step = 1; step <= 3; ++step) {
        QLabel* number = labelWithText(panel, QString::number(step));
        ASSERT_NE(number, nullptr) << step;
        EXPECT_EQ(number->size(), QSize(18, 18));
        const QImage disc = number->grab().toImage();
        EXPECT_EQ(disc.pixelColor(3, 9), Theme::amber()) << "inside the disc, left of the digit";
        EXPECT_NE(disc.pixelColor(0, 0), Theme::amber()) << "outside the circle";
    }

    auto* error = panel.findChild<QLabel*>("usbmuxError");
    ASSERT_TRUE(error && model->usbmuxError());
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), UiText::fromStd(*model->usbmuxError()));
    EXPECT_EQ(error->palette().color(QPalette::WindowText), Theme::red());
    daemon.serve({});
    pollAndWait(*model);
    EXPECT_FALSE(error->isVisible());
    daemon.stop();
    pollAndWait(*model);
    EXPECT_TRUE(error->isVisible());
}

}  // namespace
}  // namespace celvio::test
