#include "model/Koma2Data.h"

#include "base/FileException.h"
#include "base/LittleEndian.h"
#include "base/StringTable.h"
#include "model/KomLimits.h"
#include "model/ZStream.h"

#include <QBuffer>

#include <algorithm>
#include <new>

namespace {

constexpr char kSignature[] = "KOMA2";
constexpr qint64 kSignatureSize = 5;
constexpr quint8 kCompressionZlib = 1;
// Deflate codes at most 258 bytes in two bits, so no zlib stream inflates to
// more than 1032 times its own size.
constexpr qint64 kMaxInflateRatio = 1032;

// Fills a table from the start with a byte-run payload of `size` bytes, at
// most `tableBytes` of them; a missing table skips the chunk.
void ReadTable(CFileUtility& file, void* table, qint64 tableBytes, quint32 size) {
    if (table)
        file.ReadExact(table, std::min<qint64>(size, tableBytes));
}

// The same for a table of little-endian 16-bit values.
void ReadWordTable(CFileUtility& file, quint16* table, qint64 count, quint32 size) {
    if (!table)
        return;
    const qint64 words = std::min<qint64>(size / 2, count);
    file.ReadExact(table, words * 2);
    LittleEndian::GetAll<quint16>(table, words, table);
}

template <typename T> std::unique_ptr<T[]> ZeroedTable(qint64 count) {
    return count > 0 ? std::make_unique<T[]>(size_t(count)) : nullptr;
}

} // namespace

// ---- CKoma2AllocationBudget ----

void CKoma2AllocationBudget::Charge(const CFileUtility& file, qint64 bytes) {
    if (bytes > m_nLeft)
        throw CFileException::BadFormat(file.GetFileName());
    m_nLeft -= bytes;
}

// ---- CKoma2DrawBackColorInfo ----

void CKoma2DrawBackColorInfo::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    (void)size;
    switch (id) {
    case ID_INDEX:
        m_nIndex = file.ReadByte();
        break;
    case ID_COLOR:
        file.ReadExact(m_color.data(), qint64(m_color.size()));
        break;
    case ID_VALUE1002:
        m_nValue1002 = file.ReadByte();
        break;
    case ID_EXTRA:
        for (quint16& value : m_extra)
            value = file.ReadWord();
        break;
    case ID_VALUE1004:
        m_nValue1004 = file.ReadByte();
        break;
    default:
        break;
    }
}

// ---- CKoma2BaseData ----

void CKoma2BaseData::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    switch (id) {
    case ID_NAME:
        m_strName = file.ReadBytes(size);
        break;
    case ID_ID:
        m_nID = file.ReadLong();
        break;
    case ID_MARKED:
        m_bMarked = file.ReadByte();
        break;
    case ID_VALUE1003:
        m_nValue1003 = file.ReadByte();
        break;
    case ID_SELECTED:
        m_bSelected = file.ReadByte();
        break;
    default:
        break;
    }
}

// ---- CKoma2Layer ----

CKoma2Layer::CKoma2Layer(qint32 width, qint32 height, qint32 bitsPerPixel)
    : CKoma2BaseData(-1), m_nWidth(width), m_nHeight(height), m_nBitsPerPixel(bitsPerPixel),
      m_nBytesPerPixel(BytesPerPixel(bitsPerPixel)) {}

qint32 CKoma2Layer::BytesPerPixel(qint32 bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
        return 1;
    case 15:
    case 16:
    case 24:
        return 3;
    default:
        return 0;
    }
}

qint64 CKoma2Layer::GetBufferSize() const {
    if (m_nWidth <= 0 || m_nHeight <= 0)
        return 0;
    return qint64(m_nBytesPerPixel) * m_nWidth * m_nHeight;
}

