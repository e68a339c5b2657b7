#include "convert/KomaFile.h"
#include "support/KomFixtures.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

const quint8* Bytes(const QByteArray& bytes) {
    return reinterpret_cast<const quint8*>(bytes.constData());
}

QByteArray LayerBits(const CKomaFile& file, int index) {
    return QByteArray(reinterpret_cast<const char*>(file.GetLayer(index)->GetBits()),
                      qint64(file.m_nWidth) * file.m_nHeight);
}

int LoadBytes(CKomaFile& file, const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return file.Load(buffer);
}

// The palette pattern KomHeader writes.
std::array<quint8, 768> HeaderPalette() {
    std::array<quint8, 768> palette;
    for (int i = 0; i < 768; ++i)
        palette[size_t(i)] = quint8(i % 251);
    return palette;
}

TEST(KomaFile, WritesTheSmallestFileByteForByte) {
    const QByteArray pixels(16, 7);
    CKomaFile file;
    file.m_nWidth = 4;
    file.m_nHeight = 4;
    file.m_nTransparentIndex = 3;
    file.m_palette = HeaderPalette();
    ASSERT_EQ(file.AddLayer(Bytes(pixels), nullptr, 1), KOMA_OK);

    QTemporaryDir dir;
    const QString path = dir.filePath("small.kom");
    ASSERT_EQ(file.Save(path), KOMA_OK);
    const QByteArray written = ReadFile(path);
    const QByteArray expected =
        KomHeader(4, 4, 1, 3) +
        KomLayerRecord("noname", 1, Hex("01000000 00000000 10000000 07 00000000"));
    ASSERT_EQ(written.size(), 887);
    EXPECT_EQ(written.right(17), Hex("01000000 00000000 10000000 07 00000000"));
    EXPECT_EQ(written, expected);
    WriteFuzzSeed("kom_fuzzer", "small.kom", written);

    EXPECT_TRUE(IsKomaFile(path));
    CKomaFile loaded;
    ASSERT_EQ(loaded.Load(path), KOMA_OK);
    EXPECT_EQ(loaded.GetLayer(0)->GetName(), QByteArray("noname"));
    EXPECT_TRUE(loaded.GetLayer(0)->OwnsBits());
    EXPECT_FALSE(file.GetLayer(0)->OwnsBits());
}

