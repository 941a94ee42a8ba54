#include "panels/raw_values_sheet.hpp"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace celvio {
namespace {

const std::string longHex(240, 'A');

std::vector<RawValuesSheet::Row> batteryRows() {
    return {{"AppleRawCurrentCapacity", "1475"}, {"CycleCount", "412"},      {"DesignCapacity", "3200"},
            {"ManufacturerData", longHex},       {"Serial", "F5D3281ZQJ9K"}, {"Voltage", "3900"}};
}

QString subtitle(const RawValuesSheet& sheet) { return sheet.findChild<QLabel*>("subtitle")->text(); }

/// A click, or a double click, at `at` in the dialog's coordinates, then the copy key.
QString copyAfterClick(const RawValuesSheet& sheet, QPoint at, bool twice) {
    auto* list = sheet.findChild<QAbstractScrollArea*>();
    const QPoint local = list->viewport()->mapFrom(&sheet, at);
    twice ? QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, local)
          : QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, local);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    return QApplication::clipboard()->text();
}

TEST(RawValuesSheetTest, FiltersByKeyOrValueCopiesEverythingAndClosesOnReturn) {
    RawValuesSheet sheet("Test iPhone", batteryRows());
    sheet.show();
    const QString count = QString("Test iPhone ") + QChar(0x00B7) + " 6 IORegistry keys";
    EXPECT_EQ(subtitle(sheet), count);
    const QStringList all = {"AppleRawCurrentCapacity", "CycleCount", "DesignCapacity",
                             "ManufacturerData", "Serial", "Voltage"};
    EXPECT_EQ(sheet.shownKeys(), all);

    auto* search = sheet.findChild<QLineEdit*>("search");
    QSignalSpy accepted(&sheet, &QDialog::accepted);
    const struct {
        const char* typed;
        QStringList shown;
    } filters[] = {{"designcapacity", {"DesignCapacity"}}, {"f5d3", {"Serial"}},  // only a value matches
                   {"CAPACITY", {"AppleRawCurrentCapacity", "DesignCapacity"}}, {"CAPACITYx", {}}, {"", all}};
    for (const auto& filter : filters) {
        search->clear();
        QTest::keyClicks(search, filter.typed);
        EXPECT_EQ(sheet.shownKeys(), filter.shown) << filter.typed;
    }
    QTest::keyClicks(search, "f5d3");
    EXPECT_EQ(subtitle(sheet), count) << "the count ignores the filter";

    QTest::mouseClick(sheet.findChild<QPushButton*>("copyAll"), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QString::fromStdString("AppleRawCurrentCapacity = 1475\nCycleCount = 412\nDesignCapacity = 3200\n"
                                     "ManufacturerData = " + longHex + "\nSerial = F5D3281ZQJ9K\nVoltage = 3900"));
    EXPECT_EQ(accepted.count(), 0) << "typing and copying never press Done";
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(sheet.isVisible());

    RawValuesSheet empty("This Computer", {});
    EXPECT_EQ(subtitle(empty), QString("This Computer ") + QChar(0x00B7) + " 0 IORegistry keys");
    QTest::mouseClick(empty.findChild<QPushButton*>("copyAll"), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), "");
}

TEST(RawValuesSheetTest, ValuesWrapInsideTheirRowAndCopyExactlyFromAMouseSelection) {
    RawValuesSheet sheet("Test iPhone", batteryRows());
    sheet.show();
    auto* list = sheet.findChild<QAbstractScrollArea*>();
    const QRect manufacturer = sheet.shownRowRect(3);
    EXPECT_LE(manufacturer.right(), sheet.width() - 12) << "the long value stays inside the dialog";
    EXPECT_GE(manufacturer.height(), sheet.shownRowRect(1).height() + 3 * 10) << "240 characters over several lines";

    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    EXPECT_TRUE(sheet.findChild<QLineEdit*>("search")->hasFocus()) << "the search field is first";
    // A drag across the serial's value, inside its last line.
    QWidget* viewport = list->viewport();
    const QRect row = sheet.shownRowRect(4);
    const int y = row.bottom() - 8;
    QTest::mousePress(viewport, Qt::LeftButton, {}, viewport->mapFrom(&sheet, QPoint(row.left() + 1, y)));
    QTest::mouseMove(viewport, viewport->mapFrom(&sheet, QPoint(row.center().x(), y)));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, viewport->mapFrom(&sheet, QPoint(row.right() - 1, y)));
    EXPECT_TRUE(list->hasFocus()) << "a click in the rows takes the focus, so the copy key reaches them";
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "F5D3281ZQJ9K");

    EXPECT_EQ(copyAfterClick(sheet, manufacturer.center(), true), QString::fromStdString(longHex))
        << "a double click takes the whole value";
    QApplication::clipboard()->setText("kept");
    EXPECT_EQ(copyAfterClick(sheet, sheet.shownRowRect(5).topLeft() + QPoint(8, 6), false), "kept")
        << "a click on a key drops the selection";

    RawValuesSheet lines("Test iPhone", {{"Notes", "first line\nsecond line"}, {"CycleCount", "412"}});
    lines.show();
    EXPECT_GE(lines.shownRowRect(0).height(), lines.shownRowRect(1).height() + 10) << "a line feed starts a line";
    EXPECT_EQ(copyAfterClick(lines, lines.shownRowRect(0).bottomLeft() - QPoint(-8, 8), true),
              "first line\nsecond line");
}

}  // namespace
}  // namespace celvio
