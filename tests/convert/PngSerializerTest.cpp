#include "PngFixtures.h"
#include "support/TestSupport.h"

#include "base/FileException.h"
#include "base/StringTable.h"
#include "convert/PngSerializer.h"
#include "model/KSData.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

namespace {

const QString kDeepBits = QStringLiteral(u"8ビットを超えるPNG画像には現在対応していません。");

QByteArray ExportToBytes(CPngSerializer& serializer, const CKSData& document) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return serializer.ExportTo(document, buffer) ? buffer.data() : QByteArray();
}

bool ImportBytes(CPngSerializer& serializer, CKSData& document, const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return serializer.ImportFrom(document, buffer);
}

std::vector<quint8> Pixels(const CKSData& document) {
    const CKSLayer* layer = document.GetCurrentLayer();
    const quint8* bits = layer->PixelsFor(document.m_nWidth, document.m_nHeight);
    return bits ? std::vector<quint8>(bits, bits + document.m_nWidth * document.m_nHeight)
                : std::vector<quint8>();
}

QByteArray Colors(const CKSPalette& palette) {
    return QByteArray(reinterpret_cast<const char*>(palette.m_pColors.get()), palette.m_nCount * 3);
}

std::vector<png_color> TestPalette(int count) {
    std::vector<png_color> palette;
    for (int k = 0; k < count; ++k)
        palette.push_back(TestColor(k));
    return palette;
}

// Samples of a width × height picture that cycle through 0 .. levels - 1.
std::vector<quint8> Ramp(int width, int height, int levels) {
    std::vector<quint8> samples;
    for (int i = 0; i < width * height; ++i)
        samples.push_back(quint8((i * 7 + i / width) % levels));
    return samples;
}

// A device-document picture whose pixels use every index and whose palette
// holds 256 distinct colours.
void MakeRoundTripDocument(CKSData& document, int width, int height) {
    MakeDocument(document, width, height, 1,
                 [](int, int x, int y) { return quint8((x * 7 + y * 13) % 256); });
}

} // namespace

TEST(PngExport, WritesAnEightBitPaletteImageWithAll256ColoursAndNothingElse) {
    CKSData document;
    MakeDocument(document, 1, 1, 1, [](int, int, int) { return quint8(200); });
    document.m_nTransparentIndex = 5;
    CPngSerializer serializer;
    const QByteArray png = ExportToBytes(serializer, document);
    ASSERT_FALSE(png.isEmpty()) << serializer.m_strLastError.toStdString();
    WriteFuzzSeed("png_import_fuzzer", QStringLiteral("export-1x1.png"), png);

    EXPECT_EQ(ChunkTypes(png), (QList<QByteArray>{"IHDR", "PLTE", "IDAT", "IEND"}));
    const QByteArray ihdr = ChunkData(png, "IHDR");
    ASSERT_EQ(ihdr.size(), 13);
    EXPECT_EQ(qFromBigEndian<quint32>(ihdr.constData()), 1u);
    EXPECT_EQ(qFromBigEndian<quint32>(ihdr.constData() + 4), 1u);
    EXPECT_EQ(ihdr.mid(8), QByteArray("\x08\x03\x00\x00\x00", 5));
    EXPECT_EQ(ChunkData(png, "PLTE"), Colors(*document.GetCurrentPalette()));
}

TEST(PngExport, RoundTripKeepsSizePixelsAndEveryColour) {
    CKSData document;
    MakeRoundTripDocument(document, 37, 23);
    document.m_nTransparentIndex = 9;
    CPngSerializer serializer;
    const QByteArray png = ExportToBytes(serializer, document);
    ASSERT_FALSE(png.isEmpty());
    WriteFuzzSeed("png_import_fuzzer", QStringLiteral("roundtrip.png"), png);
    WriteFuzzSeed("png_thumbnail_fuzzer", QStringLiteral("palette8.png"), png);

    CKSData back;
    ASSERT_TRUE(ImportBytes(serializer, back, png)) << serializer.m_strLastError.toStdString();
    EXPECT_EQ(back.m_nWidth, 37);
    EXPECT_EQ(back.m_nHeight, 23);
    EXPECT_EQ(back.GetLayerCount(), 1);
    EXPECT_EQ(Pixels(back), Pixels(document));
    EXPECT_EQ(Colors(*back.GetCurrentPalette()), Colors(*document.GetCurrentPalette()));
    // The transparent index is not stored in the file.
    EXPECT_EQ(back.m_nTransparentIndex, 0);
}

