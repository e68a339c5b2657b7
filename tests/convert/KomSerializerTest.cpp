#include "convert/KomSerializer.h"
#include "base/AnsiCodePage.h"
#include "base/FileException.h"
#include "base/StringTable.h"
#include "convert/KomaFile.h"
#include "model/KSData.h"
#include "model/Koma2Data.h"
#include "support/KomFixtures.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <gtest/gtest.h>

namespace {

const QString kTooManyLayers = QStringLiteral(u"レイヤ数が上限（128）を超えています。");

QByteArray Pixels(const CKSLayer& layer) {
    return QByteArray(reinterpret_cast<const char*>(layer.m_pBits.get()), layer.GetBitsLength());
}

// A document of `layers` layers of drawing-like pixels and a palette whose
// colour k is (k, 255 - k, k / 2).
void MakeDocument(CKSData& document, qint32 width, qint32 height, int layers) {
    document.Create(width, height);
    for (int i = 1; i < layers; ++i)
        document.m_pLayers->AddNewLayer(width, height, i);
    for (int i = 0; i < layers; ++i) {
        const QByteArray pixels = DrawingPixels(qint64(width) * height, quint32(i + 1));
        std::memcpy(document.m_pLayers->GetLayer(i)->m_pBits.get(), pixels.constData(),
                    size_t(pixels.size()));
    }
    CKSPalette& palette = *document.GetCurrentPalette();
    for (int k = 0; k < 256; ++k) {
        palette.m_pColors[k * 3] = quint8(k);
        palette.m_pColors[k * 3 + 1] = quint8(255 - k);
        palette.m_pColors[k * 3 + 2] = quint8(k / 2);
    }
}

class KomSerializer : public testing::Test {
protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // Imports `bytes` as a file; returns the result, the text in m_strLastError.
    bool ImportBytes(const QByteArray& bytes, CKSData& document) {
        return m_serializer.Import(document, WriteFile(m_dir, "in.kom", bytes));
    }
    // Imports a KOMA2 drawing that must fail, and returns the text it left.
    QString Koma2ImportError(const CChunkList& body) {
        CKSData document;
        EXPECT_FALSE(ImportBytes(Koma2File(body.Bytes()), document));
        return m_serializer.m_strLastError;
    }

    QTemporaryDir m_dir;
    CKomSerializer m_serializer;
};

TEST_F(KomSerializer, RoundTripsTheOldLayout) {
    CKSData source;
    MakeDocument(source, 33, 21, 3);
    source.m_nTransparentIndex = 77;
    source.m_nLayerDisplayMode = 3;
    source.m_nBackColorIndex = 5;
    source.m_pLayers->GetLayer(0)->SetName(QStringLiteral(u"背景"));
    source.m_pLayers->GetLayer(1)->SetName(QString(100, u'n'));
    source.m_pLayers->GetLayer(1)->m_bVisible = 0;
    source.m_pLayers->GetLayer(2)->SetName(QStringLiteral(u"é"));
    m_serializer.m_strLastError = "left from before";
    ASSERT_TRUE(m_serializer.Export(source, Path("out.kom")));
    EXPECT_TRUE(m_serializer.m_strLastError.isEmpty());
    WriteFuzzSeed("kom_fuzzer", "exported.kom", ReadFile(Path("out.kom")));

    CKSData imported;
    m_serializer.m_strLastError = "left from before";
    ASSERT_TRUE(m_serializer.Import(imported, Path("out.kom")));
    EXPECT_TRUE(m_serializer.m_strLastError.isEmpty());
    EXPECT_EQ(imported.m_nWidth, 33);
    EXPECT_EQ(imported.m_nHeight, 21);
    EXPECT_EQ(imported.m_nTransparentIndex, 77);
    EXPECT_EQ(imported.m_nLayerDisplayMode, 0);
    EXPECT_EQ(imported.m_nBackColorIndex, 0);
    ASSERT_EQ(imported.GetLayerCount(), 3);
    const QString names[] = {QStringLiteral(u"背景"), QString(79, u'n'), QStringLiteral("?")};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const CKSLayer& layer = *imported.m_pLayers->GetLayer(i);
        EXPECT_EQ(layer.m_strName, names[i]);
        EXPECT_EQ(layer.m_bVisible, i == 1 ? 0 : 1);
        EXPECT_EQ(Pixels(layer), Pixels(*source.m_pLayers->GetLayer(i)));
    }
    EXPECT_EQ(imported.GetCurrentPalette()->GetRgb256(), source.GetCurrentPalette()->GetRgb256());
    EXPECT_TRUE(imported.IsConsistent());
}

