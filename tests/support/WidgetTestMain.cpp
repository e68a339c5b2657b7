// The main of test programs that show windows: offscreen, with the fonts the
// program's layouts are designed for, and with Qt's file dialog keeping its
// state out of the user's configuration folder.
#include "ui/DialogUnits.h"

#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    InstallDialogFontSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
