// The simulator's answers to each request, checked byte for byte by a test
// server that plays the utility.
#include "SimHarness.h"

#include "base/TextRoutines.h"
#include "convert/DibSection.h"
#include "convert/PngSerializer.h"
#include "link/TransferPackets.h"
#include "model/KSData.h"
#include "sim/SampleDrawings.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <cstring>

#include <gtest/gtest.h>

namespace {

const QByteArray kCat = QStringLiteral(u"ねこ").toUtf8();

QByteArray Utf8(const char16_t* text) {
    return QString::fromUtf16(text).toUtf8();
}

QByteArray Md5(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

class SimRequests : public ::testing::Test {
protected:
    void SetUp() override {
        m_sim.Start();
        ASSERT_TRUE(m_sim.Accept());
    }

    CSimHarness m_sim;
};

} // namespace

TEST_F(SimRequests, EachCommandAnswersOneLineByteForByte) {
    const QByteArray cat = SmallDocument(4, 4);
    const QByteArray b = SmallDocument(2, 1);
    PutDrawing(m_sim.Store(), kCat, cat);
    PutDrawing(m_sim.Store(), "b", b, QDateTime(QDate(2023, 12, 24), QTime(23, 59, 59)));

    EXPECT_EQ(m_sim.Ask("GetProtVer:\n"), "ok:4\n");
    // Ordered by name bytes: "b" before the kana.
    EXPECT_EQ(m_sim.Ask("GetFileList:\n"),
              "ok:filename,size,updateDate\rb\r" + QByteArray::number(b.size()) +
                  "\r2023/12/24 23:59:59\r" + kCat + '\r' + QByteArray::number(cat.size()) +
                  "\r2024/05/03 10:21:44\n");
    EXPECT_EQ(m_sim.Ask("GetFile:" + kCat + '\n'), "ok:" + Md5(cat) + '\r' + cat.toHex() + '\n');

    EXPECT_EQ(m_sim.Ask("GetFile:nothing\n"), "error:3\n");
    EXPECT_EQ(m_sim.Ask("GetThumb:nothing\n"), "error:3\n");
    EXPECT_EQ(m_sim.Ask("DeleteFile:nothing\n"), "error:3\n");
    EXPECT_EQ(m_sim.Ask("DeleteFile:b\n"), "ok:\n");
    EXPECT_FALSE(m_sim.Store().Exists("b"));
    EXPECT_EQ(m_sim.Ask("DeleteFile:b\n"), "error:3\n");

    // Names are exact bytes: no case folding, no trimming.
    EXPECT_EQ(m_sim.Ask("GetFile: " + kCat + '\n'), "error:3\n");
    // Unknown commands, commands in another case and lines without a colon.
    EXPECT_EQ(m_sim.Ask("Hello:x\n"), "error:1\n");
    EXPECT_EQ(m_sim.Ask("getprotver:\n"), "error:1\n");
    EXPECT_EQ(m_sim.Ask("GetProtVer\n"), "error:1\n");
    EXPECT_EQ(m_sim.Ask("\n"), "error:1\n");
    // Two requests in one write are answered in order.
    EXPECT_EQ(m_sim.Ask("GetProtVer:\nGetFile:nothing\n"), "ok:4\n");
    EXPECT_EQ(m_sim.TakeLine(), "error:3\n");
    EXPECT_TRUE(m_sim.Received().isEmpty());
}

TEST_F(SimRequests, NamesThatWouldLeaveTheStoreTouchNothing) {
    const QString outside = m_sim.Outside() + QStringLiteral("/outside.ksd");
    const QByteArray kept = SmallDocument();
    {
        QFile file(outside);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kept);
    }
    PutDrawing(m_sim.Store(), "inner", kept);
    const QByteArray upload = SmallDocument(5, 5);

    const QList<QByteArray> names = {"../outside", "../store/inner", "sub/x", "a\\b", "..", ".", "",
                                     QByteArray("a\0b", 3),
                                     // Not UTF-8: it would be stored under another name.
                                     "\xff\xfe"};
    for (const QByteArray& name : names) {
        SCOPED_TRACE(name.toHex().toStdString());
        EXPECT_EQ(m_sim.Ask("GetFile:" + name + '\n'), "error:1\n");
        EXPECT_EQ(m_sim.Ask("GetThumb:" + name + '\n'), "error:1\n");
        EXPECT_EQ(m_sim.Ask("DeleteFile:" + name + '\n'), "error:1\n");
        EXPECT_EQ(m_sim.Ask("IsOverwrite:" + name + '\n'), "error:1\n");
        EXPECT_EQ(m_sim.Ask(MakeSetFileLine(name, upload)), "error:1\n");
    }
    EXPECT_EQ(ReadFile(outside), kept);
    EXPECT_EQ(ReadFile(m_sim.Store().Folder() + QStringLiteral("/inner.ksd")), kept);
    EXPECT_EQ(QDir(m_sim.Outside()).entryList(QDir::Files),
              QStringList({QStringLiteral("outside.ksd")}));
    EXPECT_EQ(QDir(m_sim.Store().Folder()).entryList(QDir::Files),
              QStringList({QStringLiteral("inner.ksd")}));
}

