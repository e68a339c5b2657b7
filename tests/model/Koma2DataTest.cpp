#include "model/Koma2Data.h"
#include "base/FileException.h"
#include "support/KomFixtures.h"
#include "support/TestSupport.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

const QString kNotKoma2 = QStringLiteral(u"このファイルはKOMA2形式ではありません。");
const QString kBadMode = QStringLiteral(u"この圧縮モードには対応していません。");
const QString kInflateError = QStringLiteral(u"圧縮データ展開中にエラーが発生しました。");

bool LoadBytes(CKoma2Data& drawing, const QByteArray& bytes, QString* error) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return drawing.Load(buffer, error);
}

// Loads `bytes` and returns the reported text; the load must fail.
QString LoadError(const QByteArray& bytes) {
    CKoma2Data drawing;
    QString error;
    EXPECT_FALSE(LoadBytes(drawing, bytes, &error));
    return error;
}

TEST(Koma2Data, RefusesOtherSignaturesAndModes) {
    EXPECT_EQ(LoadError(QByteArray("KOMA\0", 5) + QByteArray(20, '\0')), kNotKoma2);
    // Mode 0 is refused before the declared 4 GiB body is allocated.
    EXPECT_EQ(LoadError(Koma2File({}, 0, 0xFFFFFFFFu)), kBadMode);
    EXPECT_EQ(LoadError(Koma2File({}, 2)), kBadMode);
    // A header cut short gives the framework's own read error.
    EXPECT_EQ(LoadError(Koma2File({}).left(10)), CFileException::EndOfFile({}).GetErrorMessage());
}

TEST(Koma2Data, LoadsAnEmptyBodyAsAnEmptyDrawing) {
    const QByteArray file = Koma2File({});
    WriteFuzzSeed("koma2_fuzzer", "empty.kom", file);
    CKoma2Data drawing;
    QString error;
    ASSERT_TRUE(LoadBytes(drawing, file, &error)) << error.toStdString();
    EXPECT_EQ(drawing.m_pages.GetCount(), 0);
    EXPECT_EQ(drawing.m_palettes.GetCount(), 0);
    EXPECT_EQ(drawing.m_pages.m_nCurrent, -1);
    EXPECT_EQ(drawing.m_palettes.m_nCurrent, -1);
    EXPECT_EQ(drawing.m_backColor1.m_nValue1002, 255);
}

TEST(Koma2Data, NeedsTheBodyToInflateToExactlyItsLength) {
    const QByteArray body = CChunkList().Byte(1000, 8).Bytes();
    EXPECT_EQ(LoadError(Koma2File(body, 1, body.size() + 1)), kInflateError);
    EXPECT_EQ(LoadError(Koma2File(body, 1, body.size() - 1)), kInflateError);
    // A stream cut short, and one with damaged data.
    const QByteArray file = Koma2File(body);
    EXPECT_EQ(LoadError(file.left(file.size() - 3)), kInflateError);
    QByteArray damaged = file;
    damaged[13] = char(damaged[13] ^ 0x40);
    EXPECT_EQ(LoadError(damaged), kInflateError);
    // Bytes after the stream are ignored.
    CKoma2Data drawing;
    EXPECT_TRUE(LoadBytes(drawing, file + "trailing", nullptr));
    EXPECT_EQ(drawing.m_nBitsPerPixel, 8);
}

TEST(Koma2Data, RefusesABodyLengthTheFileCannotHold) {
    // About 20 compressed bytes can never inflate to 30000 bytes.
    EXPECT_EQ(LoadError(Koma2File(QByteArray(10, 'a'), 1, 30000)), kInflateError);
    EXPECT_EQ(LoadError(Koma2File({}, 1, 0xFFFFFFFFu)), kInflateError);
    // A body that really is that compressible still loads.
    const QByteArray zeros(2000000, '\0');
    const QByteArray body = CChunkList().Data(9999, zeros).Bytes();
    CKoma2Data drawing;
    EXPECT_TRUE(LoadBytes(drawing, Koma2File(body), nullptr));
}

TEST(Koma2Data, ReportsChunksThatPointPastTheBody) {
    QByteArray body = CChunkList().Byte(1000, 8).Bytes();
    body += Hex("0F27 FF000000 01"); // chunk 9999 claims 255 bytes
    EXPECT_EQ(LoadError(Koma2File(body)), CMemoryException().GetErrorMessage());
}

