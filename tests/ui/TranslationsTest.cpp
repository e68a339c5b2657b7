#include "ui/Translations.h"

#include <QApplication>
#include <QTranslator>

#include <gtest/gtest.h>

TEST(TranslationsTest, QtTextsTurnJapaneseOnceInstalled) {
    ASSERT_TRUE(InstallJapaneseQtTranslations(*qApp));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral(u"はい(&Y)"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"),
              QStringLiteral(u"キャンセル"));

    // A second call keeps the one translator.
    EXPECT_TRUE(InstallJapaneseQtTranslations(*qApp));
    EXPECT_EQ(qApp->findChildren<QTranslator*>().size(), 1);
}
