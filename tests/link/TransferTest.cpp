#include "base/TextRoutines.h"
#include "link/TransferPackets.h"
#include "link/UploadRules.h"
#include "model/KSData.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kDocument = QByteArray("KomaSlateData00\0\0", 17);

QByteArray DownloadValue(const QByteArray& digest, char separator, const QByteArray& hex) {
    return digest + separator + hex;
}

// A document of the given size and layer count; only these three are
// looked at by the limits.
CKSData Document(int width, int height, int layers) {
    CKSData document;
    document.Create(width, height);
    for (int i = 1; i < layers; ++i)
        document.m_pLayers->AddNewLayer(width, height, i);
    return document;
}

QString Limits(int width, int height, int layers, int version) {
    return CheckUploadLimits(Document(width, height, layers), version);
}

const QString kBufferTooLarge = QStringLiteral(
    u"画像バッファサイズが上限を超えています。\n画像サイズまたはレイヤ数を減らしてください。");

} // namespace

TEST(DownloadReply, DigestIsTheFirst32BytesAndByte33IsNotExamined) {
    const QByteArray digest = MD5Hex(kDocument);
    for (const char separator : {'\r', 'x', ':'}) {
        const QByteArray value = DownloadValue(digest, separator, BytesToHex(kDocument));
        WriteFuzzSeed("transfer_packets_fuzzer", QStringLiteral("download-%1").arg(int(separator)),
                      value);
        const CDownloadReply reply = CDownloadReply::Parse(value);
        EXPECT_EQ(reply.Document(), kDocument);
        EXPECT_TRUE(reply.IsVerified());
    }
    // Upper-case hexadecimal is read, but the digest never matches then.
    const CDownloadReply upper = CDownloadReply::Parse(
        DownloadValue(digest.toUpper(), '\r', BytesToHex(kDocument).toUpper()));
    EXPECT_EQ(upper.Document(), kDocument);
    EXPECT_FALSE(upper.IsVerified());
}

TEST(DownloadReply, OddHexLengthLeavesTheDocumentEmpty) {
    const QByteArray odd = BytesToHex(kDocument) + "a";
    const CDownloadReply wrong = CDownloadReply::Parse(DownloadValue(MD5Hex(kDocument), '\r', odd));
    EXPECT_TRUE(wrong.Document().isEmpty());
    EXPECT_FALSE(wrong.IsVerified());
    // Only the digest of nothing matches an empty payload.
    const CDownloadReply empty = CDownloadReply::Parse(DownloadValue(MD5Hex({}), '\r', odd));
    EXPECT_TRUE(empty.IsVerified());
    EXPECT_TRUE(empty.Document().isEmpty());
    // A value shorter than the digest.
    const CDownloadReply shortValue = CDownloadReply::Parse("abc");
    EXPECT_EQ(shortValue.Digest(), QByteArray("abc"));
    EXPECT_FALSE(shortValue.IsVerified());
}

TEST(DownloadReply, ReadInAnyPiecesItEqualsTheWholeValueDecodedAtOnce) {
    QByteArray large(300 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7 + i / 1000);
    const QByteArray largeHex = BytesToHex(large);
    const QList<QByteArray> values = {
        DownloadValue(MD5Hex(large), '\r', largeHex),
        DownloadValue(MD5Hex(large), '\r', largeHex + "f"),
        DownloadValue(MD5Hex(kDocument), '\r', " 1-fzz" + BytesToHex(kDocument)),
        DownloadValue(MD5Hex({}), '\r', {}),
        MD5Hex(kDocument),
        "abc",
        {}};
    for (const QByteArray& value : values) {
        QByteArray document;
        if (!HexToBytes(value, 33, document))
            document.clear();
        const bool verified = MD5Hex(document) == value.left(32);
        for (const qsizetype piece : {1, 2, 3, 33, 34, 4097, 1 << 20}) {
            if (piece < 33 && value.size() > 1000)
                continue; // byte by byte is covered by the small values
            // Room reserved for too little, nothing, or too much.
            for (const qsizetype expected :
                 {qsizetype(0), document.size() / 3, document.size() * 2}) {
                CDownloadReplyReader reader(expected);
                for (qsizetype at = 0; at < value.size(); at += piece)
                    reader.AppendValue(value.constData() + at, std::min(piece, value.size() - at));
                const CDownloadReply reply = reader.Finish();
                ASSERT_EQ(reply.Document(), document) << piece << " " << expected;
                ASSERT_EQ(reply.Digest(), value.left(32));
                ASSERT_EQ(reply.IsVerified(), verified);
            }
        }
    }
    // A reader starts afresh after Finish.
    CDownloadReplyReader reader;
    reader.AppendValue("x", 1);
    reader.Finish();
    const QByteArray again = DownloadValue(MD5Hex(kDocument), '\r', BytesToHex(kDocument));
    reader.AppendValue(again.constData(), again.size());
    const CDownloadReply reply = reader.Finish();
    EXPECT_EQ(reply.Document(), kDocument);
    EXPECT_TRUE(reply.IsVerified());
}

