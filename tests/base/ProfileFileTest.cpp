#include "base/ProfileFile.h"

#include "FileHelpers.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    QString Path() const { return m_dir.filePath(u"settings.ini"_s); }
    // What the tests write and what the program writes both make seeds.
    QByteArray ReadBytes() const { return Seed(ReadFileBytes(Path())); }
    void WriteBytes(const QByteArray& bytes) const {
        ASSERT_TRUE(WriteFileBytes(Path(), Seed(bytes)));
    }
    QString ReadUtf16Text() const {
        Seed(ReadFileBytes(Path()));
        return ReadUtf16File(Path());
    }
    void WriteUtf16Text(const QString& text) const {
        ASSERT_TRUE(WriteUtf16File(Path(), text));
        Seed(ReadFileBytes(Path()));
    }
    static const QByteArray& Seed(const QByteArray& bytes) {
        WriteFuzzSeed("profile_text_fuzzer", QString::number(qHash(bytes), 16), bytes);
        return bytes;
    }

    QTemporaryDir m_dir;
};

TEST_F(ProfileFileTest, NewFileIsUtf16LittleEndianWithMark) {
    CProfileFile profile(Path());
    ASSERT_TRUE(profile.WriteString(u"FileDlg"_s, u"ExportExt"_s, u".kom"_s));
    const QByteArray bytes = ReadBytes();
    ASSERT_GE(bytes.size(), 4);
    EXPECT_EQ(uchar(bytes[0]), 0xFF);
    EXPECT_EQ(uchar(bytes[1]), 0xFE);
    EXPECT_EQ(bytes[2], '[');
    EXPECT_EQ(bytes[3], '\0');
    EXPECT_EQ(ReadUtf16Text(), u"[FileDlg]\r\nExportExt=.kom\r\n"_s);
}

TEST_F(ProfileFileTest, MissingFileSectionOrKeyGivesDefault) {
    CProfileFile profile(Path());
    EXPECT_EQ(profile.GetString(u"FileDlg"_s, u"ExportExt"_s, u".png"_s), u".png"_s);
    EXPECT_EQ(profile.GetInt(u"FileDlg"_s, u"ExportLayerTile"_s, 7), 7);
    EXPECT_FALSE(QFile::exists(Path())) << "reading must not create the file";

    WriteUtf16Text(u"[FileDlg]\r\nExportFolder=/tmp\r\n[Other]\r\nExportExt=.kom\r\n"_s);
    EXPECT_EQ(profile.GetString(u"FileDlg"_s, u"ExportExt"_s, u".png"_s), u".png"_s)
        << "a key of a later section must not be found";
    EXPECT_EQ(profile.GetString(u"Missing"_s, u"ExportFolder"_s, u"def"_s), u"def"_s);
}

TEST_F(ProfileFileTest, LongValuesRoundTrip) {
    CProfileFile profile(Path());
    QString value;
    for (int i = 0; i < 300; ++i)
        value += QChar(u'a' + i % 26);
    value[150] = QChar(0x30D5); // a Japanese character in the middle
    ASSERT_TRUE(profile.WriteString(u"FileDlg"_s, u"ExportFolder"_s, value));
    EXPECT_EQ(profile.GetString(u"FileDlg"_s, u"ExportFolder"_s, {}), value);
}

TEST_F(ProfileFileTest, LookupIgnoresCaseAndWhiteSpace) {
    WriteUtf16Text(u" [ FileDlg ] \r\n  ExportExt = .kom \r\nA=\"x y\"\r\nB='z'\r\nC=\"open\r\n"_s);
    CProfileFile profile(Path());
    EXPECT_EQ(profile.GetString(u"filedlg"_s, u"EXPORTEXT"_s, {}), u".kom"_s);
    EXPECT_EQ(profile.GetString(u"FILEDLG"_s, u"exportext"_s, {}), u".kom"_s);
    // One pair of matching quotes around a value is removed.
    EXPECT_EQ(profile.GetString(u"FileDlg"_s, u"A"_s, {}), u"x y"_s);
    EXPECT_EQ(profile.GetString(u"FileDlg"_s, u"B"_s, {}), u"z"_s);
    EXPECT_EQ(profile.GetString(u"FileDlg"_s, u"C"_s, {}), u"\"open"_s);

    // Rewriting through another spelling changes the existing line only.
    ASSERT_TRUE(profile.WriteString(u"FILEDLG"_s, u"exportEXT"_s, u".png"_s));
    EXPECT_EQ(ReadUtf16Text(),
              u" [ FileDlg ] \r\nExportExt=.png\r\nA=\"x y\"\r\nB='z'\r\nC=\"open\r\n"_s);
}