TEST(KomaFile, RoundTripsLayersNamesVisibilityAndPalette) {
    const qint32 width = 61, height = 37;
    const QByteArray layers[] = {DrawingPixels(width * height, 7), DrawingPixels(width * height, 8),
                                 QByteArray(width * height, 0)};
    const char* names[] = {"back", "\x83\x65\x83\x58\x83\x67", ""};
    CKomaFile file;
    file.m_nWidth = width;
    file.m_nHeight = height;
    file.m_nTransparentIndex = 200;
    for (int i = 0; i < 768; ++i)
        file.m_palette[size_t(i)] = quint8(255 - i % 256);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(file.AddLayer(Bytes(layers[i]), names[i], quint8(i == 1 ? 0 : 1)), KOMA_OK);

    QBuffer saved;
    saved.open(QIODevice::WriteOnly);
    ASSERT_EQ(file.Save(saved), KOMA_OK);
    WriteFuzzSeed("kom_fuzzer", "three_layers.kom", saved.data());

    CKomaFile loaded;
    ASSERT_EQ(LoadBytes(loaded, saved.data()), KOMA_OK);
    EXPECT_EQ(loaded.m_nWidth, width);
    EXPECT_EQ(loaded.m_nHeight, height);
    EXPECT_EQ(loaded.m_nTransparentIndex, 200);
    EXPECT_EQ(loaded.m_palette, file.m_palette);
    ASSERT_EQ(loaded.GetLayerCount(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(loaded.GetLayer(i)->GetName(), QByteArray(names[i]));
        EXPECT_EQ(loaded.GetLayer(i)->GetVisible(), i == 1 ? 0 : 1);
        EXPECT_EQ(LayerBits(loaded, i), layers[i]);
    }
}

TEST(KomaFile, RefusesShortOrUnsignedFiles) {
    const QByteArray good = KomHeader(2, 2, 0);
    CKomaFile file;
    EXPECT_EQ(LoadBytes(file, good), KOMA_OK);
    EXPECT_EQ(LoadBytes(file, good.left(788)), KOMA_ERR_FORMAT);
    QByteArray badZero = good;
    badZero[4] = 'x';
    EXPECT_EQ(LoadBytes(file, badZero), KOMA_ERR_FORMAT);
    EXPECT_EQ(file.Load(QStringLiteral("/nonexistent/dir/file.kom")), KOMA_ERR_OPEN);

    QTemporaryDir dir;
    EXPECT_TRUE(IsKomaFile(WriteFile(dir, "ten.kom", QByteArray("KOMA\0xxxxx", 10))));
    EXPECT_FALSE(IsKomaFile(WriteFile(dir, "nine.kom", QByteArray("KOMA\0xxxx", 9))));
    EXPECT_FALSE(IsKomaFile(WriteFile(dir, "koma2.kom", Koma2File({}))));
    EXPECT_FALSE(IsKomaFile(dir.filePath("missing.kom")));
}

TEST(KomaFile, RefusesSizesAndCountsBeforeAllocating) {
    struct Case {
        qint32 width, height;
        quint16 layers;
        int result;
    };
    const Case cases[] = {
        {16384, 16384, 0, KOMA_OK},
        {1, 16384 * 16384, 0, KOMA_OK},
        {16385, 16384, 0, KOMA_ERR_FORMAT},
        {0x7FFFFFFF, 0x7FFFFFFF, 1, KOMA_ERR_FORMAT},
        {65536, 65536, 1, KOMA_ERR_FORMAT},
        {0, 5, 1, KOMA_ERR_FORMAT},
        {5, -1, 1, KOMA_ERR_FORMAT},
        {-4, -4, 1, KOMA_ERR_FORMAT},
        {2, 2, 129, KOMA_ERR_FORMAT},
        {2, 2, 65535, KOMA_ERR_FORMAT},
        // Blank layers cost a few bytes each, but all layers together may
        // not claim more than 1 GiB.
        {16384, 16384, 128, KOMA_ERR_FORMAT},
        {16384, 16384, 5, KOMA_ERR_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", " << c.layers);
        QByteArray bytes = KomHeader(c.width, c.height, c.layers);
        for (int i = 0; i < std::min<int>(c.layers, 130); ++i)
            bytes += KomLayerRecord("l", 1, KomStream({}, {}));
        CKomaFile file;
        EXPECT_EQ(LoadBytes(file, bytes), c.result);
        EXPECT_EQ(file.GetLayerCount(), 0);
    }
}

TEST(KomaFile, LeavesUnreachedPixelsZero) {
    // A 40 × 40 layer whose stream holds only 3 bytes.
    const QByteArray bytes = KomHeader(40, 40, 1) + KomLayerRecord("l", 1, KomStream({}, "abc"));
    CKomaFile file;
    ASSERT_EQ(LoadBytes(file, bytes), KOMA_OK);
    EXPECT_EQ(LayerBits(file, 0), QByteArray("abc") + QByteArray(1597, '\0'));
    WriteFuzzSeed("kom_fuzzer", "short_stream.kom", bytes);
}

TEST(KomaFile, KeepsTheLayersReadBeforeABrokenOne) {
    const QByteArray bytes = KomHeader(2, 2, 3) + KomLayerRecord("one", 1, KomStream({}, "abcd")) +
                             KomLayerRecord("two", 0, Hex("02000000 00"));
    CKomaFile file;
    EXPECT_EQ(LoadBytes(file, bytes), KOMA_ERR_FORMAT);
    ASSERT_EQ(file.GetLayerCount(), 1);
    EXPECT_EQ(LayerBits(file, 0), QByteArray("abcd"));
    file.Clear();
    EXPECT_EQ(file.GetLayerCount(), 0);
    EXPECT_EQ(file.m_nWidth, 0);
    EXPECT_EQ(file.m_palette, (std::array<quint8, 768>{}));
}

TEST(KomaFile, AddLayerRefusesNoPixelsAndTheHundredTwentyNinthLayer) {
    const QByteArray pixels(4, 1);
    CKomaFile file;
    file.m_nWidth = 2;
    file.m_nHeight = 2;
    EXPECT_EQ(file.AddLayer(nullptr, "x", 1), KOMA_ERR_NODATA);
    EXPECT_EQ(file.GetLayerCount(), 0);
    for (int i = 0; i < CKomaFile::kMaxLayers; ++i)
        ASSERT_EQ(file.AddLayer(Bytes(pixels), "x", 1), KOMA_OK);
    EXPECT_EQ(file.AddLayer(Bytes(pixels), "y", 1), KOMA_ERR_FULL);
    EXPECT_EQ(file.GetLayerCount(), CKomaFile::kMaxLayers);
    EXPECT_EQ(file.GetLayer(127)->GetName(), QByteArray("x"));
}

TEST(KomaFile, CutsNamesAtSeventyNineBytes) {
    const QByteArray pixels(1, 0);
    const QByteArray longName(100, 'n');
    CKomaFile file;
    file.m_nWidth = 1;
    file.m_nHeight = 1;
    file.AddLayer(Bytes(pixels), longName.constData(), 1);
    file.AddLayer(Bytes(pixels), QByteArray(78, 'm').constData(), 1);
    EXPECT_EQ(file.GetLayer(0)->GetName(), longName.left(79));
    EXPECT_EQ(file.GetLayer(0)->GetNameField()[79], '\0');
    EXPECT_EQ(file.GetLayer(1)->GetName(), QByteArray(78, 'm'));

    // A stored field without any NUL reads as its first 79 bytes.
    CKomaFile loaded;
    ASSERT_EQ(LoadBytes(loaded, KomHeader(1, 1, 1) +
                                    KomLayerRecord(QByteArray(80, 'z'), 1, KomStream({}, "p"))),
              KOMA_OK);
    EXPECT_EQ(loaded.GetLayer(0)->GetName(), QByteArray(79, 'z'));
}

// A device that accepts a fixed number of bytes and then fails.
class CFailingDevice : public QIODevice {
public:
    explicit CFailingDevice(qint64 room) : m_nRoom(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 count) override {
        if (count > m_nRoom)
            return -1;
        m_nRoom -= count;
        return count;
    }

private:
    qint64 m_nRoom;
};

TEST(KomaFile, ReportsShortWritesAndBadSizes) {
    const QByteArray pixels = DrawingPixels(100, 3);
    CKomaFile file;
    file.m_nWidth = 10;
    file.m_nHeight = 10;
    file.AddLayer(Bytes(pixels), "a", 1);
    for (qint64 room : {0, 788, 789 + 80, 900}) {
        CFailingDevice device(room);
        EXPECT_EQ(file.Save(device), KOMA_ERR_WRITE) << room;
    }
    QTemporaryDir dir;
    EXPECT_EQ(file.Save(dir.filePath("missing/x.kom")), KOMA_ERR_OPEN);
    EXPECT_FALSE(QFile::exists(dir.filePath("missing/x.kom")));

    file.m_nWidth = 0;
    EXPECT_EQ(file.Save(dir.filePath("empty.kom")), KOMA_ERR_FORMAT);
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.kom")));
}

// Limits the size of files this process may write, for one scope.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_bActive = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~CFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool IsActive() const { return m_bActive; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
    bool m_bActive = false;
};

TEST(KomaFile, AFailedSaveLeavesTheOldFileAndNoPartialFile) {
    QTemporaryDir dir;
    const QByteArray old("the old file");
    const QString path = WriteFile(dir, "keep.kom", old);

    const QByteArray noise = DrawingPixels(512 * 512, 11);
    CKomaFile file;
    file.m_nWidth = 512;
    file.m_nHeight = 512;
    file.AddLayer(Bytes(noise), "big", 1);
    {
        CFileSizeLimit limit(8 * 1024);
        ASSERT_TRUE(limit.IsActive());
        EXPECT_EQ(file.Save(path), KOMA_ERR_WRITE);
    }
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.kom"});

    // Without the limit the same save replaces the file.
    ASSERT_EQ(file.Save(path), KOMA_OK);
    CKomaFile loaded;
    ASSERT_EQ(loaded.Load(path), KOMA_OK);
    EXPECT_EQ(LayerBits(loaded, 0), noise);
}

} // namespace
