#include "ui/DialogUnits.h"

#include <QFontInfo>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include <cmath>

TEST(DialogUnits, DesignedFacesMapToAnInstalledJapaneseGothic) {
    for (const QFont& font : {MainWindowFont(), DialogFont()}) {
        const QString family = QFontInfo(font).family();
        EXPECT_TRUE(family.contains(QStringLiteral("Gothic"))) << family.toStdString();
    }
    EXPECT_EQ(MainWindowFont().pointSize(), 9);
    EXPECT_EQ(DialogFont().pointSize(), 8);
}

TEST(DialogUnits, FourUnitsAreTheAverageLetterWidthAndEightUnitsOneLine) {
    for (const QFont& font : {MainWindowFont(), DialogFont()}) {
        const CDialogUnits units(font);
        const QFontMetrics metrics(font);
        const double average = metrics.horizontalAdvance(QStringLiteral(
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                               52.0;
        // The average width to the nearest pixel.
        EXPECT_LE(std::abs(units.ToPixelsX(4) - average), 0.5) << average;
        EXPECT_EQ(units.ToPixelsY(8), metrics.height());
    }
}

TEST(DialogUnits, EveryLengthRoundsToTheNearestPixel) {
    for (const QFont& font : {MainWindowFont(), DialogFont()}) {
        const CDialogUnits units(font);
        for (int length = 0; length <= 500; ++length) {
            ASSERT_EQ(units.ToPixelsX(length), std::lround(length * units.BaseWidth() / 4.0))
                << length;
            ASSERT_EQ(units.ToPixelsY(length), std::lround(length * units.BaseHeight() / 8.0))
                << length;
        }
        // A size takes its width from the horizontal unit, its height from the
        // vertical one.
        EXPECT_EQ(units.ToPixels(41, 23), QSize(units.ToPixelsX(41), units.ToPixelsY(23)));
    }
}

TEST(DialogUnits, ControlsThatTouchInUnitsTouchInPixels) {
    const CDialogUnits units(MainWindowFont());
    // Side by side and one above the other: the shared edge converts once,
    // so however the widths and heights round, no gap or overlap appears.
    const QRect left = units.ToPixels(7, 17, 121, 61);
    const QRect right = units.ToPixels(128, 17, 201, 61);
    EXPECT_EQ(left.x() + left.width(), right.x());
    const QRect top = units.ToPixels(7, 17, 121, 13);
    const QRect below = units.ToPixels(7, 30, 121, 13);
    EXPECT_EQ(top.y() + top.height(), below.y());
}