TEST_F(KomSerializer, ExportsSizesFromOneToFourThousand) {
    CKSData large;
    large.Create(4000, 4000);
    EXPECT_TRUE(m_serializer.Export(large, Path("large.kom")));
    EXPECT_TRUE(IsKomaFile(Path("large.kom")));

    for (const auto& [width, height] :
         {std::pair{4001, 10}, std::pair{10, 4001}, std::pair{0, 10}}) {
        CKSData document;
        document.Create(width, height);
        EXPECT_FALSE(m_serializer.Export(document, Path("bad.kom")));
        EXPECT_TRUE(m_serializer.m_strLastError.isEmpty());
        EXPECT_FALSE(QFile::exists(Path("bad.kom")));
    }
}

TEST_F(KomSerializer, RefusesMoreThan128LayersInsteadOfDroppingThem) {
    CKSData document;
    MakeDocument(document, 4, 4, 129);
    const QString path = WriteFile(m_dir, "existing.kom", "unchanged");
    EXPECT_FALSE(m_serializer.Export(document, path));
    EXPECT_EQ(m_serializer.m_strLastError, kTooManyLayers);
    EXPECT_EQ(ReadFile(path), QByteArray("unchanged"));

    CKSData fits;
    MakeDocument(fits, 4, 4, 128);
    ASSERT_TRUE(m_serializer.Export(fits, path));
    CKomaFile file;
    ASSERT_EQ(file.Load(path), KOMA_OK);
    EXPECT_EQ(file.GetLayerCount(), 128);
}

TEST_F(KomSerializer, DoesNotExportInconsistentDocuments) {
    const auto breakers = {
        +[](CKSData& d) { d.m_pLayers->GetLayer(1)->FreeBits(); },
        +[](CKSData& d) { d.m_pLayers->GetLayer(0)->m_nWidth = 3; },
        +[](CKSData& d) { d.m_pPalettes->m_nCurrent = 1; },
        +[](CKSData& d) { d.m_pLayers->m_nCurrent = -1; },
        +[](CKSData& d) { d.m_pPalettes.reset(); },
    };
    for (auto breaker : breakers) {
        CKSData document;
        MakeDocument(document, 5, 5, 2);
        breaker(document);
        EXPECT_FALSE(m_serializer.Export(document, Path("broken.kom")));
        EXPECT_FALSE(QFile::exists(Path("broken.kom")));
    }
}

TEST_F(KomSerializer, ExportsTheFirst256ColoursOfAnyPalette) {
    for (qint32 count : {16, 300}) {
        SCOPED_TRACE(count);
        CKSData document;
        MakeDocument(document, 2, 2, 1);
        CKSPalette& palette = *document.GetCurrentPalette();
        palette.Allocate(count);
        for (qint32 i = 0; i < count * 3; ++i)
            palette.m_pColors[i] = quint8(1 + i % 250);
        ASSERT_TRUE(m_serializer.Export(document, Path("palette.kom")));
        CKomaFile file;
        ASSERT_EQ(file.Load(Path("palette.kom")), KOMA_OK);
        for (int i = 0; i < 768; ++i)
            ASSERT_EQ(file.m_palette[size_t(i)], i < count * 3 ? 1 + i % 250 : 0) << i;
    }
}

TEST_F(KomSerializer, ImportsAnEmptyOldFileAsOneLayer) {
    CKSData document;
    ASSERT_TRUE(ImportBytes(KomHeader(3, 2, 0, 9), document));
    EXPECT_EQ(document.GetLayerCount(), 1);
    EXPECT_EQ(Pixels(*document.m_pLayers->GetLayer(0)), QByteArray(6, '\0'));
    EXPECT_EQ(document.m_nTransparentIndex, 9);
    EXPECT_EQ(document.GetCurrentPalette()->m_pColors[767], 767 % 251);
}

TEST_F(KomSerializer, FailsWithoutATextOnDamagedOldFiles) {
    const QByteArray damaged[] = {
        QByteArray("KOMA\0garbage", 12),
        KomHeader(2, 2, 1) + KomLayerRecord("x", 1, Hex("01000000")),
        KomHeader(2, 2, 200),
    };
    for (const QByteArray& bytes : damaged) {
        CKSData document;
        m_serializer.m_strLastError = "left from before";
        EXPECT_FALSE(ImportBytes(bytes, document));
        EXPECT_TRUE(m_serializer.m_strLastError.isEmpty());
    }
}

