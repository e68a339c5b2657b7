#include "model/KSData.h"
#include "support/KomFixtures.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

QByteArray SaveToBytes(const CKSData& document) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(document.Save(buffer, nullptr));
    return buffer.data();
}

bool LoadFromBytes(CKSData& document, const QByteArray& bytes, QString* error = nullptr) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QString ignored;
    return document.Load(buffer, error ? error : &ignored);
}

QByteArray LE32(qint32 value) {
    uchar bytes[4];
    qToLittleEndian(value, bytes);
    return QByteArray(reinterpret_cast<char*>(bytes), 4);
}

// A device document whose root chunk holds `children`, for documents this
// system would never write.
QByteArray DeviceDocument(const CChunkList& children) {
    return QByteArray(CKSData::kSignature) + QByteArray(2, '\0') +
           LE32(qint32(children.Bytes().size())) + children.Bytes();
}

CKSData MakeDrawing(qint32 width, qint32 height, int layers) {
    CKSData document;
    document.Create(width, height);
    for (int i = 1; i < layers; ++i)
        document.m_pLayers->AddNewLayer(width, height, document.GetLayerCount());
    for (int i = 0; i < layers; ++i) {
        CKSLayer* layer = document.m_pLayers->GetLayer(i);
        for (qint64 p = 0; p < qint64(width) * height; ++p)
            layer->m_pBits[size_t(p)] = quint8(p * (i + 3) % 251);
    }
    CKSPalette* palette = document.GetCurrentPalette();
    for (int c = 0; c < 256 * 3; ++c)
        palette->m_pColors[size_t(c)] = quint8(c * 7);
    palette->m_pKinds[5] = 1;
    palette->m_pExtra[15] = 0x1234;
    document.m_nTransparentIndex = 3;
    document.m_nBackColorIndex = 9;
    document.m_strText = QStringLiteral(u"メモ");
    return document;
}

} // namespace

TEST(KSDataSave, CreatedDocumentHasTheDocumentedSizeAndHeader) {
    for (auto [w, h] : {std::pair{320, 480}, std::pair{1, 1}, std::pair{16, 3}}) {
        CKSData document;
        ASSERT_TRUE(document.Create(w, h));
        const QByteArray bytes = SaveToBytes(document);
        EXPECT_EQ(bytes.size(), 2780 + w * h);
        if (w == 320) {
            EXPECT_EQ(bytes.left(21),
                      QByteArray("KomaSlateData00") + Hex("0000") + LE32(2759 + 320 * 480));
        }
    }
}

TEST(KSDataSave, SavingToBytesGivesTheStreamBytes) {
    CKSData document = MakeDrawing(33, 7, 4);
    document.m_pLayers->GetLayer(2)->SetName(QStringLiteral(u"長い名前のレイヤ"));
    QByteArray bytes("stale");
    ASSERT_TRUE(document.SaveToBytes(bytes, nullptr));
    EXPECT_EQ(bytes, SaveToBytes(document));
}

TEST(KSDataSave, CreateGivesOneNamedLayerAndPalette) {
    CKSData document;
    document.Create(4, 2);
    ASSERT_EQ(document.GetLayerCount(), 1);
    const CKSLayer* layer = document.m_pLayers->GetLayer(0);
    EXPECT_EQ(layer->m_strName, "Layer01");
    EXPECT_EQ(layer->m_nID, 1);
    EXPECT_EQ(document.m_pLayers->m_nSerial, 1);
    ASSERT_EQ(document.m_pPalettes->GetCount(), 1);
    const CKSPalette* palette = document.m_pPalettes->GetPalette(0);
    EXPECT_EQ(palette->m_strName, "Pal01");
    EXPECT_EQ(palette->m_nCount, 256);
    EXPECT_EQ(palette->GetRgb256(), (std::array<quint8, 768>{}));
}

