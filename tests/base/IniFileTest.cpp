#include "base/IniFile.h"

#include "FileHelpers.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QString Path() const { return m_dir.filePath(u"KomaSlateUtility.ini"_s); }
    QTemporaryDir m_dir;
};

TEST_F(IniFileTest, CreateUnicodeMakesAnEmptyUtf16File) {
    CCapturingSink sink;
    CIniFile reader(Path(), false);
    EXPECT_FALSE(QFile::exists(Path())) << "without the flag nothing is created";

    CIniFile writer(Path(), true);
    EXPECT_EQ(ReadFileBytes(Path()), QByteArray("\xFF\xFE"));
    EXPECT_TRUE(sink.Messages().isEmpty());

    ASSERT_TRUE(writer.WriteString(u"FileDlg"_s, u"ExportExt"_s, u".kom"_s));
    // An existing file is left as it is by a second accessor.
    CIniFile again(Path(), true);
    EXPECT_EQ(again.GetString(u"FileDlg"_s, u"ExportExt"_s, {}), u".kom"_s);
    const QByteArray bytes = ReadFileBytes(Path());
    EXPECT_TRUE(bytes.startsWith("\xFF\xFE[\0F\0"));
}

TEST_F(IniFileTest, FileThatCannotBeCreatedIsNotReported) {
    CCapturingSink sink;
    const QString path = m_dir.filePath(u"file/KomaSlateUtility.ini"_s);
    QFile blocker(m_dir.filePath(u"file"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    CIniFile settings(path, true);
    EXPECT_TRUE(sink.Messages().isEmpty());
    EXPECT_FALSE(settings.WriteInt(u"FileDlg"_s, u"ExportLayerTile"_s, 1));
    EXPECT_EQ(settings.GetInt(u"FileDlg"_s, u"ExportLayerTile"_s, 0), 0);
}

TEST_F(IniFileTest, EmptySectionMeansGeneral) {
    CIniFile settings(Path(), true);
    ASSERT_TRUE(settings.WriteString(QString(), u"A"_s, u"1"_s));
    ASSERT_TRUE(settings.WriteInt(u""_s, u"B"_s, 2));
    EXPECT_EQ(ReadUtf16File(Path()), u"[General]\r\nA=1\r\nB=2\r\n"_s);
    EXPECT_EQ(settings.GetString(QString(), u"A"_s, {}), u"1"_s);
    EXPECT_EQ(settings.GetInt(QString(), u"B"_s, 0), 2);
    EXPECT_EQ(settings.GetString(u"general"_s, u"a"_s, {}), u"1"_s);
}

TEST(SettingsFilePathTest, BesideTheProgramOrInTheConfigFolder) {
    EXPECT_EQ(SettingsFilePath(u"/opt/ks.d/KomaSlateUtility"_s, true,
                               u"/home/u/.config/KomaSlate Utility"_s),
              u"/opt/ks.d/KomaSlateUtility.ini"_s);
    EXPECT_EQ(SettingsFilePath(u"C:/Tools/KomaSlateUtility.exe"_s, true, QString()),
              u"C:/Tools/KomaSlateUtility.ini"_s);
    EXPECT_EQ(SettingsFilePath(u"/usr/bin/KomaSlateUtility"_s, false,
                               u"/home/u/.config/KomaSlate Utility"_s),
              u"/home/u/.config/KomaSlate Utility/KomaSlateUtility.ini"_s);
}

TEST(SettingsFilePathTest, RunningProgramKeepsItBesideItself) {
    // The test program's folder (the build tree) is writable.
    EXPECT_EQ(SettingsFilePath(), QCoreApplication::applicationDirPath() + u"/tests_base.ini"_s);
}

} // namespace
