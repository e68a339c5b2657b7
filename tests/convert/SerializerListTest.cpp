#include "PngFixtures.h"
#include "support/TestSupport.h"

#include "base/FileException.h"
#include "base/StringTable.h"
#include "convert/KomSerializer.h"
#include "convert/PngSerializer.h"
#include "convert/SerializerList.h"
#include "model/KSData.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <new>

namespace {

// A file type for the registry's own tests: it records what it is handed
// and answers as told.
class CProbeSerializer : public CSerializer {
public:
    CProbeSerializer(QString description, QString extension, int capabilities)
        : m_strDescription(std::move(description)), m_strExtension(std::move(extension)),
          m_nCapabilities(capabilities) {}

    QString GetDescription() const override { return m_strDescription; }
    QString GetExtension() const override { return m_strExtension; }
    int GetCapabilities() const override { return m_nCapabilities; }

    bool Export(const CKSData& document, const QString&) override {
        ++m_nCalls;
        m_pReceived = &document;
        m_nReceivedDisplayMode = document.m_nLayerDisplayMode;
        m_received = std::make_unique<CKSData>();
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        StandardDocument::Save(document, buffer, nullptr);
        buffer.seek(0);
        m_received->Load(buffer, nullptr);
        return m_answer(*this);
    }
    bool Import(CKSData& document, const QString&) override {
        ++m_nCalls;
        m_fill(document);
        return m_answer(*this);
    }

    std::function<bool(CSerializer&)> m_answer = [](CSerializer&) { return true; };
    std::function<void(CKSData&)> m_fill = [](CKSData& document) { document.Create(2, 2); };
    int m_nCalls = 0;
    const CKSData* m_pReceived = nullptr;
    int m_nReceivedDisplayMode = -1;
    std::unique_ptr<CKSData> m_received;

private:
    QString m_strDescription;
    QString m_strExtension;
    int m_nCapabilities;
};

// The PNG serializer and a layered probe in the place of the native format.
struct Registry {
    Registry() {
        list.AddTail(std::make_unique<CPngSerializer>());
        layered = static_cast<CProbeSerializer*>(list.AddTail(std::make_unique<CProbeSerializer>(
            LoadStringResource(IDS_KOM_DESCRIPTION), QStringLiteral(".kom"), 7)));
    }
    CSerializerList list;
    CProbeSerializer* layered;
};

std::vector<quint8> LayerPixels(const CKSData& document, int layer = 0) {
    const quint8* bits = document.m_pLayers->GetLayer(layer)->m_pBits.get();
    return std::vector<quint8>(bits, bits + document.m_nWidth * document.m_nHeight);
}

QByteArray Colors(const CKSPalette& palette) {
    return QByteArray(reinterpret_cast<const char*>(palette.m_pColors.get()), palette.m_nCount * 3);
}

} // namespace

TEST(SerializerList, FilterStringsListTheMatchingTypesInRegistryOrder) {
    Registry registry;
    EXPECT_EQ(
        registry.list.BuildFilter(true, CSerializer::CAP_IMPORT),
        QStringLiteral(u"対応したすべての形式|*.png;*.kom|PNG - Portable Network Graphics|*.png|"
                       u"KOM - Koma Pixel Editor|*.kom||"));
    EXPECT_EQ(
        registry.list.BuildFilter(false, CSerializer::CAP_EXPORT),
        QStringLiteral(u"PNG - Portable Network Graphics|*.png|KOM - Koma Pixel Editor|*.kom||"));
    EXPECT_EQ(registry.list.BuildFilter(true, CSerializer::CAP_LAYERS),
              QStringLiteral(u"対応したすべての形式|*.kom|KOM - Koma Pixel Editor|*.kom||"));
}

TEST(SerializerList, NameFiltersForQtDialogsKeepTheDescriptionFirst) {
    Registry registry;
    // The export dialog reads the type letters from the first three
    // characters of each filter.
    EXPECT_EQ(NameFiltersOf(registry.list.BuildFilter(true, CSerializer::CAP_IMPORT)),
              QStringList({QStringLiteral(u"対応したすべての形式 (*.png *.kom)"),
                           QStringLiteral("PNG - Portable Network Graphics (*.png)"),
                           QStringLiteral("KOM - Koma Pixel Editor (*.kom)")}));
    EXPECT_EQ(NameFiltersOf(QStringLiteral("||")), QStringList());
    EXPECT_EQ(NameFiltersOf(QString()), QStringList());
}

