#include "convert/KomaFile.h"

#include "base/LittleEndian.h"
#include "model/KomLimits.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

namespace {

// "KOMA" and the 0 byte that follows it; the header's reserved bytes after
// these five are written as 0 and not read.
constexpr char kSignature[] = "KOMA";
constexpr qint64 kSignatureSize = 5;
constexpr qint64 kSignatureFieldSize = 10;
constexpr qint64 kRunRecordSize = 9;

// Header offsets.
constexpr int kWidthOffset = 10;
constexpr int kHeightOffset = 14;
constexpr int kLayerCountOffset = 18;
constexpr int kTransparentOffset = 20;
constexpr int kPaletteOffset = 21;

bool ReadExact(QIODevice& file, void* buffer, qint64 count) {
    return count <= 0 || file.read(static_cast<char*>(buffer), count) == count;
}

bool WriteAll(QIODevice& file, const void* data, qint64 count) {
    return count <= 0 || file.write(static_cast<const char*>(data), count) == count;
}

// Bytes a random-access device can still deliver (for a sequential one, what
// it has buffered).
qint64 Remaining(const QIODevice& file) {
    return std::max<qint64>(0, file.size() - file.pos());
}

// The number of bytes from `p` up to `end` that equal `value`, compared a
// machine word at a time.
qint64 CountEqual(const quint8* p, const quint8* end, quint8 value) {
    const quint8* start = p;
    const quint64 pattern = 0x0101010101010101ULL * value;
    while (end - p >= 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        const quint64 diff = LittleEndian::Get<quint64>(&word) ^ pattern;
        if (diff)
            return (p - start) + std::countr_zero(diff) / 8;
        p += 8;
    }
    while (p < end && *p == value)
        ++p;
    return p - start;
}

// The decoder's output: bytes past the end of the buffer are counted but
// dropped, so a run of any length costs no more than the buffer it fills.
class CExpandOutput {
public:
    CExpandOutput(quint8* dest, qint64 size) : m_pDest(dest), m_nSize(size) {}

    bool IsFull() const { return m_nPos >= m_nSize; }
    void Copy(const char* bytes, qint64 count) {
        if (count > 0 && !IsFull())
            std::memcpy(m_pDest + m_nPos, bytes, size_t(std::min(count, m_nSize - m_nPos)));
        m_nPos += count;
    }
    void Fill(quint8 value, qint64 count) {
        if (count > 0 && !IsFull())
            std::memset(m_pDest + m_nPos, value, size_t(std::min(count, m_nSize - m_nPos)));
        m_nPos += count;
    }

private:
    quint8* m_pDest;
    qint64 m_nSize;
    qint64 m_nPos = 0;
};

} // namespace

bool IsKomaFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    char head[kSignatureFieldSize];
    return ReadExact(file, head, kSignatureFieldSize) &&
           std::memcmp(head, kSignature, kSignatureSize) == 0;
}

// ---- CKomaLayer ----

CKomaLayer::CKomaLayer(const quint8* pixels, const char* name, quint8 visible)
    : m_pBits(pixels), m_bVisible(visible) {
    SetName(name);
}

CKomaLayer::CKomaLayer(std::unique_ptr<quint8[]> pixels, const char* name, quint8 visible)
    : m_pBits(pixels.get()), m_pOwnedBits(std::move(pixels)), m_bVisible(visible) {
    SetName(name);
}

void CKomaLayer::SetName(const char* name) {
    if (!name)
        name = "noname";
    // A field read from a file need not hold a NUL: never look past 79 bytes.
    const size_t length = strnlen(name, kNameSize - 1);
    std::memset(m_szName, 0, sizeof m_szName);
    std::memcpy(m_szName, name, length);
}

// ---- CKomaCompress ----

bool CKomaCompress::Compress(QIODevice& file, const quint8* source, qint64 count) {
    QByteArray stream;
    return CompressTo(stream, source, count) && WriteAll(file, stream.constData(), stream.size());
}

