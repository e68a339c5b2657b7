#include "base/VersionInfo.h"
#include "base/VersionResource.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kDash = u"-"_s;

void ExpectAllFields(const CVersionInfo& info, const QString& expected) {
    for (int i = 0; i < CVersionInfo::FieldCount; ++i)
        EXPECT_EQ(info.GetField(CVersionInfo::Field(i)), expected) << "field " << i;
}

CVersionResourceContent TwoBlockContent() {
    CVersionResourceContent content;
    content.m_nFileVersion = 0x0002000300040005;
    content.m_blocks.append({0x0409, 0x04B0, {{u"FileVersion"_s, u"en"_s}}});
    content.m_blocks.append(
        {0x0411, 0x03A4, {{u"FileVersion"_s, u"ja"_s}, {u"SpecialBuild"_s, QString()}}});
    return content;
}

TEST(VersionInfoTest, ProgramResourceStrings) {
    CVersionInfo info;
    ExpectAllFields(info, QString());
    info.Load();
    EXPECT_EQ(info.GetFileVersion(), u"1.04"_s);
    EXPECT_EQ(info.GetProductVersion(), u"1.04"_s);
    EXPECT_EQ(info.GetProductName(), u"KomaSlate Utility"_s);
    EXPECT_EQ(info.GetComments(), u"KomaSlate Utility"_s);
    EXPECT_EQ(info.GetInternalName(), u"KomaSlateUtility.exe"_s);
    // Queried as "OriginalFileName", stored as "OriginalFilename": keys match ignoring case.
    EXPECT_EQ(info.GetOriginalFileName(), u"KomaSlateUtility.exe"_s);
    EXPECT_FALSE(info.GetCompanyName().isEmpty());
    EXPECT_NE(info.GetCompanyName(), kDash);
    EXPECT_TRUE(info.GetLegalCopyright().startsWith(u"Copyright"_s));
    // Keys the resource does not hold.
    EXPECT_EQ(info.GetFileDescription(), kDash);
    EXPECT_EQ(info.GetLegalTrademarks(), kDash);
    EXPECT_EQ(info.GetPrivateBuild(), kDash);
    EXPECT_EQ(info.GetSpecialBuild(), kDash);

    EXPECT_EQ(TitleText(info), u"KomaSlate Utility Version 1.04"_s);
    EXPECT_EQ(ProgramTitleText(), u"KomaSlate Utility Version 1.04"_s);
    WriteFuzzSeed("version_resource_fuzzer", u"program"_s, ProgramVersionResource());
}

TEST(VersionInfoTest, ProgramResourceLayout) {
    const QByteArray& data = ProgramVersionResource();
    ASSERT_GE(data.size(), 6 + 32 + 52);
    // Root: total length, 52-byte fixed part, binary type, key "VS_VERSION_INFO".
    EXPECT_EQ(uchar(data[0]) | uchar(data[1]) << 8, data.size());
    EXPECT_EQ(data.mid(2, 4), Hex("34 00 00 00"));
    EXPECT_EQ(data.mid(6, 32), QByteArray(reinterpret_cast<const char*>(u"VS_VERSION_INFO"), 32));
    // The fixed part starts on the next 32-bit boundary with its signature and
    // gives file and product version 1.0.0.0.
    EXPECT_EQ(data.mid(40, 4), Hex("BD 04 EF FE"));
    EXPECT_EQ(data.mid(48, 16), Hex("00 00 01 00 00 00 00 00 00 00 01 00 00 00 00 00"));

    const CVersionResource reader(data);
    EXPECT_EQ(reader.QueryValue(u"\\"_s), data.mid(40, 52));
    EXPECT_EQ(reader.QueryValue(u"\\VarFileInfo\\Translation"_s), Hex("11 04 A4 03"));
    EXPECT_EQ(reader.QueryText(u"\\StringFileInfo\\041103a4\\FileVersion"_s), u"1.04"_s);
    EXPECT_EQ(reader.QueryText(u"\\stringfileinfo\\041103A4\\fileversion"_s), u"1.04"_s);
    EXPECT_FALSE(reader.QueryText(u"\\StringFileInfo\\040904b0\\FileVersion"_s));
}

