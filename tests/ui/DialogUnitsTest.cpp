#include "ui/DialogUnits.h"

#include <QFontInfo>
#include <QFontMetrics>

#include <gtest/gtest.h>

TEST(DialogUnits, DesignedFacesMapToAnInstalledJapaneseGothic) {
    for (const QFont& font : {MainWindowFont(), DialogFont()}) {
        const QString family = QFontInfo(font).family();
        EXPECT_TRUE(family.contains(QStringLiteral("Gothic"))) << family.toStdString();
    }
    EXPECT_EQ(MainWindowFont().pointSize(), 9);
    EXPECT_EQ(DialogFont().pointSize(), 8);
}

TEST(DialogUnits, ConvertFromTheFontsAverageWidthAndHeight) {
    const CDialogUnits units(MainWindowFont());
    const QFontMetrics metrics(MainWindowFont());
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Four horizontal units are one average width, eight vertical ones one
    // line height.
    EXPECT_EQ(units.ToPixelsX(4), (letters / 26 + 1) / 2);
    EXPECT_EQ(units.ToPixelsY(8), metrics.height());

    // Rectangles convert their edges, so controls that touch keep touching.
    const QRect left = units.ToPixels(7, 17, 121, 60);
    const QRect right = units.ToPixels(128, 17, 200, 60);
    EXPECT_EQ(left.x() + left.width(), right.x());
}