TEST_F(KomSerializer, ImportsAKoma2Drawing) {
    const QByteArray top = DrawingPixels(12, 1);
    const QByteArray bottom = DrawingPixels(12, 2);
    CChunkList page =
        Koma2Page(4, 3, {Koma2Layer(top), Koma2Layer(bottom, Hex("8365 8358 8367 82"), 0)});
    page.Byte(2000, 4);
    CChunkList palette;
    palette.Data(1005, Hex("0A0B0C 0D0E0F 102030"))
        .Data(1009, Hex("0100 0200 0300 0400 0500 0600 0700 0800 0900"))
        .Data(1010, Hex("02 00 02"));
    CChunkList body;
    body.Byte(1000, 8)
        .Word(3001, 3)
        .Object(3003, palette)
        .Long(3004, 0)
        .Object(3007, CChunkList().Byte(1000, 12))
        .Long(3006, 0x1FE)
        .Object(2003, page)
        .Long(2004, 0);
    const QByteArray file = Koma2File(body.Bytes());
    WriteFuzzSeed("koma2_fuzzer", "two_layers.kom", file);
    WriteFuzzSeed("koma2_fuzzer", "two_layers.body", body.Bytes());

    CKSData document;
    ASSERT_TRUE(ImportBytes(file, document)) << m_serializer.m_strLastError.toStdString();
    EXPECT_EQ(document.m_nWidth, 4);
    EXPECT_EQ(document.m_nHeight, 3);
    EXPECT_EQ(document.m_nLayerDisplayMode, 4);
    EXPECT_EQ(document.m_nBackColorIndex, 12);
    EXPECT_EQ(document.m_nTransparentIndex, 0xFE);
    ASSERT_EQ(document.GetLayerCount(), 2);
    EXPECT_EQ(document.m_pLayers->GetLayer(0)->m_strName, QStringLiteral("Layer000"));
    EXPECT_EQ(document.m_pLayers->GetLayer(1)->m_strName, QStringLiteral(u"テスト"));
    EXPECT_EQ(document.m_pLayers->GetLayer(1)->m_bVisible, 0);
    EXPECT_EQ(Pixels(*document.m_pLayers->GetLayer(0)), top);
    EXPECT_EQ(Pixels(*document.m_pLayers->GetLayer(1)), bottom);

    const CKSPalette& target = *document.GetCurrentPalette();
    EXPECT_EQ(target.m_nCount, 256);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(target.m_pColors.get()), 12),
              Hex("0C0B0A 0F0E0D 302010 000000"));
    EXPECT_EQ(target.m_pKinds[0], 1);
    EXPECT_EQ(target.m_pKinds[1], 0);
    EXPECT_EQ(target.m_pKinds[2], 1);
    const quint16 extras[] = {1, 2, 3, 0, 0, 0, 7, 8, 9, 0, 0, 0};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(target.m_pExtra[i], extras[i]) << i;
}

TEST_F(KomSerializer, CopiesAtMost256PaletteEntries) {
    CKSData document;
    ASSERT_TRUE(ImportBytes(
        Koma2File(Koma2Drawing(Koma2Page(2, 2, {Koma2Layer("abcd")}), 300).Bytes()), document));
    const CKSPalette& target = *document.GetCurrentPalette();
    EXPECT_EQ(target.m_nCount, 256);
    EXPECT_EQ(target.m_pColors[255 * 3], 257 % 256);
    EXPECT_EQ(target.m_pColors[255 * 3 + 2], 255);
}

TEST_F(KomSerializer, RefusesKoma2DrawingsOfMoreThan256Colours) {
    const QString tooManyColors = LoadStringResource(IDS_TOO_MANY_COLORS);
    for (quint8 depth : {15, 16, 24, 32}) {
        CChunkList body = Koma2Drawing(Koma2Page(2, 2, {Koma2Layer("abcd")}));
        body.Byte(1000, depth);
        EXPECT_EQ(Koma2ImportError(body), tooManyColors) << int(depth);
    }
    // Layers made under depth 24 before the depth changed to 8.
    CChunkList changed;
    changed.Byte(1000, 24).Word(3001, 1).Object(3003, CChunkList()).Long(3004, 0);
    changed.Object(2003, Koma2Page(2, 2, {Koma2Layer(QByteArray(12, 'x'))})).Long(2004, 0);
    changed.Byte(1000, 8);
    EXPECT_EQ(Koma2ImportError(changed), tooManyColors);
}

