#include "ui/DialogUnits.h"
#include "ui/Translations.h"

#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's file dialog keeps its own state in the user's configuration
    // folder; test mode keeps the tests out of it.
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    InstallDialogFontSubstitutes();
    InstallJapaneseQtTranslations(application);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