TEST(PngExport, WritesTheCurrentLayerWithTheCurrentPalette) {
    CKSData document;
    MakeDocument(document, 4, 3, 2, [](int layer, int x, int) { return quint8(layer * 100 + x); });
    document.m_pLayers->m_nCurrent = 1;
    CKSPalette* second = document.m_pPalettes->AddNewPalette(); // inserted at 0
    for (int k = 0; k < 256; ++k)
        second->m_pColors[k * 3] = quint8(255 - k);
    document.m_pPalettes->m_nCurrent = 0;

    CPngSerializer serializer;
    CKSData back;
    ASSERT_TRUE(ImportBytes(serializer, back, ExportToBytes(serializer, document)));
    EXPECT_EQ(Pixels(back),
              (std::vector<quint8>{100, 101, 102, 103, 100, 101, 102, 103, 100, 101, 102, 103}));
    EXPECT_EQ(Colors(*back.GetCurrentPalette()), Colors(*second));
}

// Palette images are coded with zlib's run-length strategy and no row filter:
// every row of the inflated image data starts with filter type 0.
TEST(PngExport, PaletteRowsAreStoredUnfiltered) {
    CKSData document;
    MakeDocument(document, 40, 30, 1, [](int, int x, int y) { return quint8(x / 7 + y); });
    CPngSerializer serializer;
    const QByteArray idat = ChunkData(ExportToBytes(serializer, document), "IDAT");
    ASSERT_FALSE(idat.isEmpty());
    QByteArray rows(30 * 41, '\xff');
    uLongf length = uLongf(rows.size());
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(rows.data()), &length,
                         reinterpret_cast<const Bytef*>(idat.constData()), uLong(idat.size())),
              Z_OK);
    ASSERT_EQ(length, uLongf(rows.size()));
    for (int r = 0; r < 30; ++r)
        EXPECT_EQ(rows[r * 41], '\0') << r;
}

// The layers side by side, put together row by row as they are written, give
// the same file as a one-layer document that holds them so.
TEST(PngExport, TiledExportEqualsTheExportOfTheLayersLaidSideBySide) {
    CKSData layered;
    MakeDocument(layered, 5, 4, 3,
                 [](int layer, int x, int y) { return quint8(layer * 60 + y * 5 + x); });
    CKSData tiled;
    MakeDocument(tiled, 15, 4, 1,
                 [](int, int x, int y) { return quint8(x / 5 * 60 + y * 5 + x % 5); });
    CPngSerializer serializer;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(serializer.ExportTilesTo(layered, buffer));
    const QByteArray expected = ExportToBytes(serializer, tiled);
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(buffer.data(), expected);

    CKSData back;
    ASSERT_TRUE(ImportBytes(serializer, back, buffer.data()));
    EXPECT_EQ(Pixels(back), Pixels(tiled));
}

TEST(PngExport, InconsistentDocumentFailsWithoutTextAndWritesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.png"));
    CPngSerializer serializer;

    CKSData noPixels;
    MakeRoundTripDocument(noPixels, 8, 8);
    noPixels.GetCurrentLayer()->FreeBits();
    CKSData wrongSize;
    MakeRoundTripDocument(wrongSize, 8, 8);
    wrongSize.m_nWidth = 9;
    CKSData badPalette;
    MakeRoundTripDocument(badPalette, 8, 8);
    badPalette.m_pPalettes->m_nCurrent = 1;
    for (const CKSData* document : {&noPixels, &wrongSize, &badPalette}) {
        serializer.m_strLastError = QStringLiteral("earlier");
        EXPECT_FALSE(serializer.Export(*document, path));
        EXPECT_TRUE(serializer.m_strLastError.isEmpty());
        EXPECT_FALSE(QFile::exists(path));
    }
}