TEST_F(SimRequests, IsOverwriteOffersANameUnderWhichNothingIsStored) {
    PutDrawing(m_sim.Store(), kCat, SmallDocument());
    PutDrawing(m_sim.Store(), kCat + "_2", SmallDocument());
    EXPECT_EQ(m_sim.Ask("IsOverwrite:" + kCat + '\n'), "ok:1\r" + kCat + '\r' + kCat + "_3\n");
    const QByteArray dog = Utf8(u"いぬ");
    EXPECT_EQ(m_sim.Ask("IsOverwrite:" + dog + '\n'), "ok:0\r" + dog + '\r' + dog + "_2\n");
    // A name near the length limit is shortened by whole characters (three
    // bytes each, not one) to leave room for the suffix.
    const QByteArray longName = 'a' + QString(83, QChar(u'あ')).toUtf8(); // 250 bytes
    EXPECT_EQ(m_sim.Ask("IsOverwrite:" + longName + '\n'),
              "ok:0\r" + longName + "\ra" + QString(82, QChar(u'あ')).toUtf8() + "_2\n");
}

TEST_F(SimRequests, SetFileThenGetFileGivesTheSameBytes) {
    const QList<CSampleDrawing> samples = MakeSampleDrawings();
    const QByteArray document = samples.first().m_document;
    const QByteArray name = Utf8(u"新しい絵 1,2");
    EXPECT_EQ(m_sim.Ask(MakeSetFileLine(name, document)), "ok:\n");

    const QByteArray reply = m_sim.Ask("GetFile:" + name + '\n');
    ASSERT_TRUE(reply.startsWith("ok:"));
    const CDownloadReply download = CDownloadReply::Parse(reply.sliced(3).chopped(1));
    EXPECT_TRUE(download.IsVerified());
    EXPECT_EQ(download.Document(), document);
    EXPECT_TRUE(m_sim.Ask("GetFileList:\n")
                    .contains('\r' + name + '\r' + QByteArray::number(document.size()) + '\r'));

    // A second upload under the same name replaces the first.
    const QByteArray other = samples.last().m_document;
    EXPECT_EQ(m_sim.Ask(MakeSetFileLine(name, other)), "ok:\n");
    EXPECT_EQ(m_sim.Ask("GetFile:" + name + '\n'), MakeDownloadReplyLine(other));
}

TEST_F(SimRequests, SetFileRefusesWhatIsNotAVerifiedDeviceDocument) {
    const QByteArray before = SmallDocument();
    PutDrawing(m_sim.Store(), "keep", before);
    const QByteArray document = SmallDocument(5, 5);
    const QByteArray hex = document.toHex();

    // The digest of other bytes, an upper-case digest.
    EXPECT_EQ(m_sim.Ask("SetFile:keep\r" + Md5(before) + '\r' + hex + '\n'), "error:1\n");
    EXPECT_EQ(m_sim.Ask("SetFile:keep\r" + Md5(document).toUpper() + '\r' + hex + '\n'),
              "error:1\n");
    // Fields missing, or data that is not exactly hexadecimal.
    EXPECT_EQ(m_sim.Ask("SetFile:keep\r" + Md5(document) + '\n'), "error:1\n");
    EXPECT_EQ(m_sim.Ask("SetFile:keep\r" + Md5(document) + '\r' + hex + "0\n"), "error:1\n");
    // Verified bytes that are no device document, or one that cannot be
    // read as a picture (cut short).
    EXPECT_EQ(m_sim.Ask(MakeSetFileLine("keep", "not a drawing")), "error:1\n");
    EXPECT_EQ(m_sim.Ask(MakeSetFileLine("keep", document.left(document.size() - 10))), "error:1\n");

    EXPECT_EQ(ReadFile(m_sim.Store().Folder() + QStringLiteral("/keep.ksd")), before);
    EXPECT_EQ(QDir(m_sim.Store().Folder()).entryList(QDir::Files),
              QStringList({QStringLiteral("keep.ksd")}));
}