TEST_F(ProfileFileTest, WritesKeepTheRestOfTheFile) {
    QStringList lines = {u"; settings"_s,     u"[FileDlg]"_s, u"ExportFolder=/home/a"_s,
                         u"ExportExt=.png"_s, QString(),      u"[Window]"_s,
                         u"Left=10"_s};
    const auto text = [&] { return lines.join(u"\r\n"_s) + u"\r\n"_s; };
    WriteUtf16Text(text());
    CProfileFile profile(Path());

    // An existing key is rewritten in place.
    ASSERT_TRUE(profile.WriteString(u"FileDlg"_s, u"ExportFolder"_s, u"/home/b"_s));
    lines[2] = u"ExportFolder=/home/b"_s;
    EXPECT_EQ(ReadUtf16Text(), text());

    // A new key goes after the last line of its section, before the blank line.
    ASSERT_TRUE(profile.WriteInt(u"FileDlg"_s, u"ExportLayerTile"_s, 1));
    lines.insert(4, u"ExportLayerTile=1"_s);
    EXPECT_EQ(ReadUtf16Text(), text());

    // A new section is appended at the end.
    ASSERT_TRUE(profile.WriteString(u"New"_s, u"Key"_s, u"v"_s));
    lines << u"[New]"_s << u"Key=v"_s;
    EXPECT_EQ(ReadUtf16Text(), text());
    EXPECT_EQ(profile.GetString(u"New"_s, u"Key"_s, {}), u"v"_s);
    EXPECT_EQ(profile.GetInt(u"Window"_s, u"Left"_s, 0), 10);
}

TEST_F(ProfileFileTest, KeyAddedToSectionWithoutEntriesOrFinalLineBreak) {
    WriteUtf16Text(u"[Empty]\r\n[Last]\r\nA=1"_s);
    CProfileFile profile(Path());
    ASSERT_TRUE(profile.WriteString(u"Empty"_s, u"K"_s, u"x"_s));
    ASSERT_TRUE(profile.WriteString(u"Last"_s, u"B"_s, u"2"_s));
    EXPECT_EQ(ReadUtf16Text(), u"[Empty]\r\nK=x\r\n[Last]\r\nA=1\r\nB=2\r\n"_s);
}

TEST_F(ProfileFileTest, ExistingEncodingAndLineBreaksAreKept) {
    WriteBytes(QByteArray("[FileDlg]\nExportExt=.kom\n"));
    CProfileFile profile(Path());
    ASSERT_TRUE(profile.WriteString(u"FileDlg"_s, u"ExportFolder"_s, u"/home/ユーザー"_s));
    EXPECT_EQ(ReadBytes(), QByteArray("[FileDlg]\nExportExt=.kom\nExportFolder=/home/")
                               .append(u"ユーザー"_s.toUtf8())
                               .append('\n'));
    EXPECT_EQ(profile.GetString(u"FileDlg"_s, u"ExportFolder"_s, {}), u"/home/ユーザー"_s);
}

TEST_F(ProfileFileTest, FileThatDoesNotDecodeIsNotRewritten) {
    const QByteArray bytes("[FileDlg]\r\nExportExt=.kom\r\nName=\x83\x65\x83\x58\r\n");
    WriteBytes(bytes);
    CProfileFile profile(Path());
    EXPECT_EQ(profile.GetString(u"FileDlg"_s, u"ExportExt"_s, {}), u".kom"_s);
    EXPECT_FALSE(profile.WriteString(u"FileDlg"_s, u"ExportExt"_s, u".png"_s));
    EXPECT_EQ(ReadBytes(), bytes);
}

TEST_F(ProfileFileTest, FileThatWouldNotBeWrittenBackByteForByteIsNotRewritten) {
    // Bytes that decode without a reported error but would change when the
    // text is written back: the write must be refused and the file kept.
    const QByteArray cases[] = {
        // UTF-8 ending inside a sequence: the last two bytes would be lost.
        QByteArray("[S]\nK=v\nN=\xE3\x81"),
        // UTF-16 with an odd last byte.
        QByteArray("\xFF\xFE[\0S\0]\0\n\0K\0=\0v\0\n\0!", 19),
        // UTF-32 with a number beyond U+10FFFF.
        QByteArray("\xFF\xFE\0\0[\0\0\0S\0\0\0]\0\0\0\n\0\0\0K\0\0\0=\0\0\0v\0\0\0"
                   "\n\0\0\0\0\0\0\xFF",
                   40),
    };
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        WriteBytes(bytes);
        CProfileFile profile(Path());
        EXPECT_EQ(profile.GetString(u"S"_s, u"K"_s, {}), u"v"_s);
        EXPECT_FALSE(profile.WriteString(u"S"_s, u"K"_s, u"w"_s));
        EXPECT_EQ(ReadBytes(), bytes);
    }
}

