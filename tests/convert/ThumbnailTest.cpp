#include "PngFixtures.h"
#include "support/TestSupport.h"

#include "base/FileException.h"
#include "convert/DibSection.h"
#include "convert/PngSerializer.h"
#include "model/KSData.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Thumbnail {
    bool loaded = false;
    QString error;
};

Thumbnail Load(CDibSection& dib, const QByteArray& png) {
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    Thumbnail result;
    result.loaded = LoadPngThumbnail(dib, buffer, result.error);
    return result;
}

// The blue, green and red bytes of the pixel at (x, y) counted from the top.
QByteArray PixelAt(const CDibSection& dib, int x, int y) {
    const quint8* pixel = dib.GetRow(dib.GetHeight() - 1 - y) + x * 3;
    return QByteArray(reinterpret_cast<const char*>(pixel), 3);
}

QByteArray Bgr(int blue, int green, int red) {
    const char bytes[] = {char(blue), char(green), char(red)};
    return QByteArray(bytes, 3);
}

} // namespace

TEST(PngThumbnail, AlphaPixelsAreDrawnOverWhite) {
    PngFixture fixture;
    fixture.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    fixture.width = 4;
    fixture.samples = {100, 100, 100, 128, 10, 20, 30, 0, 1, 2, 3, 255, 200, 50, 0, 64};
    const QByteArray png = WritePng(fixture);
    WriteFuzzSeed("png_thumbnail_fuzzer", QStringLiteral("rgba.png"), png);

    CDibSection dib;
    ASSERT_TRUE(Load(dib, png).loaded);
    ASSERT_EQ(dib.GetBitsPerPixel(), 24);
    EXPECT_EQ(PixelAt(dib, 0, 0), Bgr(177, 177, 177)); // (100 × 128 + 127 × 255) / 255
    EXPECT_EQ(PixelAt(dib, 1, 0), Bgr(255, 255, 255));
    EXPECT_EQ(PixelAt(dib, 2, 0), Bgr(3, 2, 1));
    EXPECT_EQ(PixelAt(dib, 3, 0), Bgr(191, 203, 241));
}

TEST(PngThumbnail, TruecolourRowsStandUprightInBlueGreenRedOrder) {
    PngFixture fixture;
    fixture.colorType = PNG_COLOR_TYPE_RGB;
    fixture.width = 2;
    fixture.height = 3;
    for (int r = 0; r < 3; ++r) {
        for (int x = 0; x < 2; ++x)
            fixture.samples.insert(fixture.samples.end(),
                                   {quint8(r * 10 + x), quint8(100 + r), quint8(200 + x)});
    }
    for (const bool interlaced : {false, true}) {
        fixture.interlaced = interlaced;
        const QByteArray png = WritePng(fixture);
        WriteFuzzSeed("png_thumbnail_fuzzer", QStringLiteral("rgb-%1.png").arg(interlaced), png);
        CDibSection dib;
        ASSERT_TRUE(Load(dib, png).loaded);
        ASSERT_EQ(dib.GetWidth(), 2);
        ASSERT_EQ(dib.GetHeight(), 3);
        for (int r = 0; r < 3; ++r) {
            for (int x = 0; x < 2; ++x)
                EXPECT_EQ(PixelAt(dib, x, r), Bgr(200 + x, 100 + r, r * 10 + x)) << r << "," << x;
        }
    }
}

TEST(PngThumbnail, PaletteAndGreySuiteImagesShowTheColoursTheImporterReads) {
    for (const char* name :
         {"basn0g01.png", "basn0g02.png", "basn0g04.png", "basn0g08.png", "basn3p01.png",
          "basn3p02.png", "basn3p04.png", "basn3p08.png", "basi3p04.png", "basi0g08.png"}) {
        const QByteArray png = ReadFileBytes(PngSuitePath(name));
        WriteFuzzSeed("png_thumbnail_fuzzer", name, png);
        CPngSerializer serializer;
        CKSData document;
        ASSERT_TRUE(serializer.Import(document, PngSuitePath(name))) << name;
        CDibSection dib;
        ASSERT_TRUE(Load(dib, png).loaded) << name;
        ASSERT_EQ(dib.GetWidth(), document.m_nWidth);
        ASSERT_EQ(dib.GetHeight(), document.m_nHeight);
        const quint8* indices = document.GetCurrentLayer()->m_pBits.get();
        const quint8* colors = document.GetCurrentPalette()->m_pColors.get();
        for (int y = 0; y < dib.GetHeight(); ++y) {
            for (int x = 0; x < dib.GetWidth(); ++x) {
                const quint8* rgb = colors + indices[y * document.m_nWidth + x] * 3;
                ASSERT_EQ(PixelAt(dib, x, y), Bgr(rgb[2], rgb[1], rgb[0]))
                    << name << " " << x << "," << y;
            }
        }
    }
}