TEST(SerializerList, FindByPathMatchesTheFileNameExtensionIgnoringCase) {
    Registry registry;
    CSerializer* png = registry.list.begin()->get();
    for (const int mask : {int(CSerializer::CAP_IMPORT), int(CSerializer::CAP_EXPORT)}) {
        EXPECT_EQ(registry.list.FindByPath(QStringLiteral("/a/Picture.PNG"), mask), png);
        EXPECT_EQ(registry.list.FindByPath(QStringLiteral("picture.png"), mask), png);
        EXPECT_EQ(registry.list.FindByPath(QStringLiteral("C:\\pics\\x.Kom"), mask),
                  registry.layered);
        EXPECT_EQ(registry.list.FindByPath(QStringLiteral("/a/b.bmp"), mask), nullptr);
        EXPECT_EQ(registry.list.FindByPath(QStringLiteral("/a/noextension"), mask), nullptr);
        EXPECT_EQ(registry.list.FindByPath(QStringLiteral("/a.png/noextension"), mask), nullptr);
        EXPECT_EQ(registry.list.FindByPath(QStringLiteral("/a/trailing."), mask), nullptr);
    }
    EXPECT_EQ(registry.list.FindByPath(QStringLiteral("p.png"), CSerializer::CAP_LAYERS), nullptr);

    // A type without an extension never matches a name without one.
    registry.list.AddTail(std::make_unique<CProbeSerializer>(QString(), QString(), 3));
    EXPECT_EQ(registry.list.FindByPath(QStringLiteral("/a/noextension"), CSerializer::CAP_IMPORT),
              nullptr);
}

TEST(SerializerList, UnknownTypeIsReportedAndNothingIsWrittenOrRead) {
    Registry registry;
    QTemporaryDir dir;
    CKSData document;
    MakeDocument(document, 2, 2, 1, [](int, int, int) { return quint8(1); });
    const QString format = LoadStringResource(IDS_FORMAT_NOT_SUPPORTED);
    for (const QString& name : {QStringLiteral("a.bmp"), QStringLiteral("noextension")}) {
        CCapturingSink sink;
        EXPECT_FALSE(ExportDocument(registry.list, document, dir.filePath(name), false));
        CKSData imported;
        EXPECT_FALSE(ImportDocument(registry.list, imported, dir.filePath(name)));
        EXPECT_EQ(sink.Messages(), (QStringList{format, format}));
        EXPECT_FALSE(QFile::exists(dir.filePath(name)));
    }
    EXPECT_EQ(registry.layered->m_nCalls, 0);
}

TEST(SerializerList, TilingLaysTheLayersSideBySideLayerZeroLeftmost) {
    CKSData document;
    MakeDocument(document, 10, 8, 3,
                 [](int layer, int x, int y) { return quint8(layer * 50 + y * 10 + x); });
    document.m_nLayerDisplayMode = 1;
    document.m_nBackColorIndex = 3;
    document.m_nTransparentIndex = 4;

    Registry registry;
    CCapturingSink sink;
    QTemporaryDir dir;
    for (const QString& name : {QStringLiteral("tiled.png"), QStringLiteral("tiled.kom")}) {
        ASSERT_TRUE(ExportDocument(registry.list, document, dir.filePath(name), true));
    }
    EXPECT_TRUE(sink.Messages().isEmpty());

    CKSData fromPng;
    CPngSerializer png;
    ASSERT_TRUE(png.Import(fromPng, dir.filePath(QStringLiteral("tiled.png"))));
    const CKSData& fromProbe = *registry.layered->m_received;
    for (const CKSData* tiled : {static_cast<const CKSData*>(&fromPng), &fromProbe}) {
        ASSERT_EQ(tiled->m_nWidth, 30);
        ASSERT_EQ(tiled->m_nHeight, 8);
        ASSERT_EQ(tiled->GetLayerCount(), 1);
        const std::vector<quint8> pixels = LayerPixels(*tiled);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 30; ++x)
                ASSERT_EQ(pixels[y * 30 + x], (x / 10) * 50 + y * 10 + x % 10) << x << "," << y;
        }
        EXPECT_EQ(Colors(*tiled->GetCurrentPalette()), Colors(*document.GetCurrentPalette()));
    }
    EXPECT_EQ(registry.layered->m_nReceivedDisplayMode, 1);
    EXPECT_EQ(fromProbe.m_nBackColorIndex, 3);
    EXPECT_EQ(fromProbe.m_nTransparentIndex, 4);
    EXPECT_EQ(fromProbe.GetCurrentPalette()->m_strName, document.GetCurrentPalette()->m_strName);
}