bool CKomaCompress::CompressTo(QByteArray& out, const quint8* source, qint64 count) {
    m_runs.clear();
    if (count < 0 || count > qint64(UINT32_MAX))
        return false;

    // First the runs, and with them the number of literals (the bytes
    // outside runs), so that the stream's size is known before any of it is
    // written.
    qint64 literalCount = 0;
    qint64 stretchStart = 0;
    qint64 i = 0;
    while (i < count) {
        const qint64 length = 1 + CountEqual(source + i + 1, source + count, source[i]);
        if (length >= kMinRunLength) {
            literalCount += i - stretchStart;
            m_runs.push_back({quint32(literalCount), quint32(length), source[i]});
            stretchStart = i + length;
        }
        i += length;
    }
    literalCount += count - stretchStart;

    const qsizetype start = out.size();
    out.resize(start + 4 + qsizetype(m_runs.size()) * kRunRecordSize + 4 + literalCount);
    uchar* p = reinterpret_cast<uchar*>(out.data()) + start;
    LittleEndian::Put<quint32>(p, quint32(m_runs.size()));
    p += 4;
    for (const CRun& run : m_runs) {
        LittleEndian::Put<quint32>(p, run.m_nPosition);
        LittleEndian::Put<quint32>(p + 4, run.m_nLength);
        p[8] = run.m_nValue;
        p += kRunRecordSize;
    }
    LittleEndian::Put<quint32>(p, quint32(literalCount));
    p += 4;

    // Then the literals: the stretch of source before each run, and the rest
    // after the last one, copied straight from the source.
    qint64 from = 0;
    qint64 copied = 0;
    for (const CRun& run : m_runs) {
        const qint64 stretch = qint64(run.m_nPosition) - copied;
        std::memcpy(p, source + from, size_t(stretch));
        p += stretch;
        copied += stretch;
        from += stretch + run.m_nLength;
    }
    std::memcpy(p, source + from, size_t(count - from));
    return true;
}

bool CKomaCompress::Expand(QIODevice& file, quint8* dest, qint64 size) {
    uchar word[4];
    if (!ReadExact(file, word, 4))
        return false;
    const quint32 runCount = LittleEndian::Get<quint32>(word);
    // Records the device cannot hold would be a short read: refuse them
    // before allocating anything for them.
    const qint64 runBytes = qint64(runCount) * kRunRecordSize;
    if (runBytes > Remaining(file))
        return false;
    QByteArray runs(runBytes, Qt::Uninitialized);
    if (!ReadExact(file, runs.data(), runBytes))
        return false;

    // Only the literals that can really be read are decoded, and nothing
    // beyond what the device still holds is allocated for them.
    QByteArray literals;
    if (ReadExact(file, word, 4)) {
        const qint64 wanted = std::min<qint64>(LittleEndian::Get<quint32>(word), Remaining(file));
        literals.resize(wanted);
        literals.resize(std::max<qint64>(0, file.read(literals.data(), wanted)));
    }

    // Run r is emitted when the literal index k reaches its position. A run
    // positioned before the literals already emitted, or past the last one,
    // is never reached, and neither is any run after it.
    CExpandOutput out(dest, size);
    const qint64 literalCount = literals.size();
    qint64 k = 0;
    const uchar* record = reinterpret_cast<const uchar*>(runs.constData());
    for (quint32 r = 0; r < runCount && !out.IsFull(); ++r, record += kRunRecordSize) {
        const qint64 position = LittleEndian::Get<quint32>(record);
        if (position < k || position > literalCount)
            break;
        out.Copy(literals.constData() + k, position - k);
        k = position;
        out.Fill(record[8], LittleEndian::Get<quint32>(record + 4));
    }
    out.Copy(literals.constData() + k, literalCount - k);
    return true;
}

// ---- CKomaFile ----

bool CKomaFile::IsValidSize(qint64 width, qint64 height) {
    return width >= 1 && height >= 1 && width * height <= KomLimits::kMaxLayerArea;
}

void CKomaFile::Clear() {
    for (auto& layer : m_layers)
        layer.reset();
    m_nLayerCount = 0;
    m_nWidth = 0;
    m_nHeight = 0;
    m_nTransparentIndex = 0;
    m_palette.fill(0);
}

int CKomaFile::AddLayer(const quint8* pixels, const char* name, quint8 visible) {
    if (!pixels)
        return KOMA_ERR_NODATA;
    if (m_nLayerCount >= kMaxLayers)
        return KOMA_ERR_FULL;
    m_layers[m_nLayerCount++] = std::make_unique<CKomaLayer>(pixels, name, visible);
    return KOMA_OK;
}

int CKomaFile::Load(const QString& path) {
    Clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return KOMA_ERR_OPEN;
    return Load(file);
}