TEST(Koma2Data, ReadsAnEightBitLayerExactly) {
    const QByteArray pixels = DrawingPixels(256, 5);
    const QByteArray file =
        Koma2File(Koma2Drawing(Koma2Page(16, 16, {Koma2Layer(pixels)})).Bytes());
    WriteFuzzSeed("koma2_fuzzer", "one_layer.kom", file);
    CKoma2Data drawing;
    ASSERT_TRUE(LoadBytes(drawing, file, nullptr));
    const CKoma2Page* page = drawing.GetCurrentPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->m_nWidth, 16);
    EXPECT_EQ(page->m_nBitsPerPixel, 8);
    ASSERT_EQ(page->m_layers.GetCount(), 1);
    const CKoma2Layer* layer = page->GetLayer(0);
    EXPECT_EQ(layer->m_pOwner, &page->m_layers);
    ASSERT_EQ(layer->GetBitsLength(), 256);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(layer->m_pBits.get()), 256), pixels);
    // No name chunk: the default names stay.
    EXPECT_EQ(layer->m_strName, QByteArray("Layer000"));
    EXPECT_EQ(layer->GetID(), -1);
    EXPECT_EQ(drawing.GetCurrentPalette()->m_strName, QByteArray("0"));
    EXPECT_EQ(drawing.GetCurrentPalette()->GetID(), 0);
}

TEST(Koma2Data, SizesLayerBuffersByDepth) {
    struct Case {
        quint8 depth;
        qint64 bytes;
    };
    for (const Case c : {Case{1, 20}, Case{4, 20}, Case{15, 60}, Case{16, 60}, Case{24, 60},
                         Case{0, 0}, Case{2, 0}, Case{7, 0}, Case{32, 0}}) {
        SCOPED_TRACE(int(c.depth));
        // The pixel chunk holds more than any buffer: only the buffer fills.
        const QByteArray pixels = DrawingPixels(70, c.depth);
        CChunkList body;
        body.Byte(1000, c.depth).Object(2003, Koma2Page(5, 4, {Koma2Layer(pixels)}));
        CKoma2Data drawing;
        ASSERT_TRUE(LoadBytes(drawing, Koma2File(body.Bytes()), nullptr));
        const CKoma2Layer* layer =
            static_cast<const CKoma2Page*>(drawing.m_pages.GetAt(0))->GetLayer(0);
        EXPECT_EQ(layer->GetBitsLength(), c.bytes);
        EXPECT_EQ(layer->m_pBits != nullptr, c.bytes > 0);
        EXPECT_EQ(layer->m_strName, c.bytes > 0 ? QByteArray("Layer000") : QByteArray());
        if (c.bytes > 0) {
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(layer->m_pBits.get()), c.bytes),
                      pixels.left(c.bytes));
        }
    }
}

TEST(Koma2Data, ReadsPalettesAndDrawBackColours) {
    CChunkList palette;
    palette.Data(1000, "pal")
        .Long(1001, 42)
        .Data(1005, Hex("010203 040506 070809"))
        .Data(1006, Hex("FFFF"))
        .Data(1007, Hex("0A0B0C0D0E")) // longer than the table: the rest is skipped
        .Data(1009, Hex("0100 0200 0300 0400 0500 0600"))
        .Data(1010, Hex("00 02"));
    CChunkList back2;
    back2.Byte(1000, 9).Data(1001, Hex("112233")).Byte(1002, 4).Data(1003, Hex("0100 0200 0300"));
    CChunkList body;
    body.Word(3001, 3).Object(3003, palette).Long(3004, 0).Long(3005, 0x1234).Object(3008, back2);
    CKoma2Data drawing;
    WriteFuzzSeed("koma2_fuzzer", "palette.body", body.Bytes());
    ASSERT_TRUE(LoadBytes(drawing, Koma2File(body.Bytes()), nullptr));
    const CKoma2Palette* read = drawing.GetCurrentPalette();
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->m_nCount, 3);
    EXPECT_EQ(read->m_strName, QByteArray("pal"));
    EXPECT_EQ(read->GetID(), 42);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(read->m_pColors.get()), 9),
              Hex("010203 040506 070809"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(read->m_pValues1007.get()), 3),
              Hex("0A0B0C"));
    EXPECT_EQ(read->m_pExtra[0], 1);
    EXPECT_EQ(read->m_pExtra[5], 6);
    EXPECT_EQ(read->m_pExtra[8], 0);
    EXPECT_EQ(read->m_pKinds[1], 2);
    EXPECT_EQ(read->m_pKinds[2], 0);
    EXPECT_EQ(drawing.m_backColor1.m_nIndex, 0x34);
    EXPECT_EQ(drawing.m_backColor2.m_nIndex, 9);
    EXPECT_EQ(drawing.m_backColor2.m_color, (std::array<quint8, 3>{0x11, 0x22, 0x33}));
    EXPECT_EQ(drawing.m_backColor2.m_extra, (std::array<quint16, 3>{1, 2, 3}));
}