TEST(KSDataSave, ResavingALoadedDocumentIsByteIdentical) {
    const CKSData original = MakeDrawing(37, 11, 3);
    const QByteArray first = SaveToBytes(original);
    CKSData loaded;
    ASSERT_TRUE(LoadFromBytes(loaded, first));
    EXPECT_EQ(SaveToBytes(loaded), first);
    EXPECT_EQ(loaded.m_strText, QStringLiteral(u"メモ"));
    EXPECT_EQ(loaded.GetCurrentPalette()->m_pExtra[15], 0x1234);
    WriteFuzzSeed("ksdata_fuzzer", "three-layers.ksd", first);
    WriteFuzzSeed("ksdata_fuzzer", "small.ksd", SaveToBytes(MakeDrawing(2, 2, 1)));
}

TEST(KSDataSave, PaletteChunksAndJapaneseTextAreSizedInBytes) {
    CKSData document;
    document.Create(1, 1);
    document.GetCurrentPalette()->SetName(QStringLiteral(u"色"));
    document.m_strText = QStringLiteral(u"日本語");
    const QByteArray bytes = SaveToBytes(document);
    // The palette element: 1001..1005 with payloads 4, 768, 1536, 256 and 3.
    const QByteArray palette = Hex("E903 04000000 00010000") + Hex("EA03 00030000");
    EXPECT_GE(bytes.indexOf(palette), 0);
    EXPECT_GE(bytes.indexOf(Hex("EB03 00060000")), 0);
    EXPECT_GE(bytes.indexOf(Hex("EC03 00010000")), 0);
    EXPECT_GE(bytes.indexOf(Hex("ED03 03000000") + QStringLiteral(u"色").toUtf8()), 0);
    EXPECT_TRUE(bytes.endsWith(Hex("F003 09000000") + QStringLiteral(u"日本語").toUtf8()));
}