void CKoma2Layer::AllocateBits() {
    m_pBits.reset();
    m_nBitsLength = GetBufferSize();
    if (m_nBitsLength > 0) {
        // A blank layer comes without a pixel chunk, so its buffer may never
        // be written. calloc serves a large buffer from fresh pages that the
        // system hands out zeroed, and such a page takes memory only once it
        // is written.
        m_pBits.reset(static_cast<quint8*>(std::calloc(size_t(m_nBitsLength), 1)));
        if (!m_pBits)
            throw std::bad_alloc();
    }
    m_strName = "Layer000";
}

void CKoma2Layer::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    switch (id) {
    case ID_VISIBLE:
        m_bVisible = file.ReadByte();
        break;
    case ID_BITS:
        ReadTable(file, m_pBits.get(), m_nBitsLength, size);
        break;
    case ID_VALUE1007:
        m_nValue1007 = file.ReadByte();
        break;
    default:
        CKoma2BaseData::ReadChunk(file, id, size);
        break;
    }
}

// ---- CKoma2Page ----

CKoma2Page::CKoma2Page(qint32 bitsPerPixel, CKoma2AllocationBudget& layerBudget)
    : CKoma2BaseData(0), m_nBitsPerPixel(bitsPerPixel), m_layerBudget(layerBudget) {}

void CKoma2Page::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    switch (id) {
    case ID_WIDTH:
        m_nWidth = file.ReadWord();
        break;
    case ID_HEIGHT:
        m_nHeight = file.ReadWord();
        break;
    case ID_LINK_ID1:
        m_link.m_nID1 = file.ReadLong();
        break;
    case ID_LINK_ID2:
        m_link.m_nID2 = file.ReadLong();
        break;
    case ID_LAYER_DISPLAY_MODE:
        m_nLayerDisplayMode = file.ReadByte();
        break;
    case ID_VALUE2001:
        m_nValue2001 = file.ReadLong();
        break;
    case ID_IGNORED2002:
        file.ReadWord();
        break;
    case ID_LAYER: {
        auto* layer = static_cast<CKoma2Layer*>(
            m_layers.Add(std::make_unique<CKoma2Layer>(m_nWidth, m_nHeight, m_nBitsPerPixel)));
        if (layer->m_nBytesPerPixel != 0) {
            // Held to the KOM limits before the buffer is allocated. The
            // buffer is zero-filled, so a layer without a pixel chunk (a
            // blank one) reads as index 0 everywhere.
            if (qint64(layer->m_nWidth) * layer->m_nHeight > KomLimits::kMaxLayerArea)
                throw CFileException::BadFormat(file.GetFileName());
            m_layerBudget.Charge(file, layer->GetBufferSize());
            layer->AllocateBits();
        }
        ReadChunks(file, *layer, size);
        break;
    }
    case ID_CURRENT_LAYER:
        m_layers.m_nCurrent = file.ReadLong();
        break;
    default:
        CKoma2BaseData::ReadChunk(file, id, size);
        break;
    }
}

// ---- CKoma2Palette ----

CKoma2Palette::CKoma2Palette(qint32 count)
    : CKoma2BaseData(0), m_pColors(ZeroedTable<quint8>(qint64(count) * 3)),
      m_pValues1007(ZeroedTable<quint8>(count)), m_pExtra(ZeroedTable<quint16>(qint64(count) * 3)),
      m_pKinds(ZeroedTable<quint8>(count)), m_nCount(count) {
    m_strName = "0";
}

void CKoma2Palette::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    const qint64 count = m_nCount;
    switch (id) {
    case ID_COLORS:
        ReadTable(file, m_pColors.get(), count * 3, size);
        break;
    case ID_VALUES1007:
        ReadTable(file, m_pValues1007.get(), count, size);
        break;
    case ID_EXTRA:
        ReadWordTable(file, m_pExtra.get(), count * 3, size);
        break;
    case ID_KINDS:
        ReadTable(file, m_pKinds.get(), count, size);
        break;
    default:
        // 1006 and 1008 carry nothing this reader uses.
        CKoma2BaseData::ReadChunk(file, id, size);
        break;
    }
}