TEST(PngExport, LibpngFailureKeepsTheFileBeingReplacedAndLeavesNoPartialFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.png"));
    const QByteArray previous("the user's earlier picture");
    ASSERT_TRUE(WriteFileBytes(path, previous));

    // libpng writes no image wider than 1000000 pixels: it stops inside the
    // header, after the file was opened.
    CKSData document;
    document.Create(1000001, 1);
    CPngSerializer serializer;
    EXPECT_FALSE(serializer.Export(document, path));
    EXPECT_TRUE(serializer.m_strLastError.startsWith(u"PNG画像を書き出せませんでした。\n"))
        << serializer.m_strLastError.toStdString();
    EXPECT_EQ(ReadFileBytes(path), previous);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("picture.png")});

    // A good export then replaces it.
    CKSData good;
    MakeRoundTripDocument(good, 3, 3);
    ASSERT_TRUE(serializer.Export(good, path));
    EXPECT_TRUE(serializer.m_strLastError.isEmpty());
    EXPECT_TRUE(ReadFileBytes(path).startsWith("\x89PNG"));
}

namespace {

// A device that takes `capacity` bytes and then refuses, like a full disk.
class CFullDevice : public QIODevice {
public:
    explicit CFullDevice(qint64 capacity) : m_capacity(capacity) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 length) override {
        if (length > m_capacity) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        m_capacity -= length;
        return length;
    }

private:
    qint64 m_capacity;
};

} // namespace

TEST(PngExport, WriteFaultEndsTheExportWithTheWriteText) {
    CKSData document;
    MakeRoundTripDocument(document, 64, 64);
    for (const qint64 capacity : {0, 40, 900}) {
        CFullDevice device(capacity);
        CPngSerializer serializer;
        EXPECT_FALSE(serializer.ExportTo(document, device)) << capacity;
        EXPECT_EQ(serializer.m_strLastError,
                  CFileException::WriteFault(QString(), QStringLiteral("No space left on device"))
                      .GetErrorMessage());
    }
}

TEST(PngExport, UnwritableFolderIsReported) {
    QTemporaryDir dir;
    CKSData document;
    MakeRoundTripDocument(document, 2, 2);
    CPngSerializer serializer;
    EXPECT_FALSE(serializer.Export(document, dir.filePath(QStringLiteral("missing/out.png"))));
    EXPECT_EQ(serializer.m_strLastError, QStringLiteral(u"ファイルを開けませんでした。"));
}

TEST(PngImport, GreyImagesOfEveryDepthGiveTheirSamplesUnscaledAndAGreyRamp) {
    for (const int depth : {1, 2, 4, 8}) {
        PngFixture fixture;
        fixture.colorType = PNG_COLOR_TYPE_GRAY;
        fixture.bitDepth = depth;
        fixture.width = 13;
        fixture.height = 5;
        fixture.samples = Ramp(13, 5, 1 << depth);
        const QByteArray png = WritePng(fixture);
        WriteFuzzSeed("png_import_fuzzer", QStringLiteral("grey%1.png").arg(depth), png);
        WriteFuzzSeed("png_thumbnail_fuzzer", QStringLiteral("grey%1.png").arg(depth), png);

        CPngSerializer serializer;
        CKSData document;
        ASSERT_TRUE(ImportBytes(serializer, document, png)) << depth;
        EXPECT_EQ(Pixels(document), fixture.samples) << depth;
        const CKSPalette& palette = *document.GetCurrentPalette();
        ASSERT_EQ(palette.m_nCount, 256);
        for (int k = 0; k < 256; ++k) {
            ASSERT_EQ(QByteArray(reinterpret_cast<const char*>(&palette.m_pColors[k * 3]), 3),
                      QByteArray(3, char(k)))
                << k;
        }
    }
}

