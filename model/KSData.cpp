#include "model/KSData.h"

#include "base/FileException.h"
#include "base/LittleEndian.h"
#include "base/TextRoutines.h"

#include <QBuffer>

#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_set>

namespace {

// Throws before a table sized by stored values is allocated, when the stream
// could not hold it anyway.
void RequireRemaining(const CFileUtility& file, qint64 count) {
    if (count > file.GetRemaining())
        throw CFileException::EndOfFile(file.GetFileName());
}

QString ReadUtf8Text(CFileUtility& file, quint32 size) {
    return Utf8ToWide(file.ReadBytes(size));
}

} // namespace

// ---- CKSLayer ----

void CKSLayer::AllocateBits(qint64 count) {
    FreeBits();
    if (count <= 0)
        return;
    m_pBits.reset(new quint8[size_t(count)]());
    m_nBitsLength = count;
}

void CKSLayer::FreeBits() {
    m_pBits.reset();
    m_nBitsLength = 0;
}

quint8* CKSLayer::PixelsFor(qint32 width, qint32 height) const {
    if (width <= 0 || height <= 0 || !m_pBits)
        return nullptr;
    return m_nBitsLength >= qint64(width) * height ? m_pBits.get() : nullptr;
}

void CKSLayer::WriteChunks(CChunkFile& file) const {
    file.WriteIntChunk(ID_WIDTH, m_nWidth);
    file.WriteIntChunk(ID_HEIGHT, m_nHeight);
    const qint64 area = (m_nWidth > 0 && m_nHeight > 0) ? qint64(m_nWidth) * m_nHeight : 0;
    file.WriteDataChunk(ID_BITS, m_pBits.get(), std::min(area, m_nBitsLength));
    file.WriteTextChunk(ID_NAME, WideToUtf8(m_strName));
    file.WriteByteChunk(ID_VISIBLE, m_bVisible);
    file.WriteIntChunk(ID_ID, m_nID);
}

void CKSLayer::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    switch (id) {
    case ID_WIDTH:
        m_nWidth = file.ReadLong();
        break;
    case ID_HEIGHT:
        m_nHeight = file.ReadLong();
        break;
    case ID_BITS:
        if (m_nWidth > 0 && m_nHeight > 0) {
            const qint64 count = qint64(m_nWidth) * m_nHeight;
            RequireRemaining(file, count);
            AllocateBits(count);
            file.ReadExact(m_pBits.get(), count);
        }
        break;
    case ID_NAME:
        m_strName = ReadUtf8Text(file, size);
        break;
    case ID_VISIBLE:
        m_bVisible = file.ReadByte();
        break;
    case ID_ID:
        m_nID = file.ReadLong();
        break;
    default:
        break;
    }
}

// ---- CKSPalette ----

void CKSPalette::Allocate(qint32 count) {
    m_pColors.reset();
    m_pExtra.reset();
    m_pKinds.reset();
    m_nCount = std::max(count, 0);
    if (m_nCount == 0)
        return;
    m_pColors.reset(new quint8[size_t(m_nCount) * 3]());
    m_pExtra.reset(new quint16[size_t(m_nCount) * 3]());
    m_pKinds.reset(new quint8[size_t(m_nCount)]());
}

void CKSPalette::CopyFrom(const CKSPalette& source) {
    if (source.m_nCount != m_nCount)
        return;
    m_strName = source.m_strName;
    if (m_nCount == 0)
        return;
    std::memcpy(m_pColors.get(), source.m_pColors.get(), size_t(m_nCount) * 3);
    std::memcpy(m_pExtra.get(), source.m_pExtra.get(), size_t(m_nCount) * 3 * sizeof(quint16));
    std::memcpy(m_pKinds.get(), source.m_pKinds.get(), size_t(m_nCount));
}

std::array<quint8, 768> CKSPalette::GetRgb256() const {
    std::array<quint8, 768> rgb{};
    if (m_pColors)
        std::memcpy(rgb.data(), m_pColors.get(), size_t(std::min(m_nCount, 256)) * 3);
    return rgb;
}

void CKSPalette::WriteChunks(CChunkFile& file) const {
    const qint64 count = m_nCount;
    file.WriteIntChunk(ID_COUNT, m_nCount);
    file.WriteDataChunk(ID_COLORS, m_pColors.get(), count * 3);
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        file.WriteDataChunk(ID_EXTRA, m_pExtra.get(), count * 6);
    } else {
        std::vector<quint16> extra(size_t(count) * 3);
        LittleEndian::PutAll<quint16>(m_pExtra.get(), count * 3, extra.data());
        file.WriteDataChunk(ID_EXTRA, extra.data(), count * 6);
    }
    file.WriteDataChunk(ID_KINDS, m_pKinds.get(), count);
    file.WriteTextChunk(ID_NAME, WideToUtf8(m_strName));
}