TEST(KSDataLoad, ReadOnlyChunksAreKeptButNeverWritten) {
    CKSData source;
    source.Create(2, 1);
    const QByteArray saved = SaveToBytes(source);
    // Append 1005, 1009, 1010 and 1011 to the root chunk.
    const QByteArray extra = CChunkList()
                                 .Byte(1005, 4)
                                 .Data(1009, Hex("0102030405060708"))
                                 .Long(1010, -5)
                                 .Byte(1011, 1)
                                 .Bytes();
    QByteArray bytes = saved + extra;
    qToLittleEndian<quint32>(quint32(bytes.size() - 21), bytes.data() + 17);

    CKSData loaded;
    ASSERT_TRUE(LoadFromBytes(loaded, bytes));
    EXPECT_EQ(loaded.m_nLayerDisplayMode, 4);
    EXPECT_EQ(loaded.m_nValue64, (std::array<quint8, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(loaded.m_nValue32, -5);
    EXPECT_EQ(loaded.m_bFlag1011, 1);
    EXPECT_EQ(SaveToBytes(loaded), saved);
}

TEST(KSDataLoad, ElementsKeepStreamOrderWhateverTheirIds) {
    CChunkList layers;
    layers.Long(1001, 2).Long(1002, 9);
    for (int id : {30, 10, 20})
        layers.Object(1003, CChunkList().Long(1006, id));
    CKSData document;
    ASSERT_TRUE(LoadFromBytes(document, DeviceDocument(CChunkList().Object(1003, layers))));
    ASSERT_EQ(document.GetLayerCount(), 3);
    EXPECT_EQ(document.m_pLayers->GetLayer(0)->m_nID, 30);
    EXPECT_EQ(document.m_pLayers->GetLayer(2)->m_nID, 20);
    EXPECT_EQ(document.m_pLayers->m_nCurrent, 2);
    EXPECT_EQ(document.m_pPalettes, nullptr);
}

TEST(KSDataLoad, PixelsBeforeDimensionsAreSkipped) {
    const CChunkList early =
        CChunkList().Data(1003, "abcd").Long(1001, 2).Long(1002, 2).Long(1006, 4);
    const CChunkList late = CChunkList().Long(1001, 2).Long(1002, 2).Data(1003, "wxyz");
    CKSData document;
    ASSERT_TRUE(
        LoadFromBytes(document, DeviceDocument(CChunkList().Object(
                                    1003, CChunkList().Object(1003, early).Object(1003, late)))));
    ASSERT_EQ(document.GetLayerCount(), 2);
    EXPECT_EQ(document.m_pLayers->GetLayer(0)->m_pBits, nullptr);
    EXPECT_EQ(document.m_pLayers->GetLayer(0)->m_nID, 4);
    EXPECT_EQ(
        QByteArray(reinterpret_cast<char*>(document.m_pLayers->GetLayer(1)->m_pBits.get()), 4),
        "wxyz");
}

TEST(KSDataLoad, PaletteTablesBeforeTheCountAreSkipped) {
    const CChunkList palette =
        CChunkList()
            .Data(1002, QByteArray(6, 'x'))
            .Long(1001, 2)
            .Data(1002, "ABCDEF")
            .Data(1003, Hex("0100020003000400050006000700")) // 2 bytes too many
            .Data(1004, Hex("01"));                          // 1 byte too few
    CKSData document;
    ASSERT_TRUE(LoadFromBytes(
        document, DeviceDocument(CChunkList().Object(1004, CChunkList().Object(1003, palette)))));
    const CKSPalette* loaded = document.m_pPalettes->GetPalette(0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(loaded->m_pColors.get()), 6), "ABCDEF");
    EXPECT_EQ(loaded->m_pExtra[0], 1);
    EXPECT_EQ(loaded->m_pExtra[5], 6);
    EXPECT_EQ(loaded->m_pKinds[0], 1);
    EXPECT_EQ(loaded->m_pKinds[1], 0);
}

TEST(KSDataLoad, NamesAndTextThatAreNotUtf8StillLoad) {
    // A layer name and a text with bytes that are no UTF-8: the document
    // opens, each bad byte reads as U+FFFD and the rest stays as stored.
    const CChunkList layer = CChunkList()
                                 .Long(1001, 2)
                                 .Long(1002, 1)
                                 .Data(1003, "pq")
                                 .Data(1004, Hex("61 FF 62"))
                                 .Long(1006, 5);
    CKSData document;
    QString error;
    ASSERT_TRUE(
        LoadFromBytes(document,
                      DeviceDocument(CChunkList()
                                         .Object(1003, CChunkList().Object(1003, layer))
                                         .Data(1008, Hex("FE E383A1 E383A2"))), // FE, "メモ"
                      &error))
        << error.toStdString();
    ASSERT_EQ(document.GetLayerCount(), 1);
    const CKSLayer* loaded = document.m_pLayers->GetLayer(0);
    EXPECT_EQ(loaded->m_strName, QStringLiteral(u"a\uFFFDb"));
    EXPECT_EQ(loaded->m_nID, 5);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(loaded->m_pBits.get()), 2), "pq");
    EXPECT_EQ(document.m_strText, QStringLiteral(u"\uFFFDメモ"));
}

