#include "panels/raw_values_sheet.hpp"
#include "style/theme.hpp"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace celvio {
namespace {

const std::string longHex(240, 'A');

std::vector<RawValuesSheet::Row> batteryRows() {
    return {
        {"AppleRawCurrentCapacity", "1475"}, {"CycleCount", "412"},      {"DesignCapacity", "3200"},
        {"ManufacturerData", longHex},       {"Serial", "F5D3281ZQJ9K"}, {"Voltage", "3900"},
    };
}

QPushButton* button(const RawValuesSheet& sheet, const char* name) {
    auto* found = sheet.findChild<QPushButton*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QWidget* rowsViewport(const RawValuesSheet& sheet) { return sheet.findChild<QAbstractScrollArea*>()->viewport(); }

bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 1 && std::abs(a.green() - b.green()) <= 1 &&
           std::abs(a.blue() - b.blue()) <= 1;
}

int brightness(const QImage& image, QPoint at) {
    const QColor colour = image.pixelColor(at);
    return colour.red() + colour.green() + colour.blue();
}

/// Drags from the left to the right edge of the last line of a shown row's value.
void dragAcrossValue(const RawValuesSheet& sheet, int shownIndex) {
    QWidget* viewport = rowsViewport(sheet);
    const QRect row = sheet.shownRowRect(shownIndex);
    const int y = row.bottom() - 8;  // above the padding, inside the last line
    QTest::mousePress(viewport, Qt::LeftButton, {}, viewport->mapFrom(&sheet, QPoint(row.left() + 1, y)));
    QTest::mouseMove(viewport, viewport->mapFrom(&sheet, QPoint(row.center().x(), y)));
    QTest::mouseMove(viewport, viewport->mapFrom(&sheet, QPoint(row.right() - 1, y)));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, viewport->mapFrom(&sheet, QPoint(row.right() - 1, y)));
}

TEST(RawValuesSheetTest, CountsEveryRowAndFiltersByKeyOrValueWithStripesRestarting) {
    RawValuesSheet sheet("Test iPhone", batteryRows());
    sheet.show();
    EXPECT_EQ(sheet.size(), QSize(290, 470));
    EXPECT_EQ(sheet.minimumSize(), sheet.maximumSize());
    const QImage background = sheet.grab().toImage();
    EXPECT_TRUE(near(background.pixelColor(1, 1), Theme::backgroundTop()));
    EXPECT_TRUE(near(background.pixelColor(1, 468), Theme::backgroundBottom()));

    const QString subtitle = QString("Test iPhone ") + QChar(0x00B7) + " 6 IORegistry keys";
    EXPECT_EQ(sheet.findChild<QLabel*>("subtitle")->text(), subtitle);
    const QStringList all = {"AppleRawCurrentCapacity", "CycleCount", "DesignCapacity",
                             "ManufacturerData",        "Serial",     "Voltage"};
    EXPECT_EQ(sheet.shownKeys(), all);
    for (int i = 0; i < all.size(); ++i) {
        EXPECT_EQ(sheet.rowStriped(i), i % 2 == 0) << i;
        if (i > 0) {
            EXPECT_EQ(sheet.shownRowRect(i).top(), sheet.shownRowRect(i - 1).bottom() + 1) << "rows adjoin";
        }
    }

    auto* search = sheet.findChild<QLineEdit*>("search");
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(search->placeholderText(), "Search");
    QSignalSpy accepted(&sheet, &QDialog::accepted);
    QTest::keyClicks(search, "designcapacity");
    EXPECT_EQ(sheet.shownKeys(), QStringList{"DesignCapacity"});

    search->clear();
    QTest::keyClicks(search, "f5d3");  // only the serial's value matches
    EXPECT_EQ(sheet.shownKeys(), QStringList{"Serial"});
    EXPECT_TRUE(sheet.rowStriped(0)) << "the fifth row is the first on show now";
    EXPECT_FALSE(sheet.rowStriped(1));
    EXPECT_TRUE(sheet.shownRowRect(1).isEmpty());
    const QRect serial = sheet.shownRowRect(0);
    const QImage drawn = sheet.grab().toImage();
    EXPECT_GT(brightness(drawn, serial.topLeft() + QPoint(2, 1)),
              brightness(drawn, serial.bottomLeft() + QPoint(2, 3)) + 6)
        << "the first row on show has the stripe, the empty space below has none";

    search->clear();
    QTest::keyClicks(search, "CAPACITY");
    EXPECT_EQ(sheet.shownKeys(), (QStringList{"AppleRawCurrentCapacity", "DesignCapacity"}));
    QTest::keyClicks(search, "x");
    EXPECT_TRUE(sheet.shownKeys().isEmpty());
    EXPECT_FALSE(sheet.rowStriped(0));
    search->clear();
    EXPECT_EQ(sheet.shownKeys(), all);

    EXPECT_EQ(sheet.findChild<QLabel*>("subtitle")->text(), subtitle) << "the count ignores the filter";
    EXPECT_EQ(accepted.count(), 0) << "typing never presses Done";
    EXPECT_TRUE(sheet.isVisible());
}