TEST(PngImport, PaletteImagesOfEveryDepthGiveTheirIndicesAndBlackPastThePalette) {
    for (const int depth : {1, 2, 4, 8}) {
        const int entries = depth == 8 ? 200 : 1 << depth;
        PngFixture fixture;
        fixture.bitDepth = depth;
        fixture.width = 11;
        fixture.height = 7;
        fixture.interlaced = depth == 4;
        fixture.palette = TestPalette(entries);
        fixture.samples = Ramp(11, 7, entries);
        const QByteArray png = WritePng(fixture);
        WriteFuzzSeed("png_import_fuzzer", QStringLiteral("palette%1.png").arg(depth), png);
        WriteFuzzSeed("png_thumbnail_fuzzer", QStringLiteral("palette%1.png").arg(depth), png);

        CPngSerializer serializer;
        CKSData document;
        ASSERT_TRUE(ImportBytes(serializer, document, png)) << depth;
        EXPECT_EQ(Pixels(document), fixture.samples) << depth;
        const QByteArray colors = Colors(*document.GetCurrentPalette());
        EXPECT_EQ(colors.left(entries * 3),
                  QByteArray(reinterpret_cast<const char*>(fixture.palette.data()), entries * 3));
        EXPECT_EQ(colors.mid(entries * 3), QByteArray((256 - entries) * 3, '\0')) << depth;
    }
}

TEST(PngImport, TransparentIndexIsTheFirstPaletteEntryWithAlphaZero) {
    struct Case {
        std::vector<quint8> alpha;
        int expected;
    };
    const Case cases[] = {{{255, 0, 0}, 1}, {{0}, 0}, {{10, 255, 128, 0, 0}, 3}, {{255, 255}, 0}};
    for (const Case& c : cases) {
        PngFixture fixture;
        fixture.width = 3;
        fixture.palette = TestPalette(8);
        fixture.alpha = c.alpha;
        fixture.samples = {0, 1, 2};
        CPngSerializer serializer;
        CKSData document;
        const QByteArray png = WritePng(fixture);
        ASSERT_TRUE(ImportBytes(serializer, document, png));
        EXPECT_EQ(document.m_nTransparentIndex, c.expected);
    }

    PngFixture grey;
    grey.colorType = PNG_COLOR_TYPE_GRAY;
    grey.greyTransparent = 7;
    grey.samples = {7};
    CPngSerializer serializer;
    CKSData document;
    ASSERT_TRUE(ImportBytes(serializer, document, WritePng(grey)));
    EXPECT_EQ(document.m_nTransparentIndex, 0);
}

TEST(PngImport, KeepsEveryStoredColourOfAPaletteLongerThanTheDepthNeeds) {
    // A 4-bit image whose PLTE holds 256 entries and whose tRNS (20 entries)
    // makes entry 18 transparent: the palette beyond entry 15 and that tRNS
    // are stored colours of the drawing.
    PngFixture fixture;
    fixture.bitDepth = 4;
    fixture.width = 4;
    fixture.palette = TestPalette(16);
    fixture.samples = {0, 5, 10, 15};
    const std::vector<png_color> full = TestPalette(256);
    const QByteArray fullPlte(reinterpret_cast<const char*>(full.data()), 768);
    QByteArray alpha(20, char(255));
    alpha[18] = 0;
    QByteArray png = WritePng(fixture);
    const qsizetype plte = png.indexOf("PLTE") - 4;
    png.replace(plte, 12 + 16 * 3, PngChunk("PLTE", fullPlte) + PngChunk("tRNS", alpha));
    WriteFuzzSeed("png_import_fuzzer", QStringLiteral("long-palette.png"), png);

    CPngSerializer serializer;
    CKSData document;
    ASSERT_TRUE(ImportBytes(serializer, document, png)) << serializer.m_strLastError.toStdString();
    EXPECT_EQ(Pixels(document), fixture.samples);
    EXPECT_EQ(Colors(*document.GetCurrentPalette()), fullPlte);
    EXPECT_EQ(document.m_nTransparentIndex, 18);
}