// ---- CKoma2Data ----

CKoma2Data::CKoma2Data() : m_layerBudget(KomLimits::kMaxLoadedBytes) {}

void CKoma2Data::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    switch (id) {
    case ID_BITS_PER_PIXEL:
        m_nBitsPerPixel = file.ReadByte();
        break;
    case ID_VALUE1002:
        m_nValue1002 = file.ReadByte();
        break;
    case ID_IGNORED2000:
    case ID_IGNORED3000:
        file.ReadWord();
        break;
    case ID_VALUE2001:
        m_nValue2001 = file.ReadLong();
        break;
    case ID_VALUE2002:
        m_nValue2002 = file.ReadByte();
        break;
    case ID_PAGE: {
        CKoma2BaseData* page =
            m_pages.Add(std::make_unique<CKoma2Page>(m_nBitsPerPixel, m_layerBudget));
        ReadChunks(file, *page, size);
        break;
    }
    case ID_CURRENT_PAGE:
        m_pages.m_nCurrent = file.ReadLong();
        break;
    case ID_PALETTE_SIZE:
        m_nPaletteSize = file.ReadWord();
        break;
    case ID_VALUE3002:
        m_nValue3002 = file.ReadLong();
        break;
    case ID_PALETTE: {
        m_paletteBudget.Charge(file, qint64(m_nPaletteSize) * 3);
        CKoma2BaseData* palette = m_palettes.Add(std::make_unique<CKoma2Palette>(m_nPaletteSize));
        ReadChunks(file, *palette, size);
        break;
    }
    case ID_CURRENT_PALETTE:
        m_palettes.m_nCurrent = file.ReadLong();
        break;
    case ID_BACK_COLOR1_INDEX:
        m_backColor1.m_nIndex = quint8(file.ReadLong());
        break;
    case ID_BACK_COLOR2_INDEX:
        m_backColor2.m_nIndex = quint8(file.ReadLong());
        break;
    case ID_BACK_COLOR1:
        ReadChunks(file, m_backColor1, size);
        break;
    case ID_BACK_COLOR2:
        ReadChunks(file, m_backColor2, size);
        break;
    default:
        break;
    }
}

bool CKoma2Data::Load(QIODevice& device, QString* errorText) {
    // Each failure is reported once: the checks below by their own text,
    // a file-layer exception by its text.
    bool reported = false;
    const auto fail = [&](const QString& text) {
        ReportFailure(errorText, text, {});
        reported = true;
        return false;
    };
    QString exceptionText;
    const bool loaded = CatchFileErrors(
        [&] {
            CFileUtility file(&device, false);
            if (file.ReadBytes(kSignatureSize) != QByteArray(kSignature))
                return fail(LoadStringResource(IDS_NOT_KOMA2));
            file.ReadWord();
            if (file.ReadByte() != kCompressionZlib)
                return fail(LoadStringResource(IDS_COMPRESSION_UNSUPPORTED));
            const quint32 bodyLength = quint32(file.ReadLong());
            CZStream stream;
            // A length the rest of the file could never inflate to is
            // refused before the body is allocated.
            if (qint64(bodyLength) > file.GetRemaining() * kMaxInflateRatio)
                return fail(CZStream::InflateErrorText());
            QByteArray body(qsizetype(bodyLength), Qt::Uninitialized);
            if (!stream.InflateFrom(device, reinterpret_cast<quint8*>(body.data()), bodyLength))
                return fail(stream.GetError());
            stream.End();

            QBuffer memory(&body);
            memory.open(QIODevice::ReadOnly);
            CFileUtility reader(&memory, false);
            m_paletteBudget.Reset(bodyLength);
            ReadChunks(reader, *this, bodyLength);
            return true;
        },
        exceptionText);
    if (!loaded && !reported)
        ReportFailure(errorText, exceptionText, {});
    return loaded;
}