// The body of a drawing of `depth` with one page of width × height per entry
// of `layerCounts`, holding that many layers, none of which carries pixels.
CChunkList BlankPages(quint8 depth, quint16 width, quint16 height,
                      std::initializer_list<int> layerCounts) {
    CChunkList body;
    body.Byte(1000, depth);
    for (int layers : layerCounts) {
        CChunkList page;
        page.Word(1005, width).Word(1006, height);
        for (int i = 0; i < layers; ++i)
            page.Object(2003, CChunkList().Byte(1005, 1));
        body.Object(2003, page);
    }
    return body;
}

TEST(Koma2Data, BlankLayersNeedNoPixelChunk) {
    // Three 1000 × 1000 layers in a body of a few dozen bytes: one without a
    // pixel chunk, one whose chunk covers only the first row, one full.
    const QByteArray row = DrawingPixels(1000, 3);
    const QByteArray full = DrawingPixels(1000 * 1000, 4);
    CChunkList page;
    page.Word(1005, 1000).Word(1006, 1000);
    page.Object(2003, CChunkList().Byte(1005, 0));
    page.Object(2003, CChunkList().Data(1006, row));
    page.Object(2003, CChunkList().Data(1006, full));
    CChunkList body;
    body.Byte(1000, 8).Object(2003, page).Long(2004, 0);
    const QByteArray file = Koma2File(body.Bytes());
    WriteFuzzSeed("koma2_fuzzer", "blank_layers.kom", file);
    CKoma2Data drawing;
    QString error;
    ASSERT_TRUE(LoadBytes(drawing, file, &error)) << error.toStdString();
    const CKoma2Page* read = drawing.GetCurrentPage();
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->m_layers.GetCount(), 3);
    const auto pixels = [&](int index) {
        const CKoma2Layer* layer = read->GetLayer(index);
        EXPECT_EQ(layer->GetBitsLength(), 1000 * 1000);
        return QByteArray(reinterpret_cast<const char*>(layer->m_pBits.get()), 1000 * 1000);
    };
    EXPECT_EQ(pixels(0), QByteArray(1000 * 1000, '\0'));
    EXPECT_EQ(read->GetLayer(0)->m_bVisible, 0);
    EXPECT_EQ(pixels(1), row + QByteArray(999 * 1000, '\0'));
    EXPECT_EQ(pixels(2), full);
}

TEST(Koma2Data, HoldsLayersToTheKomLimits) {
    const QString formatError = CFileException::BadFormat({}).GetErrorMessage();
    const auto loads = [](const CChunkList& body) {
        CKoma2Data drawing;
        return LoadBytes(drawing, Koma2File(body.Bytes()), nullptr);
    };
    // One layer beyond 16384 × 16384 pixels is refused, whatever its shape
    // and depth, before anything is allocated.
    EXPECT_EQ(LoadError(Koma2File(BlankPages(8, 16385, 16384, {1}).Bytes())), formatError);
    EXPECT_EQ(LoadError(Koma2File(BlankPages(8, 65535, 65535, {1}).Bytes())), formatError);
    EXPECT_EQ(LoadError(Koma2File(BlankPages(24, 16384, 16385, {1}).Bytes())), formatError);
    // A page of that size without layers allocates nothing and loads.
    EXPECT_TRUE(loads(BlankPages(8, 65535, 65535, {0})));

    // 1 GiB for the layers of all pages together: four layers of
    // 16384 × 16384 fill it exactly, and a page more of one pixel is refused.
    EXPECT_TRUE(loads(BlankPages(8, 16384, 16384, {3, 1})));
    CChunkList over = BlankPages(8, 16384, 16384, {3, 1});
    over.Object(2003, Koma2Page(1, 1, {Koma2Layer("p")}));
    EXPECT_EQ(LoadError(Koma2File(over.Bytes())), formatError);
    // Depth 24 takes three bytes a pixel: two layers of 16384 × 10923 are
    // 32 KiB too many.
    EXPECT_EQ(LoadError(Koma2File(BlankPages(24, 16384, 10923, {2}).Bytes())), formatError);
}

TEST(Koma2Data, RefusesPaletteTablesTheBodyCannotFill) {
    // Palettes of 65535 entries without their colours.
    CChunkList palettes;
    palettes.Word(3001, 65535);
    for (int i = 0; i < 100; ++i)
        palettes.Object(3003, CChunkList());
    EXPECT_EQ(LoadError(Koma2File(palettes.Bytes())),
              CFileException::BadFormat({}).GetErrorMessage());
}

} // namespace