int CKomaFile::Load(QIODevice& file) {
    Clear();
    std::array<uchar, kHeaderSize> header;
    if (!ReadExact(file, header.data(), kHeaderSize) ||
        std::memcmp(header.data(), kSignature, kSignatureSize) != 0)
        return KOMA_ERR_FORMAT;
    const qint32 width = LittleEndian::Get<qint32>(header.data() + kWidthOffset);
    const qint32 height = LittleEndian::Get<qint32>(header.data() + kHeightOffset);
    const quint16 layerCount = LittleEndian::Get<quint16>(header.data() + kLayerCountOffset);
    // The table holds 128 layers, and every layer buffer is width × height
    // bytes: the count, the size and their product are checked before
    // anything is allocated. Runs let a blank layer of any size cost under
    // 100 bytes of file, so a 12 KB file could otherwise claim 128 × 256 MiB.
    if (layerCount > kMaxLayers || !IsValidSize(width, height) ||
        qint64(width) * height * layerCount > KomLimits::kMaxLoadedBytes)
        return KOMA_ERR_FORMAT;
    m_nWidth = width;
    m_nHeight = height;
    m_nTransparentIndex = header[kTransparentOffset];
    std::memcpy(m_palette.data(), header.data() + kPaletteOffset, m_palette.size());

    const qint64 area = GetArea();
    for (int i = 0; i < layerCount; ++i) {
        char name[CKomaLayer::kNameSize];
        quint8 visible;
        if (!ReadExact(file, name, sizeof name) || !ReadExact(file, &visible, 1))
            return KOMA_ERR_FORMAT;
        // Zero-filled, so bytes that the stream does not reach read as 0.
        auto pixels = std::make_unique<quint8[]>(size_t(area));
        if (!CKomaCompress::Expand(file, pixels.get(), area))
            return KOMA_ERR_FORMAT;
        m_layers[size_t(i)] = std::make_unique<CKomaLayer>(std::move(pixels), name, visible);
        ++m_nLayerCount;
    }
    return KOMA_OK;
}

int CKomaFile::Save(const QString& path) const {
    // The content goes to a temporary file that replaces `path` only once it
    // is complete; without the commit it is removed.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return KOMA_ERR_OPEN;
    const int result = Save(file);
    if (result != KOMA_OK) {
        file.cancelWriting();
        return result;
    }
    return file.commit() ? KOMA_OK : KOMA_ERR_WRITE;
}

int CKomaFile::Save(QIODevice& file) const {
    // A size that Load would refuse is never written.
    if (!IsValidSize(m_nWidth, m_nHeight))
        return KOMA_ERR_FORMAT;
    std::array<uchar, kHeaderSize> header{};
    std::memcpy(header.data(), kSignature, kSignatureSize);
    LittleEndian::Put<qint32>(header.data() + kWidthOffset, m_nWidth);
    LittleEndian::Put<qint32>(header.data() + kHeightOffset, m_nHeight);
    LittleEndian::Put<quint16>(header.data() + kLayerCountOffset, m_nLayerCount);
    header[kTransparentOffset] = m_nTransparentIndex;
    std::memcpy(header.data() + kPaletteOffset, m_palette.data(), m_palette.size());

    // Each layer is coded into one buffer, reserved once for the largest
    // record a layer can take (a stream is never longer than its pixels plus
    // its two counts, since a run replaces at least 11 literals by a 9-byte
    // record), and handed to the device in one write; the header goes with
    // the first layer.
    QByteArray record;
    record.reserve(qsizetype(kHeaderSize + CKomaLayer::kNameSize + 1 + 8 + GetArea()));
    record.append(reinterpret_cast<const char*>(header.data()), kHeaderSize);
    CKomaCompress compress;
    for (int i = 0; i < m_nLayerCount; ++i) {
        const CKomaLayer& layer = *m_layers[size_t(i)];
        record.append(layer.GetNameField(), CKomaLayer::kNameSize);
        record.append(char(layer.GetVisible()));
        if (!compress.CompressTo(record, layer.GetBits(), GetArea()) ||
            !WriteAll(file, record.constData(), record.size()))
            return KOMA_ERR_WRITE;
        record.resize(0);
    }
    if (m_nLayerCount == 0 && !WriteAll(file, record.constData(), record.size()))
        return KOMA_ERR_WRITE;
    return KOMA_OK;
}