TEST(SerializerList, OneLayerDocumentsAndLayeredTypesReceiveTheDocumentItself) {
    Registry registry;
    CCapturingSink sink;
    CKSData single;
    MakeDocument(single, 5, 4, 1, [](int, int x, int) { return quint8(x); });
    ASSERT_TRUE(ExportDocument(registry.list, single, QStringLiteral("/unused/one.kom"), true));
    EXPECT_EQ(registry.layered->m_pReceived, &single);

    CKSData layered;
    MakeDocument(layered, 5, 4, 3, [](int layer, int x, int) { return quint8(layer + x); });
    layered.m_nLayerDisplayMode = 1;
    ASSERT_TRUE(ExportDocument(registry.list, layered, QStringLiteral("/unused/three.kom"), false));
    EXPECT_EQ(registry.layered->m_pReceived, &layered);

    // A one-layer document goes to PNG unchanged whatever the tiling choice.
    QTemporaryDir dir;
    CPngSerializer png;
    for (const bool tile : {false, true}) {
        const QString path = dir.filePath(QStringLiteral("one%1.png").arg(tile));
        ASSERT_TRUE(ExportDocument(registry.list, single, path, tile));
        CKSData back;
        ASSERT_TRUE(png.Import(back, path));
        EXPECT_EQ(back.m_nWidth, 5);
        EXPECT_EQ(LayerPixels(back), LayerPixels(single));
    }
    EXPECT_TRUE(sink.Messages().isEmpty());
}

namespace {

// The flattened picture the other way round: each pixel takes the value of
// the first shown layer, in list order, that is not transparent there.
std::vector<quint8> FirstOpaqueOnTop(const CKSData& document, const std::vector<int>& shown) {
    const int area = document.m_nWidth * document.m_nHeight;
    std::vector<quint8> expected(size_t(area), document.m_nTransparentIndex);
    for (int i = 0; i < area; ++i) {
        for (const int layer : shown) {
            const quint8 value = document.m_pLayers->GetLayer(layer)->m_pBits[i];
            if (value != document.m_nTransparentIndex) {
                expected[size_t(i)] = value;
                break;
            }
        }
    }
    return expected;
}

} // namespace

TEST(SerializerList, FlatteningStacksTheShownLayersFirstOnTop) {
    // Layer i is opaque (value 10 × (i + 1) + x) where x % (i + 2) == 0 and
    // transparent elsewhere, so every pixel shows which layers cover it.
    const quint8 transparent = 7;
    CKSData document;
    MakeDocument(document, 12, 3, 4, [&](int layer, int x, int) {
        return x % (layer + 2) == 0 ? quint8(10 * (layer + 1) + x) : transparent;
    });
    document.m_nTransparentIndex = transparent;
    document.m_nBackColorIndex = 2;
    document.m_pLayers->GetLayer(1)->m_bVisible = 0;

    struct Case {
        int mode;
        int current;
        std::vector<int> shown;
    };
    const Case cases[] = {
        {0, 0, {0, 2, 3}}, {1, 2, {2}},       {2, 2, {1, 2}},    {2, 0, {0}}, {3, 1, {1, 2}},
        {3, 3, {3}},       {4, 2, {0, 1, 2}}, {5, 1, {1, 2, 3}}, {9, 0, {}},
    };
    Registry registry;
    CCapturingSink sink;
    QTemporaryDir dir;
    CPngSerializer png;
    for (const Case& c : cases) {
        document.m_nLayerDisplayMode = quint8(c.mode);
        document.m_pLayers->m_nCurrent = c.current;
        const QString path =
            dir.filePath(QStringLiteral("flat-%1-%2.png").arg(c.mode).arg(c.current));
        ASSERT_TRUE(ExportDocument(registry.list, document, path, false));
        CKSData flat;
        ASSERT_TRUE(png.Import(flat, path));
        ASSERT_EQ(flat.GetLayerCount(), 1);
        EXPECT_EQ(LayerPixels(flat), FirstOpaqueOnTop(document, c.shown))
            << "mode " << c.mode << " current " << c.current;
        EXPECT_EQ(Colors(*flat.GetCurrentPalette()), Colors(*document.GetCurrentPalette()));
    }
    EXPECT_TRUE(sink.Messages().isEmpty());
}

