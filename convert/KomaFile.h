#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <array>
#include <memory>
#include <vector>

// Result codes of the KOM file classes.
enum KomaResult : int {
    KOMA_OK = 0,
    KOMA_ERR_OPEN = 1,   // the file cannot be opened
    KOMA_ERR_FORMAT = 2, // short read, wrong signature, bad size or layer data; a
                         // size Load would refuse is not saved either
    KOMA_ERR_NODATA = 3, // AddLayer was given no pixels
    KOMA_ERR_FULL = 4,   // the file already has 128 layers
    KOMA_ERR_WRITE = 5,  // a write fell short
};

// True when the file at `path` starts with the older KOM signature: "KOMA",
// a 0 byte, and at least 10 bytes in all.
bool IsKomaFile(const QString& path);

// One layer of a KOM file: width × height palette indices, a name of at most
// 79 bytes in the ANSI code page and a visible byte.
class CKomaLayer {
public:
    static constexpr int kNameSize = 80;

    // Borrows `pixels`, which must outlive the layer.
    CKomaLayer(const quint8* pixels, const char* name, quint8 visible);
    // Takes ownership of `pixels`.
    CKomaLayer(std::unique_ptr<quint8[]> pixels, const char* name, quint8 visible);
    virtual ~CKomaLayer() = default;
    CKomaLayer(const CKomaLayer&) = delete;
    CKomaLayer& operator=(const CKomaLayer&) = delete;

    const quint8* GetBits() const { return m_pBits; }
    bool OwnsBits() const { return m_pOwnedBits != nullptr; }
    quint8 GetVisible() const { return m_bVisible; }
    // The name up to its terminating NUL.
    QByteArray GetName() const { return QByteArray(m_szName); }
    // The full 80-byte name field as it is stored.
    const char* GetNameField() const { return m_szName; }

private:
    // Copies `name` (null: "noname"); 79 bytes at most, always terminated.
    void SetName(const char* name);

    const quint8* m_pBits;
    std::unique_ptr<quint8[]> m_pOwnedBits;
    quint8 m_bVisible;
    char m_szName[kNameSize] = {};
};

// The run-length coder of one layer's pixels. A stream holds the run count,
// the runs (position, length, value), the literal count and the literals; a
// run's position is the number of literals that come before it.
class CKomaCompress {
public:
    struct CRun {
        quint32 m_nPosition;
        quint32 m_nLength;
        quint8 m_nValue;
    };
    // Runs are written for 11 or more equal bytes in a row.
    static constexpr qint64 kMinRunLength = 11;

    virtual ~CKomaCompress() = default;

    // Codes `count` bytes of `source` and writes one stream. Returns false
    // when a write falls short or the count does not fit the format.
    bool Compress(QIODevice& file, const quint8* source, qint64 count);
    // The same stream appended to `out`, which grows by exactly its size.
    // Returns false, appending nothing, when the count does not fit the format.
    bool CompressTo(QByteArray& out, const quint8* source, qint64 count);
    // Reads one stream and decodes it into `dest` (`size` bytes). Output past
    // the end of `dest` is dropped; bytes the stream does not reach are left
    // as they were. Returns false when the run count or a run record cannot
    // be read; literals that cannot be read are simply not decoded.
    static bool Expand(QIODevice& file, quint8* dest, qint64 size);

    // The runs of the layer last compressed.
    const std::vector<CRun>& GetRuns() const { return m_runs; }

private:
    std::vector<CRun> m_runs;
};

// A whole KOM file in memory: a 789-byte header (signature, size, layer
// count, transparent index, 256-colour palette) and up to 128 layers.
class CKomaFile {
public:
    static constexpr int kMaxLayers = 128;
    static constexpr qint64 kHeaderSize = 789;

    CKomaFile() = default;
    virtual ~CKomaFile() = default;
    CKomaFile(const CKomaFile&) = delete;
    CKomaFile& operator=(const CKomaFile&) = delete;

    // True for a size a KOM file may hold: both sides at least 1 and an area
    // of at most KomLimits::kMaxLayerArea pixels.
    static bool IsValidSize(qint64 width, qint64 height);

    // Replaces the whole content with the file at `path`.
    int Load(const QString& path);
    // Replaces the whole content with the file read from a random-access
    // device, from its current position.
    int Load(QIODevice& file);
    // Writes the whole content to `path`. The file is replaced only when it
    // was written completely; a failed save leaves what was there before.
    int Save(const QString& path) const;
    int Save(QIODevice& file) const;

    // Appends a layer that borrows `pixels` (width × height bytes). A null
    // `name` gives "noname".
    int AddLayer(const quint8* pixels, const char* name, quint8 visible);
    // Deletes every layer and zeroes the size, count, index and palette.
    void Clear();

    int GetLayerCount() const { return m_nLayerCount; }
    const CKomaLayer* GetLayer(int index) const { return m_layers[size_t(index)].get(); }

    qint32 m_nWidth = 0;
    qint32 m_nHeight = 0;
    quint8 m_nTransparentIndex = 0;
    // 256 colours of red, green and blue.
    std::array<quint8, 768> m_palette{};

private:
    qint64 GetArea() const { return qint64(m_nWidth) * m_nHeight; }

    std::array<std::unique_ptr<CKomaLayer>, kMaxLayers> m_layers;
    quint16 m_nLayerCount = 0;
};