TEST(VersionInfoTest, OnlyTheFirstTranslationCounts) {
    CVersionResourceContent content = TwoBlockContent();
    content.m_translations = {0x03A40411, 0x04B00409};
    CVersionInfo info;
    info.LoadFromData(BuildVersionResource(content));
    EXPECT_EQ(info.GetFileVersion(), u"ja"_s);
    EXPECT_EQ(info.GetSpecialBuild(), QString()) << "an empty value is text, not missing";
    EXPECT_EQ(info.GetCompanyName(), kDash);
    EXPECT_EQ(TitleText(info), u"KomaSlate Utility Version ja"_s);

    content.m_translations = {0x04B00409, 0x03A40411};
    info.LoadFromData(BuildVersionResource(content));
    EXPECT_EQ(info.GetFileVersion(), u"en"_s);
    EXPECT_EQ(info.GetSpecialBuild(), kDash);
}

TEST(VersionInfoTest, FirstTranslationWithoutItsBlockGivesDashes) {
    CVersionResourceContent content = TwoBlockContent();
    content.m_translations = {0x04E40407, 0x03A40411};
    const QByteArray data = BuildVersionResource(content);
    CVersionInfo info;
    info.LoadFromData(data);
    ExpectAllFields(info, kDash);
    EXPECT_EQ(TitleText(info), u"KomaSlate Utility Version -"_s);
    WriteFuzzSeed("version_resource_fuzzer", u"two-blocks"_s, data);
}

TEST(VersionInfoTest, MissingTranslationGivesDashes) {
    CVersionResourceContent content = TwoBlockContent();
    CVersionInfo info;
    info.LoadFromData(BuildVersionResource(content)); // no translation entry at all
    ExpectAllFields(info, kDash);
    info.LoadFromData({});
    ExpectAllFields(info, kDash);
    info.Load(u"/nonexistent/KomaSlateUtility.exe"_s);
    ExpectAllFields(info, kDash);
}

TEST(VersionInfoTest, LoadsAResourceFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"version.bin"_s);
    CVersionResourceContent content = TwoBlockContent();
    content.m_translations = {0x04B00409};
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Bytes after the block do not matter.
    file.write(BuildVersionResource(content) + QByteArray(100000, 'x'));
    file.close();
    CVersionInfo info;
    info.Load(path);
    EXPECT_EQ(info.GetFileVersion(), u"en"_s);
}

TEST(VersionInfoTest, DamagedResourcesAreRejectedSafely) {
    const QByteArray& data = ProgramVersionResource();
    CVersionInfo info;
    // Every cut-short copy lacks part of its root node.
    for (qsizetype size = 0; size < data.size(); ++size) {
        info.LoadFromData(data.left(size));
        ASSERT_EQ(info.GetFileVersion(), kDash) << "size " << size;
    }
    // A wrong root key.
    QByteArray renamed = data;
    renamed[6] = 'X';
    info.LoadFromData(renamed);
    ExpectAllFields(info, kDash);

    // Lengths that point past their parent, or are too short to hold a header.
    for (const quint16 length : {quint16(0), quint16(5), quint16(0xFFFF)}) {
        QByteArray broken = data;
        broken[92] = char(length & 0xFF); // the first child, StringFileInfo
        broken[93] = char(length >> 8);
        info.LoadFromData(broken);
        EXPECT_EQ(info.GetFileVersion(), kDash) << "length " << length;
        WriteFuzzSeed("version_resource_fuzzer", u"length-%1"_s.arg(length), broken);
    }
}

TEST(VersionInfoTest, TextWithoutTerminatorEndsWithItsNode) {
    CVersionResourceContent content;
    content.m_blocks.append({0x0411, 0x03A4, {{u"FileVersion"_s, u"1.04"_s}}});
    content.m_translations = {0x03A40411};
    QByteArray data = BuildVersionResource(content);
    // Overwrite the terminating zero of "1.04" (the value is the last thing
    // before the translation node "VarFileInfo").
    const qsizetype value = data.indexOf(QByteArray(reinterpret_cast<const char*>(u"1.04"), 8));
    ASSERT_GT(value, 0);
    data[value + 8] = 'Z';
    CVersionInfo info;
    info.LoadFromData(data);
    EXPECT_EQ(info.GetFileVersion(), u"1.04Z"_s);
}

} // namespace