TEST(OverwriteAnswer, ThreeFieldsOrNothing) {
    const QByteArray value = QStringLiteral(u"1\rえ\rえ_2").toUtf8();
    WriteFuzzSeed("transfer_packets_fuzzer", QStringLiteral("overwrite"), value);
    const auto answer = COverwriteAnswer::Parse(value);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->m_bExists);
    EXPECT_EQ(answer->m_strName, QStringLiteral(u"え"));
    EXPECT_EQ(answer->m_strAltName, QStringLiteral(u"え_2"));

    EXPECT_FALSE(COverwriteAnswer::Parse("0\rN\rA")->m_bExists);
    EXPECT_FALSE(COverwriteAnswer::Parse("-4\rN\rA")->m_bExists);
    EXPECT_FALSE(COverwriteAnswer::Parse("x\rN\rA")->m_bExists);
    EXPECT_TRUE(COverwriteAnswer::Parse(" 7z\rN\rA")->m_bExists);
    // Fields beyond the third are ignored.
    EXPECT_EQ(COverwriteAnswer::Parse("1\rN\rA\rB\rC")->m_strAltName, QStringLiteral("A"));
    EXPECT_FALSE(COverwriteAnswer::Parse("1\rN"));
    EXPECT_FALSE(COverwriteAnswer::Parse(""));
}

TEST(SetFileLine, NameDigestAndLowerCaseHex) {
    const QByteArray document("\x00\xAB\xFF", 3);
    EXPECT_EQ(MakeSetFileLine(QByteArray("a b"), document),
              "SetFile:a b\r" + MD5Hex(document) + "\r00abff\n");
    EXPECT_TRUE(MakeSetFileLine({}, document).startsWith("SetFile:\r"));
}

TEST(SetFileLine, NamesWithLineBreaksOrNulCannotTravel) {
    EXPECT_TRUE(IsSendableName(QStringLiteral(u"絵 1:2,3").toUtf8()));
    EXPECT_FALSE(IsSendableName("a\nb"));
    EXPECT_FALSE(IsSendableName("a\rb"));
    EXPECT_FALSE(IsSendableName(QByteArray("a\0b", 3)));
}

// The app's side of each exchange, read back by the utility's side.

TEST(AppSideReplies, DownloadReplyLineReadsBackVerified) {
    const QByteArray document("KomaSlateData00\x00\x0a\xff", 18);
    const QByteArray line = MakeDownloadReplyLine(document);
    EXPECT_EQ(line, "ok:" + MD5Hex(document) + "\r" + BytesToHex(document) + "\n");
    const CDownloadReply reply = CDownloadReply::Parse(line.sliced(3).chopped(1));
    EXPECT_EQ(reply.Document(), document);
    EXPECT_TRUE(reply.IsVerified());
    EXPECT_EQ(MakeDownloadReplyLine({}), "ok:" + MD5Hex({}) + "\r\n");
}

TEST(AppSideReplies, OverwriteAnswerReadsBack) {
    const QByteArray name = QStringLiteral(u"ねこ,1:2").toUtf8();
    const auto exists = COverwriteAnswer::Parse(MakeOverwriteAnswer(true, name, name + "_2"));
    ASSERT_TRUE(exists);
    EXPECT_TRUE(exists->m_bExists);
    EXPECT_EQ(exists->m_strName, QStringLiteral(u"ねこ,1:2"));
    EXPECT_EQ(exists->m_strAltName, QStringLiteral(u"ねこ,1:2_2"));
    EXPECT_EQ(MakeOverwriteAnswer(false, "a", "a_3"), "0\ra\ra_3");
}