TEST(KSDataLoad, PaletteTablesThatAreMissingOrShortReadAsZero) {
    const QByteArray colours = DrawingPixels(256 * 3, 7);
    struct Case {
        const char* what;
        CChunkList palette;
        bool hasColours;
        qint64 extraBytes; // how much of each table the stream holds
        qint64 kindBytes;
    };
    const Case cases[] = {
        {"colours only", CChunkList().Long(1001, 256).Data(1002, colours), true, 0, 0},
        {"short extra, no kinds",
         CChunkList().Long(1001, 256).Data(1002, colours).Data(1003, Hex("0100 0200 0300 0400")),
         true, 8, 0},
        {"no extra, short kinds",
         CChunkList().Long(1001, 256).Data(1002, colours).Data(1004, Hex("01 01 00 01")), true, 0,
         4},
        {"count alone", CChunkList().Long(1001, 256), false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The palette element ends the stream, so nothing follows its tables.
        const QByteArray bytes =
            DeviceDocument(CChunkList().Object(1004, CChunkList().Object(1003, c.palette)));
        CKSData document;
        QString error;
        ASSERT_TRUE(LoadFromBytes(document, bytes, &error)) << error.toStdString();
        WriteFuzzSeed("ksdata_fuzzer", QStringLiteral("short-palette-%1").arg(qHash(bytes)), bytes);
        ASSERT_EQ(document.m_pPalettes->GetCount(), 1);
        const CKSPalette& palette = *document.m_pPalettes->GetPalette(0);
        ASSERT_EQ(palette.m_nCount, 256);
        EXPECT_EQ(QByteArray(reinterpret_cast<char*>(palette.m_pColors.get()), 768),
                  c.hasColours ? colours : QByteArray(768, '\0'));
        for (qint64 i = 0; i < 256 * 3; ++i)
            ASSERT_EQ(palette.m_pExtra[i], i < c.extraBytes / 2 ? i + 1 : 0) << i;
        for (qint64 i = 0; i < 256; ++i)
            ASSERT_EQ(palette.m_pKinds[i], i < c.kindBytes && i != 2 ? 1 : 0) << i;
        // Saved again, the palette has all three tables at full size.
        const QByteArray resaved = SaveToBytes(document);
        EXPECT_GE(resaved.indexOf(Hex("EB03 00060000")), 0);
        EXPECT_GE(resaved.indexOf(Hex("EC03 00010000")), 0);
    }
}

TEST(KSDataLoad, HostileSizesFailWithTextBeforeAllocating) {
    const auto layerWith = [](qint32 w, qint32 h) {
        const CChunkList layer = CChunkList().Long(1001, w).Long(1002, h).Data(1003, "xy");
        return DeviceDocument(CChunkList().Object(1003, CChunkList().Object(1003, layer)));
    };
    const auto paletteWith = [](qint32 count) {
        const CChunkList palette = CChunkList().Long(1001, count);
        return DeviceDocument(CChunkList().Object(1004, CChunkList().Object(1003, palette)));
    };
    const QByteArray cases[] = {
        layerWith(0x7FFFFFFF, 0x7FFFFFFF), // w × h overflows 32 bits
        layerWith(100000, 100000),         // 10 GB claimed by a tiny stream
        paletteWith(-1),                   // negative count
        paletteWith(257),                  // one entry more than a pixel can address
        paletteWith(0x7FFFFFFF),           // 20 GB of tables claimed by a tiny stream
        // a text chunk claiming 4 GB
        DeviceDocument(CChunkList().Data(1008, QByteArray(3, 'x')))
            .replace(Hex("F003 03000000"), Hex("F003 FFFFFFFF")),
    };
    for (const QByteArray& bytes : cases) {
        CKSData document;
        QString error;
        EXPECT_FALSE(LoadFromBytes(document, bytes, &error));
        EXPECT_FALSE(error.isEmpty());
        WriteFuzzSeed("ksdata_fuzzer", QStringLiteral("hostile-%1").arg(qHash(bytes)), bytes);
    }
}

TEST(KSDataLayers, AddNewLayerTakesTheSmallestFreeId) {
    const auto idAfter = [](std::initializer_list<qint32> ids) {
        CKSLayerArray layers;
        for (qint32 id : ids)
            layers.AddNewLayer(1, 1, layers.GetCount())->m_nID = id;
        return layers.AddNewLayer(1, 1, layers.GetCount())->m_nID;
    };
    EXPECT_EQ(idAfter({1, 2, 4}), 3);
    EXPECT_EQ(idAfter({2, 3}), 1);
    EXPECT_EQ(idAfter({}), 1);
}

TEST(KSDataLayers, NamesContinueFromALoadedSerial) {
    CKSLayerArray layers;
    layers.m_nSerial = 7;
    EXPECT_EQ(layers.AddNewLayer(1, 1, 0)->m_strName, "Layer08");
    layers.m_nSerial = 99;
    EXPECT_EQ(layers.AddNewLayer(1, 1, 0)->m_strName, "Layer100");
}

TEST(KSDataLayers, AddNewLayerInsertsAtTheIndex) {
    CKSLayerArray layers;
    CKSLayer* first = layers.AddNewLayer(1, 1, 0);
    CKSLayer* top = layers.AddNewLayer(1, 1, 0);
    CKSLayer* last = layers.AddNewLayer(1, 1, 2);
    EXPECT_EQ(layers.GetLayer(0), top);
    EXPECT_EQ(layers.GetLayer(1), first);
    EXPECT_EQ(layers.GetLayer(2), last);
}

TEST(KSDataLayers, ShownLayersForEveryMode) {
    CKSLayerArray layers;
    for (int i = 0; i < 4; ++i)
        layers.AddNewLayer(1, 1, i);
    layers.GetLayer(1)->m_bVisible = 0;
    const auto shown = [&](int mode, qint32 current) {
        layers.m_nCurrent = current;
        std::vector<int> out{99};
        layers.GetShownLayers(mode, out);
        return out;
    };
    using V = std::vector<int>;
    EXPECT_EQ(shown(0, 2), (V{0, 2, 3}));
    EXPECT_EQ(shown(1, 2), (V{2}));
    EXPECT_EQ(shown(2, 2), (V{1, 2}));
    EXPECT_EQ(shown(2, 0), (V{0}));
    EXPECT_EQ(shown(3, 1), (V{1, 2}));
    EXPECT_EQ(shown(3, 3), (V{3}));
    EXPECT_EQ(shown(4, 2), (V{0, 1, 2}));
    EXPECT_EQ(shown(5, 2), (V{2, 3}));
    EXPECT_EQ(shown(6, 2), (V{}));
    // A current index from a damaged document never yields a missing layer.
    EXPECT_EQ(shown(1, 7), (V{}));
    EXPECT_EQ(shown(2, 4), (V{3}));
    EXPECT_EQ(shown(4, 9), (V{0, 1, 2, 3}));
    EXPECT_EQ(shown(5, -3), (V{0, 1, 2, 3}));
}

TEST(KSDataPalettes, CopyFromNeedsEqualCounts) {
    CKSPalette source, same, other;
    source.Allocate(256);
    source.m_pColors[0] = 200;
    source.SetName("src");
    same.Allocate(256);
    other.Allocate(16);
    same.CopyFrom(source);
    other.CopyFrom(source);
    EXPECT_EQ(same.m_pColors[0], 200);
    EXPECT_EQ(same.m_strName, "src");
    EXPECT_EQ(other.m_pColors[0], 0);
    EXPECT_TRUE(other.m_strName.isEmpty());
}

TEST(KSDataPalettes, Rgb256TakesAtMost256ColoursAndBlackBeyond) {
    CKSPalette small, large;
    small.Allocate(2);
    std::fill_n(small.m_pColors.get(), 6, quint8(9));
    large.Allocate(300);
    std::fill_n(large.m_pColors.get(), 900, quint8(5));
    const auto smallRgb = small.GetRgb256();
    EXPECT_EQ(smallRgb[5], 9);
    EXPECT_EQ(smallRgb[6], 0);
    EXPECT_EQ(large.GetRgb256()[767], 5);
}

TEST(KSDataConsistency, DetectsDocumentsThatCannotBeReadAsPictures) {
    CKSData document = MakeDrawing(4, 4, 2);
    EXPECT_TRUE(document.IsConsistent());
    document.m_pLayers->GetLayer(1)->m_nWidth = 5;
    EXPECT_FALSE(document.IsConsistent());
    document = MakeDrawing(4, 4, 2);
    document.m_pLayers->GetLayer(0)->FreeBits();
    EXPECT_FALSE(document.IsConsistent());
    document = MakeDrawing(4, 4, 2);
    document.m_pPalettes->m_nCurrent = 1;
    EXPECT_FALSE(document.IsConsistent());
    document = MakeDrawing(4, 4, 2);
    document.m_pLayers->m_nCurrent = -1;
    EXPECT_FALSE(document.IsConsistent());
}