TEST(PngImport, ImagesBeyondEightBitsOrAPaletteAreRefusedWithTheirTexts) {
    const QString tooManyColours = LoadStringResource(IDS_TOO_MANY_COLORS);
    struct Case {
        int colorType;
        int bitDepth;
        QString text;
    };
    const Case cases[] = {
        {PNG_COLOR_TYPE_RGB, 8, tooManyColours},
        {PNG_COLOR_TYPE_RGB_ALPHA, 8, tooManyColours},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 8, tooManyColours},
        {PNG_COLOR_TYPE_GRAY, 16, kDeepBits},
        {PNG_COLOR_TYPE_RGB, 16, kDeepBits},
    };
    for (const Case& c : cases) {
        PngFixture fixture;
        fixture.colorType = c.colorType;
        fixture.bitDepth = c.bitDepth;
        CPngSerializer serializer;
        CKSData document;
        EXPECT_FALSE(ImportBytes(serializer, document, WritePng(fixture)));
        EXPECT_EQ(serializer.m_strLastError, c.text) << c.colorType << "/" << c.bitDepth;
        EXPECT_EQ(document.GetLayerCount(), 0);
    }

    const std::pair<const char*, QString> suite[] = {
        {"basn2c08.png", tooManyColours}, {"basn4a08.png", tooManyColours},
        {"basn6a08.png", tooManyColours}, {"basn0g16.png", kDeepBits},
        {"basn2c16.png", kDeepBits},      {"basn6a16.png", kDeepBits},
    };
    for (const auto& [name, text] : suite) {
        CPngSerializer serializer;
        CKSData document;
        EXPECT_FALSE(serializer.Import(document, PngSuitePath(name))) << name;
        EXPECT_EQ(serializer.m_strLastError, text) << name;
    }
}

TEST(PngImport, InterlacedSuiteImagesMatchTheirPlainTwins) {
    for (const char* depth : {"01", "02", "04", "08"}) {
        for (const char* kind : {"0g", "3p"}) {
            const QString plainName = QStringLiteral("basn%1%2.png").arg(kind, depth);
            const QString interlacedName = QStringLiteral("basi%1%2.png").arg(kind, depth);
            CPngSerializer serializer;
            CKSData plain;
            CKSData interlaced;
            ASSERT_TRUE(serializer.Import(plain, PngSuitePath(plainName)))
                << plainName.toStdString();
            ASSERT_TRUE(serializer.Import(interlaced, PngSuitePath(interlacedName)));
            EXPECT_EQ(plain.m_nWidth, 32);
            EXPECT_EQ(Pixels(plain), Pixels(interlaced)) << interlacedName.toStdString();
            EXPECT_EQ(Colors(*plain.GetCurrentPalette()), Colors(*interlaced.GetCurrentPalette()));
            WriteFuzzSeed("png_import_fuzzer", interlacedName,
                          ReadFileBytes(PngSuitePath(interlacedName)));
        }
    }
}

TEST(PngImport, CorruptSuiteImagesFailWithAText) {
    const QStringList names = QDir(PngSuitePath(QString()))
                                  .entryList({QStringLiteral("x*.png")}, QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 10);
    for (const QString& name : names) {
        CPngSerializer serializer;
        CKSData document;
        EXPECT_FALSE(serializer.Import(document, PngSuitePath(name))) << name.toStdString();
        EXPECT_FALSE(serializer.m_strLastError.isEmpty()) << name.toStdString();
        WriteFuzzSeed("png_import_fuzzer", name, ReadFileBytes(PngSuitePath(name)));
    }
}

TEST(PngImport, TruncatedFileEndsWithTheEndOfFileText) {
    CKSData source;
    MakeRoundTripDocument(source, 40, 40);
    CPngSerializer serializer;
    const QByteArray png = ExportToBytes(serializer, source);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.png"));
    for (const qsizetype length : {qsizetype(5), qsizetype(30), png.size() / 2, png.size() - 1}) {
        ASSERT_TRUE(WriteFileBytes(path, png.left(length)));
        CKSData document;
        EXPECT_FALSE(serializer.Import(document, path)) << length;
        EXPECT_EQ(serializer.m_strLastError, CFileException::EndOfFile(path).GetErrorMessage());
    }
}