void CKSPalette::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    switch (id) {
    case ID_COUNT: {
        const qint32 count = file.ReadLong();
        // The count sizes three zero-filled tables, and the tables it names
        // need not follow in the stream, so it is held to kMaxEntries before
        // anything is allocated.
        if (count < 0 || count > kMaxEntries)
            throw CFileException::BadFormat(file.GetFileName());
        Allocate(count);
        break;
    }
    case ID_COLORS:
        if (m_nCount > 0)
            file.ReadExact(m_pColors.get(), qint64(m_nCount) * 3);
        break;
    case ID_EXTRA:
        if (m_nCount > 0) {
            const qint64 bytes = std::min<qint64>(size, qint64(m_nCount) * 6);
            file.ReadExact(m_pExtra.get(), bytes);
            LittleEndian::GetAll<quint16>(m_pExtra.get(), bytes / 2, m_pExtra.get());
        }
        break;
    case ID_KINDS:
        if (m_nCount > 0)
            file.ReadExact(m_pKinds.get(), std::min<qint64>(size, m_nCount));
        break;
    case ID_NAME:
        m_strName = ReadUtf8Text(file, size);
        break;
    default:
        break;
    }
}

// ---- CKSEditableArray ----

void CKSEditableArray::WriteChunks(CChunkFile& file) const {
    file.WriteIntChunk(ID_CURRENT, m_nCurrent);
    file.WriteIntChunk(ID_SERIAL, m_nSerial);
    for (const auto& item : m_items)
        file.WriteObjectChunk(ID_ITEM, *item);
}

void CKSEditableArray::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    switch (id) {
    case ID_CURRENT:
        m_nCurrent = file.ReadLong();
        break;
    case ID_SERIAL:
        m_nSerial = file.ReadLong();
        break;
    case ID_ITEM:
        if (std::unique_ptr<CChunkSerializer> item = CreateItem()) {
            ReadChunks(file, *item, size);
            m_items.Add(std::move(item));
        }
        break;
    default:
        break;
    }
}

QString CKSEditableArray::MakeName(const char* format) {
    if (m_nSerial < INT_MAX)
        ++m_nSerial;
    return QString::asprintf(format, int(m_nSerial));
}

// ---- CKSLayerArray ----

std::unique_ptr<CChunkSerializer> CKSLayerArray::CreateItem() const {
    return std::make_unique<CKSLayer>();
}

CKSLayer* CKSLayerArray::AddNewLayer(qint32 width, qint32 height, int index) {
    std::unordered_set<qint32> usedIds;
    usedIds.reserve(size_t(GetCount()));
    for (int i = 0; i < GetCount(); ++i)
        usedIds.insert(GetLayer(i)->m_nID);
    qint32 freeId = 1;
    while (usedIds.count(freeId))
        ++freeId;

    auto layer = std::make_unique<CKSLayer>();
    layer->m_nWidth = width;
    layer->m_nHeight = height;
    if (width > 0 && height > 0)
        layer->AllocateBits(qint64(width) * height);
    layer->m_nID = freeId;
    layer->SetName(MakeName("Layer%02d"));
    return static_cast<CKSLayer*>(
        m_items.InsertAt(std::clamp(index, 0, GetCount()), std::move(layer)));
}

void CKSLayerArray::GetShownLayers(int mode, std::vector<int>& shown) const {
    shown.clear();
    const qint64 current = m_nCurrent;
    auto addIfValid = [&](qint64 index) {
        if (IsValidIndex(index))
            shown.push_back(int(index));
    };
    switch (mode) {
    case 0:
        for (int i = 0; i < GetCount(); ++i) {
            if (GetLayer(i)->m_bVisible)
                shown.push_back(i);
        }
        break;
    case 1:
        addIfValid(current);
        break;
    case 2:
        addIfValid(current - 1);
        addIfValid(current);
        break;
    case 3:
        addIfValid(current);
        addIfValid(current + 1);
        break;
    case 4:
        for (qint64 i = 0; i <= current && i < GetCount(); ++i)
            shown.push_back(int(i));
        break;
    case 5:
        for (qint64 i = std::max<qint64>(current, 0); i < GetCount(); ++i)
            shown.push_back(int(i));
        break;
    default:
        break;
    }
}

// ---- CKSPaletteArray ----

std::unique_ptr<CChunkSerializer> CKSPaletteArray::CreateItem() const {
    return std::make_unique<CKSPalette>();
}

CKSPalette* CKSPaletteArray::AddNewPalette() {
    auto* palette = static_cast<CKSPalette*>(m_items.InsertAt(0, std::make_unique<CKSPalette>()));
    palette->Allocate(256);
    palette->SetName(MakeName("Pal%02d"));
    return palette;
}

// ---- CKSData ----

QByteArray CKSData::GetSignature() const {
    return QByteArray(kSignature);
}