TEST_F(SimRequests, ThumbnailIsAnRgbPngOfTheShownLayersFittedTo88) {
    // 2 × 1: the left pixel is transparent, the right one colour 5 on the
    // lower layer under a hidden top layer of colour 6 (black).
    CKSData document;
    document.Create(2, 1);
    const quint8 five[3] = {10, 20, 30};
    std::memcpy(document.GetCurrentPalette()->m_pColors.get() + 15, five, 3);
    CKSLayer& top = *document.m_pLayers->GetLayer(0);
    top.m_pBits[0] = top.m_pBits[1] = 6;
    top.m_bVisible = 0;
    CKSLayer& lower = *document.m_pLayers->AddNewLayer(2, 1, 1);
    lower.m_pBits[1] = 5;
    QByteArray bytes;
    ASSERT_TRUE(document.SaveToBytes(bytes, nullptr));
    PutDrawing(m_sim.Store(), "wide", bytes);
    // The same with a back colour: index 5 shows where nothing covers.
    document.m_nBackColorIndex = 5;
    ASSERT_TRUE(document.SaveToBytes(bytes, nullptr));
    PutDrawing(m_sim.Store(), "back", bytes);

    const auto thumbnail = [this](const QByteArray& name, CDibSection& dib) {
        const QByteArray reply = m_sim.Ask("GetThumb:" + name + '\n');
        QByteArray png;
        if (!reply.startsWith("ok:") || !HexToBytes(reply.sliced(3).chopped(1), 0, png))
            return false;
        // Colour type 2 (RGB) at 8 bits.
        EXPECT_EQ(png.mid(24, 2), QByteArray("\x08\x02", 2));
        QBuffer buffer(&png);
        buffer.open(QIODevice::ReadOnly);
        QString error;
        return LoadPngThumbnail(dib, buffer, error);
    };
    // The blue, green and red bytes at (x, y) from the top.
    const auto pixel = [](const CDibSection& dib, int x, int y) {
        return QByteArray(
            reinterpret_cast<const char*>(dib.GetRow(dib.GetHeight() - 1 - y)) + 3 * x, 3);
    };

    CDibSection dib;
    ASSERT_TRUE(thumbnail("wide", dib));
    EXPECT_EQ(dib.GetWidth(), 88);
    EXPECT_EQ(dib.GetHeight(), 44);
    EXPECT_EQ(pixel(dib, 0, 0), QByteArray("\xff\xff\xff"));
    EXPECT_EQ(pixel(dib, 43, 43), QByteArray("\xff\xff\xff"));
    EXPECT_EQ(pixel(dib, 44, 0), QByteArray("\x1e\x14\x0a"));
    EXPECT_EQ(pixel(dib, 87, 43), QByteArray("\x1e\x14\x0a"));
    ASSERT_TRUE(thumbnail("back", dib));
    EXPECT_EQ(pixel(dib, 0, 0), QByteArray("\x1e\x14\x0a"));

    // Bytes that are no device document have no thumbnail.
    PutDrawing(m_sim.Store(), "junk", "KomaSlateData00 and then nothing useful");
    EXPECT_EQ(m_sim.Ask("GetThumb:junk\n"), "error:1\n");
}

TEST(SimSamples, SamplesAreLayeredDeviceDocumentsWithThumbnails) {
    const QList<CSampleDrawing> samples = MakeSampleDrawings();
    ASSERT_GE(samples.size(), 3);
    bool hasCat = false, hasHiddenLayer = false;
    for (const CSampleDrawing& sample : samples) {
        SCOPED_TRACE(sample.m_name.toStdString());
        hasCat = hasCat || sample.m_name == kCat;
        QBuffer buffer;
        buffer.setData(sample.m_document);
        buffer.open(QIODevice::ReadOnly);
        CKSData document;
        QString error;
        ASSERT_TRUE(document.Load(buffer, &error)) << error.toStdString();
        EXPECT_TRUE(document.IsConsistent());
        EXPECT_GE(document.GetLayerCount(), 2);
        ASSERT_TRUE(document.GetCurrentPalette());
        EXPECT_EQ(document.GetCurrentPalette()->m_nCount, 256);
        for (int i = 0; i < document.GetLayerCount(); ++i)
            hasHiddenLayer = hasHiddenLayer || !document.m_pLayers->GetLayer(i)->m_bVisible;
    }
    EXPECT_TRUE(hasCat);
    EXPECT_TRUE(hasHiddenLayer);

    // Added to a store, each is listed and has a thumbnail.
    CSimHarness sim;
    ASSERT_TRUE(AddSampleDrawings(sim.Store()));
    sim.Start();
    ASSERT_TRUE(sim.Accept());
    EXPECT_EQ(sim.Store().List().size(), samples.size());
    for (const CSampleDrawing& sample : samples)
        EXPECT_TRUE(sim.Ask("GetThumb:" + sample.m_name + '\n').startsWith("ok:89504e47"));
}