TEST(SerializerList, PalettesOfAnyCountGiveTheirFirst256ColoursAndBlackBeyond) {
    Registry registry;
    CCapturingSink sink;
    QTemporaryDir dir;
    // One layer goes to the PNG serializer as it is; two are tiled or
    // flattened first.
    for (const int count : {0, 3, 256, 300}) {
        for (const auto& [layers, tile] : {std::pair{1, false}, {2, false}, {2, true}}) {
            CKSData document;
            MakeDocument(
                document, 4, 2, layers, [](int layer, int x, int) { return quint8(layer + x); },
                count);
            const QString path =
                dir.filePath(QStringLiteral("p%1-%2-%3.png").arg(count).arg(layers).arg(tile));
            ASSERT_TRUE(ExportDocument(registry.list, document, path, tile));
            CKSData back;
            CPngSerializer png;
            ASSERT_TRUE(png.Import(back, path));
            const QByteArray colors = Colors(*back.GetCurrentPalette());
            for (int k = 0; k < 256; ++k) {
                const png_color expected = k < count ? TestColor(k) : png_color{0, 0, 0};
                ASSERT_EQ(colors.mid(k * 3, 3),
                          QByteArray(reinterpret_cast<const char*>(&expected), 3))
                    << count << " " << layers << " " << tile << " " << k;
            }
        }
    }
    EXPECT_TRUE(sink.Messages().isEmpty());
}

TEST(SerializerList, InconsistentDocumentsFailWithTheExportMessageBeforeAnyPixelIsRead) {
    const auto make = [](CKSData& document) {
        MakeDocument(document, 6, 5, 3, [](int layer, int x, int) { return quint8(layer + x); });
    };
    const std::function<void(CKSData&)> breakers[] = {
        [](CKSData& d) { d.m_pLayers->GetLayer(2)->m_nWidth = 7; },
        [](CKSData& d) { d.m_nHeight = 6; },
        [](CKSData& d) { d.m_pLayers->GetLayer(1)->FreeBits(); },
        [](CKSData& d) { d.m_pLayers->GetLayer(0)->AllocateBits(29); },
        [](CKSData& d) { d.m_pLayers->m_nCurrent = 3; },
        [](CKSData& d) { d.m_pLayers->m_nCurrent = -1; },
        [](CKSData& d) { d.m_pPalettes->m_nCurrent = 1; },
        [](CKSData& d) { d.m_pPalettes.reset(); },
        [](CKSData& d) { d.m_pLayers = std::make_unique<CKSLayerArray>(); },
    };
    Registry registry;
    QTemporaryDir dir;
    const QString exportFailed = LoadStringResource(IDS_EXPORT_FAILED);
    int index = 0;
    for (const auto& breakDocument : breakers) {
        CKSData document;
        make(document);
        breakDocument(document);
        for (const bool tile : {false, true}) {
            for (const QString& name : {QStringLiteral("bad.png"), QStringLiteral("bad.kom")}) {
                CCapturingSink sink;
                EXPECT_FALSE(ExportDocument(registry.list, document, dir.filePath(name), tile));
                EXPECT_EQ(sink.Messages(), QStringList{exportFailed}) << "case " << index;
                EXPECT_FALSE(QFile::exists(dir.filePath(name)));
            }
        }
        ++index;
    }
    EXPECT_EQ(registry.layered->m_nCalls, 0);
}

