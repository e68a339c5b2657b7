#include "link/FileListReply.h"
#include "link/ErrorReply.h"

#include "support/TestSupport.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct CParsed {
    QStringList names, sizes, dates;
};

CParsed Parse(const QByteArray& value) {
    const CFileListReply reply = CFileListReply::Parse(value);
    CParsed parsed;
    for (int i = 0; i < reply.GetCount(); ++i) {
        parsed.names.append(QString::fromUtf8(reply.GetFileName(i)));
        parsed.sizes.append(QString::fromUtf8(reply.GetSize(i)));
        parsed.dates.append(QString::fromUtf8(reply.GetUpdateDate(i)));
    }
    return parsed;
}

} // namespace

TEST(FileListReply, HeaderRulesAndRecordsOfEveryShape) {
    const struct {
        const char* value;
        QStringList names, sizes, dates;
    } cases[] = {
        // No documents.
        {"", {}, {}, {}},
        {"filename,size,updateDate", {}, {}, {}},
        // Columns in any order.
        {"updateDate,filename,size\rD1\ra\r7", {"a"}, {"7"}, {"D1"}},
        // No size column: empty size cells.
        {"filename,updateDate\ra\rD1\rb\rD2", {"a", "b"}, {"", ""}, {"D1", "D2"}},
        // No filename column: empty names.
        {"size,updateDate\r1\rD1", {""}, {"1"}, {"D1"}},
        // A trailing CR starts one more record with an empty name.
        {"filename,size,updateDate\ra\r2048\rD1\rb\r1\rD2\r",
         {"a", "b", ""},
         {"2048", "1", ""},
         {"D1", "D2", ""}},
        // Names differing in case are not recognised.
        {"FileName,Size,updateDate\ra\r2048\rD1", {""}, {""}, {"D1"}},
        // A later duplicate column wins.
        {"filename,filename\rx\ry", {"y"}, {""}, {""}},
        // A short last record reads its missing cells as empty.
        {"filename,size,updateDate\ra\r1", {"a"}, {"1"}, {""}},
        // Commas split only the header; cells keep theirs.
        {"filename\ra,b\rc:d", {"a,b", "c:d"}, {"", ""}, {"", ""}},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        WriteFuzzSeed("file_list_reply_fuzzer", QStringLiteral("shape-%1").arg(index++), c.value);
        const CParsed parsed = Parse(c.value);
        EXPECT_EQ(parsed.names, c.names);
        EXPECT_EQ(parsed.sizes, c.sizes);
        EXPECT_EQ(parsed.dates, c.dates);
    }
}

TEST(FileListReply, NamesKeepTheirBytes) {
    // Invalid UTF-8 must go back to the app unchanged in GetThumb, GetFile
    // and DeleteFile requests.
    const QByteArray name("\xff\xfe"
                          "A\0B",
                          5);
    WriteFuzzSeed("file_list_reply_fuzzer", QStringLiteral("raw-name"), "filename\r" + name);
    const CFileListReply reply = CFileListReply::Parse("filename\r" + name);
    ASSERT_EQ(reply.GetCount(), 1);
    EXPECT_EQ(reply.GetFileName(0), name);
}

TEST(FileListReply, TheAppsListReadsBackCellForCell) {
    const QByteArray name = QStringLiteral(u"ねこ, 2").toUtf8();
    const QByteArray value =
        MakeFileListValue({{name, 3678, "2024/05/03 10:21:44"}, {"b", 0, "2023/12/24 23:59:59"}});
    EXPECT_EQ(value, "filename,size,updateDate\r" + name +
                         "\r3678\r2024/05/03 10:21:44\rb\r0\r2023/12/24 23:59:59");
    WriteFuzzSeed("file_list_reply_fuzzer", QStringLiteral("apps-list"), value);
    const CParsed parsed = Parse(value);
    EXPECT_EQ(parsed.names, QStringList({QStringLiteral(u"ねこ, 2"), QStringLiteral("b")}));
    EXPECT_EQ(parsed.sizes, QStringList({QStringLiteral("3678"), QStringLiteral("0")}));
    EXPECT_EQ(parsed.dates[1], QStringLiteral("2023/12/24 23:59:59"));
    // No drawings: the header alone, and no records.
    EXPECT_EQ(MakeFileListValue({}), "filename,size,updateDate");
    EXPECT_TRUE(Parse(MakeFileListValue({})).names.isEmpty());
}

TEST(FileSizeText, RoundsUpToWholeKilobytesIn64Bits) {
    EXPECT_EQ(FileSizeText(""), QString());
    EXPECT_EQ(FileSizeText("0"), QStringLiteral("0 KB"));
    EXPECT_EQ(FileSizeText("1"), QStringLiteral("1 KB"));
    EXPECT_EQ(FileSizeText("1024"), QStringLiteral("1 KB"));
    EXPECT_EQ(FileSizeText("1025"), QStringLiteral("2 KB"));
    EXPECT_EQ(FileSizeText("abc"), QStringLiteral("0 KB"));
    EXPECT_EQ(FileSizeText(" 2048 bytes"), QStringLiteral("2 KB"));
    // Beyond 32 bits.
    EXPECT_EQ(FileSizeText("5000000000"), QStringLiteral("4882813 KB"));
    // The top of the 64-bit range neither overflows nor wraps; larger
    // numbers are clamped to it.
    EXPECT_EQ(FileSizeText("9223372036854775807"), QStringLiteral("9007199254740992 KB"));
    EXPECT_EQ(FileSizeText("123456789012345678901234567890"),
              QStringLiteral("9007199254740992 KB"));
    // Negative counts divide truncating toward zero.
    EXPECT_EQ(FileSizeText("-5000"), QStringLiteral("-3 KB"));
    EXPECT_EQ(FileSizeText("-99999999999999999999999"), QStringLiteral("-9007199254740991 KB"));
}

TEST(ErrorReplyText, CodeThreeIsMissingFileOtherCodesShowTheCode) {
    EXPECT_EQ(ErrorReplyText("error", "3"), QStringLiteral(u"ファイルが見つかりませんでした。"));
    EXPECT_EQ(ErrorReplyText("error", "7"),
              QStringLiteral(u"エラーが発生しました。\r\nエラーコード: 7"));
    EXPECT_EQ(ErrorReplyText("error", ""),
              QStringLiteral(u"エラーが発生しました。\r\nエラーコード: 0"));
    // Names are compared exactly.
    EXPECT_EQ(ErrorReplyText("OK", ""), QStringLiteral(u"不明なパケットを受信しました。"));
    EXPECT_EQ(ErrorReplyText("Error", "3"), QStringLiteral(u"不明なパケットを受信しました。"));
}