TEST(RawValuesSheetTest, CopyAllCopiesEveryRowWhateverTheFilterAndDoneOrReturnCloses) {
    RawValuesSheet sheet("Test iPhone", batteryRows());
    sheet.show();
    QTest::keyClicks(sheet.findChild<QLineEdit*>("search"), "cycle");
    QTest::mouseClick(button(sheet, "copyAll"), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QString::fromStdString("AppleRawCurrentCapacity = 1475\nCycleCount = 412\nDesignCapacity = 3200\n"
                                     "ManufacturerData = " +
                                     longHex + "\nSerial = F5D3281ZQJ9K\nVoltage = 3900"));
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_TRUE(button(sheet, "done")->isDefault());
    QTest::mouseClick(button(sheet, "done"), Qt::LeftButton);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.result(), QDialog::Accepted);

    RawValuesSheet again("Test iPhone", batteryRows());
    again.show();
    QSignalSpy accepted(&again, &QDialog::accepted);
    auto* search = again.findChild<QLineEdit*>("search");
    QTest::keyClicks(search, "volt");
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(again.isVisible());
}

TEST(RawValuesSheetTest, WithoutRowsShowsZeroKeysAndCopiesNothing) {
    RawValuesSheet sheet("This Computer", {});
    sheet.show();
    EXPECT_EQ(sheet.findChild<QLabel*>("subtitle")->text(),
              QString("This Computer ") + QChar(0x00B7) + " 0 IORegistry keys");
    EXPECT_TRUE(sheet.shownKeys().isEmpty());
    EXPECT_TRUE(sheet.shownRowRect(0).isEmpty());
    QApplication::clipboard()->setText("left over");
    QTest::mouseClick(button(sheet, "copyAll"), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), "");
}

TEST(RawValuesSheetTest, ValuesWrapInsideTheirRowAndCopyExactlyFromAMouseSelection) {
    RawValuesSheet sheet("Test iPhone", batteryRows());
    sheet.show();
    auto* list = sheet.findChild<QAbstractScrollArea*>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    const QRect manufacturer = sheet.shownRowRect(3);
    EXPECT_LE(manufacturer.right(), sheet.width() - 12) << "the long value stays inside the dialog";
    EXPECT_GE(manufacturer.height(), sheet.shownRowRect(1).height() + 3 * 10) << "240 characters over several lines";

    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    EXPECT_TRUE(sheet.findChild<QLineEdit*>("search")->hasFocus()) << "the search field is first";
    dragAcrossValue(sheet, 4);
    EXPECT_TRUE(list->hasFocus()) << "a click in the rows takes the focus, so the copy key reaches them";
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "F5D3281ZQJ9K");

    // Within the long value the drag covers its last line only; a double click takes it all.
    QWidget* viewport = list->viewport();
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, viewport->mapFrom(&sheet, manufacturer.center()));
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromStdString(longHex));

    // A click on a key drops the selection: nothing new reaches the clipboard.
    QApplication::clipboard()->setText("kept");
    const QRect voltage = sheet.shownRowRect(5);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, viewport->mapFrom(&sheet, voltage.topLeft() + QPoint(8, 6)));
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");

    // A line feed inside a value starts a new line and survives the copy.
    RawValuesSheet lines("Test iPhone", {{"Notes", "first line\nsecond line"}, {"CycleCount", "412"}});
    lines.show();
    EXPECT_GE(lines.shownRowRect(0).height(), lines.shownRowRect(1).height() + 10);
    auto* linesList = lines.findChild<QAbstractScrollArea*>();
    QTest::mouseDClick(linesList->viewport(), Qt::LeftButton, {},
                       linesList->viewport()->mapFrom(&lines, lines.shownRowRect(0).bottomLeft() - QPoint(-8, 8)));
    QTest::keyClick(linesList, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "first line\nsecond line");
}

}  // namespace
}  // namespace celvio