TEST(PngThumbnail, IndicesPastThePaletteShowBlack) {
    PngFixture fixture;
    fixture.width = 3;
    fixture.palette = {{10, 20, 30}, {40, 50, 60}};
    fixture.samples = {1, 5, 255};
    const QByteArray png = WritePng(fixture);
    WriteFuzzSeed("png_thumbnail_fuzzer", QStringLiteral("past-palette.png"), png);
    WriteFuzzSeed("png_import_fuzzer", QStringLiteral("past-palette.png"), png);
    CDibSection dib;
    ASSERT_TRUE(Load(dib, png).loaded);
    EXPECT_EQ(PixelAt(dib, 0, 0), Bgr(60, 50, 40));
    EXPECT_EQ(PixelAt(dib, 1, 0), Bgr(0, 0, 0));
    EXPECT_EQ(PixelAt(dib, 2, 0), Bgr(0, 0, 0));

    // The importer keeps such indices; its palette is black past the PLTE.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("past.png"));
    ASSERT_TRUE(WriteFileBytes(path, png));
    CPngSerializer serializer;
    CKSData document;
    ASSERT_TRUE(serializer.Import(document, path));
    const quint8* bits = document.GetCurrentLayer()->m_pBits.get();
    EXPECT_EQ(std::vector<quint8>(bits, bits + 3), (std::vector<quint8>{1, 5, 255}));
    EXPECT_EQ(document.GetCurrentPalette()->m_pColors[5 * 3 + 1], 0);
}

TEST(PngThumbnail, UnsupportedImagesAreRefusedWithTheirTexts) {
    PngFixture greyAlpha;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    CDibSection dib;
    Thumbnail result = Load(dib, WritePng(greyAlpha));
    EXPECT_FALSE(result.loaded);
    EXPECT_EQ(result.error, QStringLiteral(u"カラータイプ 4 には未対応です。"));

    PngFixture deep;
    deep.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    deep.bitDepth = 16;
    result = Load(dib, WritePng(deep));
    EXPECT_FALSE(result.loaded);
    EXPECT_EQ(result.error, QStringLiteral(u"8ビットを超えるPNG画像には現在対応していません。"));
    EXPECT_TRUE(dib.IsEmpty());
}

TEST(PngThumbnail, EndOfDataIsAFailureNotAnException) {
    PngFixture fixture;
    fixture.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    fixture.width = 30;
    fixture.height = 30;
    fixture.samples.assign(30 * 30 * 4, 77);
    const QByteArray png = WritePng(fixture);
    for (const qsizetype length :
         {qsizetype(0), qsizetype(8), qsizetype(33), png.size() - 13, png.size() - 1}) {
        CDibSection dib;
        Thumbnail result;
        EXPECT_NO_THROW(result = Load(dib, png.left(length)));
        EXPECT_FALSE(result.loaded) << length;
        EXPECT_EQ(result.error, CFileException::EndOfFile(QString()).GetErrorMessage()) << length;
        EXPECT_TRUE(dib.IsEmpty());
    }
}

TEST(PngThumbnail, PicturesAbove4096AreRefused) {
    PngFixture fixture;
    fixture.colorType = PNG_COLOR_TYPE_RGB;
    const QByteArray png = WritePng(fixture);
    for (const auto& [width, height] :
         {std::pair<quint32, quint32>{4097, 1}, {1, 4097}, {16384, 16384}}) {
        const QByteArray huge = WithIhdrSize(png, width, height);
        WriteFuzzSeed("png_thumbnail_fuzzer",
                      QStringLiteral("huge-%1x%2.png").arg(width).arg(height), huge);
        CDibSection dib;
        const Thumbnail result = Load(dib, huge);
        EXPECT_FALSE(result.loaded);
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_TRUE(dib.IsEmpty());
    }
}

TEST(PngThumbnail, CorruptSuiteImagesFailQuietly) {
    const QStringList names = QDir(PngSuitePath(QString()))
                                  .entryList({QStringLiteral("x*.png")}, QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 10);
    for (const QString& name : names) {
        const QByteArray png = ReadFileBytes(PngSuitePath(name));
        WriteFuzzSeed("png_thumbnail_fuzzer", name, png);
        CDibSection dib;
        Thumbnail result;
        EXPECT_NO_THROW(result = Load(dib, png));
        EXPECT_FALSE(result.loaded) << name.toStdString();
        EXPECT_FALSE(result.error.isEmpty()) << name.toStdString();
    }
}