bool CKSData::Save(QIODevice& file, QString* errorText) const {
    return StandardDocument::Save(*this, file, errorText);
}

bool CKSData::SaveToBytes(QByteArray& bytes, QString* errorText) const {
    // An upper bound of the chunk structure around the pixel and palette
    // tables: 3 bytes of UTF-8 per UTF-16 unit of every text.
    constexpr qint64 kFrame = 256;
    qint64 estimate = kFrame + 3 * qint64(m_strText.size());
    for (int i = 0; i < GetLayerCount(); ++i) {
        const CKSLayer* layer = m_pLayers->GetLayer(i);
        estimate += kFrame + 3 * qint64(layer->m_strName.size()) + layer->GetBitsLength();
    }
    for (int i = 0; m_pPalettes && i < m_pPalettes->GetCount(); ++i) {
        const CKSPalette* palette = m_pPalettes->GetPalette(i);
        estimate += kFrame + 3 * qint64(palette->m_strName.size()) + 10 * qint64(palette->m_nCount);
    }
    bytes.clear();
    bytes.reserve(estimate);
    QBuffer stream(&bytes);
    stream.open(QIODevice::WriteOnly);
    return Save(stream, errorText);
}

bool CKSData::Load(QIODevice& file, QString* errorText) {
    return StandardDocument::Load(*this, file, errorText);
}

bool CKSData::Create(qint32 width, qint32 height) {
    m_nWidth = width;
    m_nHeight = height;
    m_pLayers = std::make_unique<CKSLayerArray>();
    m_pLayers->AddNewLayer(width, height, 0);
    m_pPalettes = std::make_unique<CKSPaletteArray>();
    m_pPalettes->AddNewPalette();
    return true;
}

CKSLayer* CKSData::GetCurrentLayer() const {
    if (!m_pLayers || !m_pLayers->IsValidIndex(m_pLayers->m_nCurrent))
        return nullptr;
    return m_pLayers->GetLayer(m_pLayers->m_nCurrent);
}

CKSPalette* CKSData::GetCurrentPalette() const {
    if (!m_pPalettes || !m_pPalettes->IsValidIndex(m_pPalettes->m_nCurrent))
        return nullptr;
    return m_pPalettes->GetPalette(m_pPalettes->m_nCurrent);
}

bool CKSData::IsConsistent() const {
    if (m_nWidth <= 0 || m_nHeight <= 0 || GetLayerCount() == 0)
        return false;
    if (!GetCurrentLayer() || !GetCurrentPalette())
        return false;
    for (int i = 0; i < m_pLayers->GetCount(); ++i) {
        const CKSLayer* layer = m_pLayers->GetLayer(i);
        if (layer->m_nWidth != m_nWidth || layer->m_nHeight != m_nHeight ||
            !layer->PixelsFor(m_nWidth, m_nHeight))
            return false;
    }
    return true;
}

void CKSData::WriteChunks(CChunkFile& file) const {
    file.WriteIntChunk(ID_WIDTH, m_nWidth);
    file.WriteIntChunk(ID_HEIGHT, m_nHeight);
    if (m_pLayers)
        file.WriteObjectChunk(ID_LAYERS, *m_pLayers);
    if (m_pPalettes)
        file.WriteObjectChunk(ID_PALETTES, *m_pPalettes);
    file.WriteByteChunk(ID_BACK_COLOR_INDEX, m_nBackColorIndex);
    file.WriteByteChunk(ID_TRANSPARENT_INDEX, m_nTransparentIndex);
    file.WriteTextChunk(ID_TEXT, WideToUtf8(m_strText));
}

void CKSData::ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
    switch (id) {
    case ID_WIDTH:
        m_nWidth = file.ReadLong();
        break;
    case ID_HEIGHT:
        m_nHeight = file.ReadLong();
        break;
    case ID_LAYERS:
        m_pLayers = std::make_unique<CKSLayerArray>();
        ReadChunks(file, *m_pLayers, size);
        break;
    case ID_PALETTES:
        m_pPalettes = std::make_unique<CKSPaletteArray>();
        ReadChunks(file, *m_pPalettes, size);
        break;
    case ID_LAYER_DISPLAY_MODE:
        m_nLayerDisplayMode = file.ReadByte();
        break;
    case ID_BACK_COLOR_INDEX:
        m_nBackColorIndex = file.ReadByte();
        break;
    case ID_TRANSPARENT_INDEX:
        m_nTransparentIndex = file.ReadByte();
        break;
    case ID_TEXT:
        m_strText = ReadUtf8Text(file, size);
        break;
    case ID_VALUE64:
        file.ReadExact(m_nValue64.data(), qint64(m_nValue64.size()));
        break;
    case ID_VALUE32:
        m_nValue32 = file.ReadLong();
        break;
    case ID_FLAG1011:
        m_bFlag1011 = file.ReadByte();
        break;
    default:
        break;
    }
}