TEST(AppSideReplies, SetFileRequestReadsTheUtilitysLine) {
    const QByteArray document("\x00\xAB\xFF", 3);
    const QByteArray name = QStringLiteral(u"絵 1").toUtf8();
    const QByteArray line = MakeSetFileLine(name, document);
    WriteFuzzSeed("transfer_packets_fuzzer", QStringLiteral("setfile"), line.sliced(8).chopped(1));
    const auto request = CSetFileRequest::Parse(QByteArrayView(line).sliced(8).chopped(1));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->m_name, name);
    EXPECT_EQ(request->m_digest, MD5Hex(document));
    EXPECT_EQ(request->m_document, document);
    EXPECT_TRUE(request->IsVerified());

    // Upper-case digits decode, but an upper-case digest is not the digest.
    const auto upper = CSetFileRequest::Parse("n\r" + MD5Hex(document).toUpper() + "\r00ABFF");
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->m_document, document);
    EXPECT_FALSE(upper->IsVerified());
    // An empty document with the digest of nothing is well formed.
    EXPECT_TRUE(CSetFileRequest::Parse("n\r" + MD5Hex({}) + "\r")->IsVerified());
}

TEST(AppSideReplies, SetFileRequestRefusesWhatIsNotExactlyHex) {
    const QByteArray digest = MD5Hex(QByteArray("\x0a", 1));
    EXPECT_FALSE(CSetFileRequest::Parse("n"));
    EXPECT_FALSE(CSetFileRequest::Parse("n\r" + digest));
    // Odd count, a sign, white space, a letter past f, a third CR: the
    // utility's lenient reader would take each of them as some bytes.
    for (const char* hex : {"0a0", "-a", " a", "0g", "0a\r"})
        EXPECT_FALSE(CSetFileRequest::Parse("n\r" + digest + "\r" + hex)) << hex;
}

TEST(UploadRules, NameWithoutFolderAndLastExtension) {
    EXPECT_EQ(UploadNameOf(QStringLiteral("/home/u/a.b.png")), QStringLiteral("a.b"));
    EXPECT_EQ(UploadNameOf(QStringLiteral("/home/u.d/noext")), QStringLiteral("noext"));
    EXPECT_EQ(UploadNameOf(QStringLiteral(u"絵.kom")), QStringLiteral(u"絵"));
}

TEST(UploadRules, NameLengthCountsFromVersionThree) {
    const QString fifty(50, u'あ');
    const QString fiftyOne(51, u'あ');
    EXPECT_EQ(CheckUploadName(fifty, 4), QString());
    EXPECT_EQ(CheckUploadName(fiftyOne, 2), QString());
    EXPECT_EQ(
        CheckUploadName(fiftyOne, 3),
        QStringLiteral(
            u"ファイル名の長さが上限(50文字)を超えています。\nファイル名を調節してください。"));
}

TEST(UploadRules, LimitsAtTheirBoundariesUnderEachVersion) {
    // Version 4: 1024 x 1024, and 20 such layers exactly fill the buffer.
    EXPECT_EQ(Limits(1024, 1024, 20, 4), QString());
    EXPECT_EQ(Limits(1024, 1024, 21, 4), kBufferTooLarge);
    EXPECT_EQ(Limits(1025, 1, 1, 4),
              QStringLiteral(u"画像サイズが上限（1024 x 1024）を超えています。"));
    EXPECT_EQ(Limits(321, 100, 1, 4), QString());
    // Versions 2 and 3: 320 x 480, and 10 such layers exactly fill it.
    for (const int version : {2, 3}) {
        EXPECT_EQ(Limits(320, 480, 10, version), QString());
        EXPECT_EQ(Limits(320, 480, 11, version), kBufferTooLarge);
        EXPECT_EQ(Limits(321, 100, 1, version),
                  QStringLiteral(u"画像サイズが上限（320 x 480）を超えています。"));
        EXPECT_EQ(Limits(1, 1, 129, version),
                  QStringLiteral(u"レイヤ数が上限（128）を超えています。"));
        EXPECT_EQ(Limits(1, 1, 128, version), QString());
    }
    // Version 1 and below: ten layers whatever their size within 320 x 480.
    for (const int version : {1, 0}) {
        EXPECT_EQ(Limits(320, 480, 10, version), QString());
        EXPECT_EQ(Limits(1, 1, 11, version),
                  QStringLiteral(u"レイヤ数が上限（10）を超えています。"));
        EXPECT_EQ(Limits(320, 481, 1, version),
                  QStringLiteral(u"画像サイズが上限（320 x 480）を超えています。"));
    }
}