TEST(SerializerList, FailuresAreShownByTheSerializersTextOrTheFallbackMessage) {
    Registry registry;
    CProbeSerializer& probe = *registry.layered;
    CKSData document;
    MakeDocument(document, 2, 2, 1, [](int, int, int) { return quint8(0); });
    const QString path = QStringLiteral("/unused/x.kom");
    const QString exportFailed = LoadStringResource(IDS_EXPORT_FAILED);
    const QString importFailed = LoadStringResource(IDS_IMPORT_FAILED);

    struct Case {
        std::function<bool(CSerializer&)> answer;
        QString exportMessage;
        QString importMessage;
    };
    const QString own = QStringLiteral("own text");
    const QString fileText = CFileException::BadFormat(QStringLiteral("x.kom")).GetErrorMessage();
    const Case cases[] = {
        {[&](CSerializer& s) {
             s.m_strLastError = own;
             return false;
         },
         own, own},
        // A text left by an earlier failure is not shown again.
        {[](CSerializer&) { return false; }, exportFailed, importFailed},
        {[](CSerializer&) -> bool { throw CFileException::BadFormat(QStringLiteral("x.kom")); },
         fileText, fileText},
        {[](CSerializer&) -> bool { throw std::bad_alloc(); }, CMemoryException().GetErrorMessage(),
         CMemoryException().GetErrorMessage()},
    };
    for (const Case& c : cases) {
        probe.m_answer = c.answer;
        CCapturingSink sink;
        EXPECT_FALSE(ExportDocument(registry.list, document, path, false));
        CKSData imported;
        EXPECT_FALSE(ImportDocument(registry.list, imported, path));
        EXPECT_EQ(sink.Messages(), (QStringList{c.exportMessage, c.importMessage}));
    }

    // An importer that claims success with a document that cannot be read as
    // a picture fails with the import message.
    probe.m_answer = [](CSerializer&) { return true; };
    probe.m_fill = [](CKSData& d) {
        d.Create(4, 4);
        d.GetCurrentLayer()->FreeBits();
    };
    CCapturingSink sink;
    CKSData imported;
    EXPECT_FALSE(ImportDocument(registry.list, imported, path));
    EXPECT_EQ(sink.Messages(), QStringList{importFailed});
}

TEST(SerializerList, PngFailuresReachTheUserWithThePngTexts) {
    Registry registry;
    QTemporaryDir dir;
    const QString corrupt = dir.filePath(QStringLiteral("corrupt.PNG"));
    ASSERT_TRUE(
        WriteFileBytes(corrupt, ReadFileBytes(PngSuitePath(QStringLiteral("xcsn0g01.png")))));
    const QString truecolour = PngSuitePath(QStringLiteral("basn2c08.png"));

    CCapturingSink sink;
    CKSData first;
    EXPECT_FALSE(ImportDocument(registry.list, first, corrupt));
    CKSData second;
    EXPECT_FALSE(ImportDocument(registry.list, second, truecolour));
    CKSData third;
    EXPECT_TRUE(ImportDocument(registry.list, third, PngSuitePath(QStringLiteral("basn3p02.png"))));
    ASSERT_EQ(sink.Messages().size(), 2);
    EXPECT_TRUE(sink.Messages()[0].startsWith(u"PNG画像を読み込めませんでした。"));
    EXPECT_EQ(sink.Messages()[1], LoadStringResource(IDS_TOO_MANY_COLORS));
    EXPECT_EQ(third.m_nWidth, 32);
}

TEST(SerializerList, StandardRegistryHoldsPngThenKom) {
    CSerializerList list;
    list.AddStandardSerializers();
    ASSERT_EQ(list.GetCount(), 2);
    const CSerializer* png = list.begin()->get();
    const CSerializer* kom = std::next(list.begin())->get();
    EXPECT_NE(dynamic_cast<const CPngSerializer*>(png), nullptr);
    EXPECT_NE(dynamic_cast<const CKomSerializer*>(kom), nullptr);
    EXPECT_EQ(png->GetDescription(), QStringLiteral("PNG - Portable Network Graphics"));
    EXPECT_EQ(kom->GetDescription(), QStringLiteral("KOM - Koma Pixel Editor"));
    EXPECT_EQ(png->GetExtension(), ".png");
    EXPECT_EQ(png->GetCapabilities(),
              CSerializer::CAP_IMPORT | CSerializer::CAP_EXPORT | CSerializer::CAP_TILES);
    EXPECT_EQ(kom->GetExtension(), ".kom");
    EXPECT_EQ(kom->GetCapabilities(),
              CSerializer::CAP_IMPORT | CSerializer::CAP_EXPORT | CSerializer::CAP_LAYERS);
    EXPECT_EQ(
        list.BuildFilter(true, CSerializer::CAP_IMPORT),
        QStringLiteral(u"対応したすべての形式|*.png;*.kom|PNG - Portable Network Graphics|*.png|"
                       u"KOM - Koma Pixel Editor|*.kom||"));
    EXPECT_EQ(list.FindByPath(QStringLiteral("x.Kom"), CSerializer::CAP_EXPORT), kom);
}