TEST_F(KomSerializer, RefusesKoma2PagesItCannotCopyFrom) {
    const QString importFailed = LoadStringResource(IDS_IMPORT_FAILED);
    const CChunkList good = Koma2Drawing(Koma2Page(2, 2, {Koma2Layer("abcd")}));

    CChunkList noPage = good;
    noPage.Long(2004, 1);
    EXPECT_EQ(Koma2ImportError(noPage), importFailed);
    CChunkList noPalette = good;
    noPalette.Long(3004, -1);
    EXPECT_EQ(Koma2ImportError(noPalette), importFailed);
    EXPECT_EQ(Koma2ImportError(Koma2Drawing(Koma2Page(0, 2, {Koma2Layer("")}))), importFailed);
    // A page without layers imports as one blank layer, unless its size is
    // beyond what a layered file may hold.
    EXPECT_EQ(Koma2ImportError(Koma2Drawing(Koma2Page(65535, 65535, {}))), importFailed);
    CKSData blank;
    ASSERT_TRUE(ImportBytes(Koma2File(Koma2Drawing(Koma2Page(3, 2, {})).Bytes()), blank));
    ASSERT_EQ(blank.GetLayerCount(), 1);
    EXPECT_EQ(blank.m_nWidth, 3);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(blank.GetCurrentLayer()->m_pBits.get()), 6),
              QByteArray(6, '\0'));

    // Depth 2: the layers have no pixel buffer.
    CChunkList depth2 = good;
    depth2.Byte(1000, 2).Object(2003, Koma2Page(2, 2, {Koma2Layer("abcd")})).Long(2004, 1);
    EXPECT_EQ(Koma2ImportError(depth2), importFailed);

    // The layer was made before the page had its size.
    CChunkList late;
    late.Object(2003, Koma2Layer("abcd")).Word(1005, 2).Word(1006, 2);
    CChunkList lateSize = good;
    lateSize.Object(2003, late).Long(2004, 1);
    EXPECT_EQ(Koma2ImportError(lateSize), importFailed);
}

TEST_F(KomSerializer, ImportsBlankKoma2LayersAsZeroes) {
    // The editor leaves the pixel chunk out of a layer nobody drew on; the
    // body is then far smaller than the layers it describes.
    const QByteArray drawn = DrawingPixels(300 * 200, 6);
    CChunkList page;
    page.Word(1005, 300).Word(1006, 200);
    page.Object(2003, CChunkList().Data(1000, "blank"));
    page.Object(2003, Koma2Layer(drawn, "drawn"));
    page.Object(2003, CChunkList().Byte(1005, 0));
    CKSData document;
    ASSERT_TRUE(ImportBytes(Koma2File(Koma2Drawing(page).Bytes()), document))
        << m_serializer.m_strLastError.toStdString();
    ASSERT_EQ(document.GetLayerCount(), 3);
    const QByteArray blank(300 * 200, '\0');
    EXPECT_EQ(Pixels(*document.m_pLayers->GetLayer(0)), blank);
    EXPECT_EQ(document.m_pLayers->GetLayer(0)->m_strName, QStringLiteral("blank"));
    EXPECT_EQ(Pixels(*document.m_pLayers->GetLayer(1)), drawn);
    EXPECT_EQ(Pixels(*document.m_pLayers->GetLayer(2)), blank);
    EXPECT_EQ(document.m_pLayers->GetLayer(2)->m_bVisible, 0);
    EXPECT_TRUE(document.IsConsistent());
}

TEST_F(KomSerializer, RefusesKoma2LayersBeyondTheKomLimits) {
    // Refused while loading, with the loader's text, before the layer or the
    // document is allocated.
    CChunkList page;
    page.Word(1005, 16385).Word(1006, 16384).Object(2003, CChunkList());
    EXPECT_EQ(Koma2ImportError(Koma2Drawing(page)),
              CFileException::BadFormat({}).GetErrorMessage());
}

TEST_F(KomSerializer, RefusesKoma2PagesOfMoreThan128Layers) {
    CChunkList page;
    page.Word(1005, 1).Word(1006, 1);
    for (int i = 0; i < 129; ++i)
        page.Object(2003, Koma2Layer("p"));
    EXPECT_EQ(Koma2ImportError(Koma2Drawing(page)), kTooManyLayers);

    CChunkList fits;
    fits.Word(1005, 1).Word(1006, 1);
    for (int i = 0; i < 128; ++i)
        fits.Object(2003, Koma2Layer(QByteArray(1, char(i))));
    CKSData document;
    ASSERT_TRUE(ImportBytes(Koma2File(Koma2Drawing(fits).Bytes()), document));
    ASSERT_EQ(document.GetLayerCount(), 128);
    EXPECT_EQ(document.m_pLayers->GetLayer(127)->m_pBits[0], 127);
}

TEST_F(KomSerializer, PassesOnTheKoma2LoadersText) {
    CKSData document;
    EXPECT_FALSE(ImportBytes(Koma2File({}, 0), document));
    EXPECT_EQ(m_serializer.m_strLastError, QStringLiteral(u"この圧縮モードには対応していません。"));
    EXPECT_FALSE(ImportBytes("PNG?", document));
    EXPECT_FALSE(m_serializer.m_strLastError.isEmpty());

    const QString missing = Path("missing.kom");
    EXPECT_FALSE(m_serializer.Import(document, missing));
    EXPECT_TRUE(m_serializer.m_strLastError.endsWith(QStringLiteral("\n\n") + missing));
}

} // namespace