TEST_F(ProfileFileTest, LinesAreFoundInTextWithLoneSurrogates) {
    // A UTF-16 file may hold half of a surrogate pair; it decodes without
    // error and writes back unchanged, so its lines must still be found.
    const QString text = u"[S]\r\nA="_s + QChar(0xD800) + u"\r\nK=v\r\n"_s;
    WriteUtf16Text(text);
    CProfileFile profile(Path());
    EXPECT_EQ(profile.GetString(u"S"_s, u"K"_s, {}), u"v"_s);
    ASSERT_TRUE(profile.WriteString(u"S"_s, u"K"_s, u"w"_s));
    EXPECT_EQ(ReadUtf16Text(), u"[S]\r\nA="_s + QChar(0xD800) + u"\r\nK=w\r\n"_s);
    EXPECT_EQ(profile.GetString(u"S"_s, u"A"_s, {}), QString(QChar(0xD800)));
}

TEST_F(ProfileFileTest, EmptyFileIsWrittenAsNewUtf16File) {
    WriteBytes({});
    CProfileFile profile(Path());
    ASSERT_TRUE(profile.WriteString(u"S"_s, u"K"_s, u"v"_s));
    EXPECT_EQ(ReadUtf16Text(), u"[S]\r\nK=v\r\n"_s);

    // A file holding only the mark, as the settings accessor creates it.
    WriteBytes(QByteArray("\xFF\xFE"));
    ASSERT_TRUE(profile.WriteString(u"S"_s, u"K"_s, u"w"_s));
    EXPECT_EQ(ReadUtf16Text(), u"[S]\r\nK=w\r\n"_s);
}

TEST_F(ProfileFileTest, ValuesReadBackExactly) {
    CProfileFile profile(Path());
    const QString values[] = {
        QString(), u" leading"_s, u"trailing\t"_s,      u"\"quoted\""_s, u"'single'"_s,
        u"\""_s,   u"a=b=c"_s,    u"[not a section]"_s, u"   "_s,
    };
    for (const QString& value : values) {
        ASSERT_TRUE(profile.WriteString(u"S"_s, u"K"_s, value)) << value.toStdString();
        EXPECT_EQ(profile.GetString(u"S"_s, u"K"_s, u"default"_s), value)
            << "value: [" << value.toStdString() << "]";
    }
}

TEST_F(ProfileFileTest, WritesThatWouldBreakTheFileAreRefused) {
    WriteUtf16Text(u"[S]\r\nK=v\r\n"_s);
    const QByteArray before = ReadBytes();
    CProfileFile profile(Path());
    EXPECT_FALSE(profile.WriteString(u"S"_s, u"K"_s, u"a\r\n[Injected]\r\nX=1"_s));
    EXPECT_FALSE(profile.WriteString(u"S"_s, u"K"_s, u"a\nb"_s));
    EXPECT_FALSE(profile.WriteString(u"S"_s, u"K"_s, QString(QChar(0))));
    EXPECT_FALSE(profile.WriteString(u"S\n[T]"_s, u"K"_s, u"v"_s));
    EXPECT_FALSE(profile.WriteString(u"S"_s, u"  "_s, u"v"_s));
    EXPECT_FALSE(profile.WriteString(u"S"_s, u"a=b"_s, u"v"_s));
    EXPECT_FALSE(profile.WriteString(u"S"_s, u"[x]"_s, u"v"_s));
    EXPECT_EQ(ReadBytes(), before);
}

TEST_F(ProfileFileTest, IntegersReadLikeAtoi) {
    WriteUtf16Text(u"[S]\r\nA=-42\r\nB= 12abc\r\nC=abc\r\nD=\r\nE=99999999999\r\n"_s);
    CProfileFile profile(Path());
    EXPECT_EQ(profile.GetInt(u"S"_s, u"A"_s, 5), -42);
    EXPECT_EQ(profile.GetInt(u"S"_s, u"B"_s, 5), 12);
    EXPECT_EQ(profile.GetInt(u"S"_s, u"C"_s, 5), 0);
    EXPECT_EQ(profile.GetInt(u"S"_s, u"D"_s, 5), 5) << "empty value";
    EXPECT_EQ(profile.GetInt(u"S"_s, u"E"_s, 5), 2147483647);

    ASSERT_TRUE(profile.WriteInt(u"S"_s, u"F"_s, -2147483647 - 1));
    EXPECT_EQ(profile.GetString(u"S"_s, u"F"_s, {}), u"-2147483648"_s);
    EXPECT_EQ(profile.GetInt(u"S"_s, u"F"_s, 0), -2147483647 - 1);
}

TEST_F(ProfileFileTest, MissingFolderIsCreatedOnWrite) {
    CProfileFile profile(m_dir.filePath(u"a/b/settings.ini"_s));
    ASSERT_TRUE(profile.WriteString(u"S"_s, u"K"_s, u"v"_s));
    EXPECT_EQ(profile.GetString(u"S"_s, u"K"_s, {}), u"v"_s);
}

} // namespace