TEST(PngImport, OversizedHeaderIsRefusedBeforeThePictureIsAllocated) {
    PngFixture fixture;
    fixture.palette = TestPalette(2);
    const QByteArray png = WritePng(fixture);
    const std::pair<quint32, quint32> sizes[] = {
        {16385, 1}, {1, 16385}, {0x7fffffff, 0x7fffffff}, {0x80000000u, 1}};
    for (const auto& [width, height] : sizes) {
        const QByteArray huge = WithIhdrSize(png, width, height);
        WriteFuzzSeed("png_import_fuzzer", QStringLiteral("huge-%1x%2.png").arg(width).arg(height),
                      huge);
        CPngSerializer serializer;
        CKSData document;
        EXPECT_FALSE(ImportBytes(serializer, document, huge)) << width << "x" << height;
        EXPECT_TRUE(serializer.m_strLastError.startsWith(u"PNG画像を読み込めませんでした。\n"));
        EXPECT_EQ(document.GetLayerCount(), 0);
    }

    // The limit itself is accepted; this header then promises more data than
    // the file holds.
    CPngSerializer serializer;
    CKSData document;
    EXPECT_FALSE(ImportBytes(serializer, document, WithIhdrSize(png, 16384, 1)));
    EXPECT_EQ(document.GetLayerCount(), 1);
    EXPECT_EQ(document.m_nWidth, 16384);
}

TEST(PngImport, AncillaryChunksAreSkippedWhateverLengthTheyClaim) {
    // A text and a suggested-palette chunk that claim almost 2 GiB and end
    // with the file. They are skipped unread; reading them would allocate
    // their claimed length first (the fuzz runs start from this seed).
    PngFixture fixture;
    fixture.palette = TestPalette(2);
    const QByteArray png = WritePng(fixture);
    for (const char* type : {"sPLT", "zTXt"}) {
        QByteArray hostile = png.left(8 + 25);
        hostile += QByteArray::fromHex("7fff0000") + type + QByteArray(40, 'x');
        WriteFuzzSeed("png_import_fuzzer", QStringLiteral("long-%1.png").arg(type), hostile);
        WriteFuzzSeed("png_thumbnail_fuzzer", QStringLiteral("long-%1.png").arg(type), hostile);
        CPngSerializer serializer;
        CKSData document;
        EXPECT_FALSE(ImportBytes(serializer, document, hostile));
        EXPECT_EQ(serializer.m_strLastError,
                  CFileException::EndOfFile(QString()).GetErrorMessage());
    }

    // Skipped chunks do not disturb a good image around them.
    const QByteArray withText = png.left(8 + 25) + PngChunk("tEXt", QByteArray("Comment\0hi", 10)) +
                                PngChunk("gAMA", QByteArray::fromHex("000186a0")) + png.mid(8 + 25);
    CPngSerializer serializer;
    CKSData document;
    EXPECT_TRUE(ImportBytes(serializer, document, withText))
        << serializer.m_strLastError.toStdString();
    EXPECT_EQ(ChunkTypes(withText).mid(1, 2), (QList<QByteArray>{"tEXt", "gAMA"}));
}

TEST(PngImport, MissingFileIsReportedAndEachImportStartsWithoutAnOldText) {
    CPngSerializer serializer;
    CKSData document;
    EXPECT_FALSE(serializer.Import(document, QStringLiteral("/nonexistent/none.png")));
    EXPECT_EQ(serializer.m_strLastError, QStringLiteral(u"ファイルをオープン出来ませんでした。"));

    CKSData good;
    EXPECT_TRUE(serializer.Import(good, PngSuitePath(QStringLiteral("basn3p08.png"))));
    EXPECT_TRUE(serializer.m_strLastError.isEmpty());
}
