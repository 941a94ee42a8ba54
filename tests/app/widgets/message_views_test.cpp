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

QStringList labelTexts(const QWidget& widget) {
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>()) texts << label->text();
    return texts;
}

QLabel* labelWithText(const QWidget& widget, const QString& text) {
    for (QLabel* label : widget.findChildren<QLabel*>())
        if (label->text() == text) return label;
    return nullptr;
}

TEST(MessageViewTest, ShowsTheButtonOnlyWithBothTitleAndActionAndRunsTheActionOnce) {
    int runs = 0;
    const auto action = [&runs] { ++runs; };
    MessageView neither("iphone.slash", "No Device", "Connect one to see its battery.");
    MessageView titleOnly("iphone.slash", "No Device", "Connect one to see its battery.", QString("Retry"));
    MessageView actionOnly("iphone.slash", "No Device", "Connect one to see its battery.", std::nullopt, action);
    for (const MessageView* view : {&neither, &titleOnly, &actionOnly}) {
        EXPECT_EQ(view->findChild<QLabel*>("title")->text(), "No Device");
        EXPECT_EQ(view->findChild<QLabel*>("message")->text(), "Connect one to see its battery.");
        EXPECT_NE(labelWithText(*view, Symbols::glyph("iphone.slash")), nullptr);
        EXPECT_EQ(view->findChild<QPushButton*>(), nullptr);
    }

    MessageView both("iphone.slash", "No Device", "Connect one to see its battery.", QString("Retry"), action);
    both.resize(300, 300);
    both.show();
    auto* button = both.findChild<QPushButton*>("action");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Retry");
    EXPECT_EQ(button->grab().toImage().pixelColor(4, button->height() / 2), Theme::amber()) << "filled amber";
    EXPECT_EQ(runs, 0);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(runs, 1);
}

TEST(MessageViewTest, LongMessageWrapsCentredInTheMiddleOfTheView) {
    const QString message =
        "The daemon that lists attached devices did not answer. Start it, or connect the device again, and "
        "Celvio tries once more on its own.";
    MessageView view("exclamationmark.triangle", "Devices Unavailable", message);
    view.resize(240, 500);
    view.show();
    QApplication::processEvents();

    auto* label = view.findChild<QLabel*>("message");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->wordWrap());
    EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
    EXPECT_LE(label->width(), 240 - 2 * 20);
    EXPECT_GE(label->height(), 3 * label->fontMetrics().height()) << "wrapped over several lines";
    EXPECT_NEAR(label->geometry().center().x(), view.rect().center().x(), 1);

    // The column sits in the middle: as much room above the symbol as below the message.
    const QLabel* symbol = labelWithText(view, Symbols::glyph("exclamationmark.triangle"));
    ASSERT_NE(symbol, nullptr);
    EXPECT_NEAR(symbol->geometry().top(), view.height() - label->geometry().bottom(), 2);
}

TEST(ConnectHelpPanelTest, ShowsHeaderAndNumberedStepsWithTypographicCharacters) {
    ConnectHelpPanel panel;
    panel.resize(300, 500);
    panel.show();

    const QChar nonBreakingHyphen(0x2011), enDash(0x2013), openQuote(0x201C), closeQuote(0x201D);
    const QStringList texts = labelTexts(panel);
    EXPECT_TRUE(texts.contains(Symbols::glyph("iphone.radiowaves.left.and.right")));
    EXPECT_TRUE(texts.contains("No iPhone or iPad found"));
    EXPECT_TRUE(texts.contains(QString("Connect one via USB or Wi") + nonBreakingHyphen + "Fi"));

    const QStringList steps = {
        QString("Connect the device via USB and tap ") + openQuote + "Trust this Computer" + closeQuote + ".",
        QString("In Finder, select the device and enable ") + openQuote + "Show this iPhone when on Wi" +
            nonBreakingHyphen + "Fi" + closeQuote + ".",
        QString("Keep the device in the same network as this computer ") + enDash +
            " it then shows up without a cable.",
    };
    for (int i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i + 1);
        const QLabel* text = labelWithText(panel, steps[i]);
        QLabel* number = labelWithText(panel, QString::number(i + 1));
        ASSERT_NE(text, nullptr);
        ASSERT_NE(number, nullptr);
        EXPECT_TRUE(text->wordWrap());
        EXPECT_EQ(number->size(), QSize(18, 18));
        EXPECT_EQ(number->geometry().top(), text->geometry().top()) << "number and text share the top";
        EXPECT_LT(number->geometry().right(), text->geometry().left());

        const QImage disc = number->grab().toImage();
        EXPECT_EQ(disc.pixelColor(3, 9), Theme::amber()) << "inside the disc, left of the digit";
        EXPECT_NE(disc.pixelColor(0, 0), Theme::amber()) << "outside the circle";
    }
    EXPECT_FALSE(panel.findChild<QLabel*>("usbmuxError")->isVisible());
}

TEST(ConnectHelpPanelTest, ShowsTheDaemonErrorInRedOnlyWhileThePollFails) {
    TempDir dir;
    Daemon daemon;  // serves nothing yet: the socket does not exist
    auto model = startModel(isolatedOptions(dir));
    ASSERT_TRUE(model->usbmuxError());
    model->setSelection(Selection::connectHelp());
    RootView root(*model);
    root.show();

    auto* error = root.panel()->findChild<QLabel*>("usbmuxError");
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), UiText::fromStd(*model->usbmuxError()));
    EXPECT_FALSE(error->text().isEmpty());
    EXPECT_TRUE(error->wordWrap());
    EXPECT_EQ(error->palette().color(QPalette::WindowText), Theme::red());

    daemon.serve({});
    pollAndWait(*model);
    ASSERT_FALSE(model->usbmuxError());
    EXPECT_FALSE(error->isVisible());

    daemon.stop();
    pollAndWait(*model);
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), UiText::fromStd(model->usbmuxError().value_or("")));
}

}  // namespace
}  // namespace celvio::test
