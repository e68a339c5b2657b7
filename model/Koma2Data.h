#pragma once

#include "base/AutoDeletePtr.h"
#include "model/ChunkFile.h"

#include <QByteArray>

#include <array>
#include <cstdlib>
#include <memory>

// The newer file of the desktop pixel editor (KOMA2): a short header, then a
// zlib-compressed chunk tree of pages, layers and palettes. Read only.

class CKoma2BaseData;

// What a kind of table may still allocate while one drawing is read; a
// drawing that asks for more is refused before the table is allocated.
class CKoma2AllocationBudget {
public:
    explicit CKoma2AllocationBudget(qint64 bytes) : m_nLeft(bytes) {}
    void Reset(qint64 bytes) { m_nLeft = bytes; }
    // Throws the framework's format error when `bytes` exceed what is left.
    void Charge(const CFileUtility& file, qint64 bytes);

private:
    qint64 m_nLeft;
};

// An owning group of items with a current index (-1: none). Every item
// records the group that holds it.
template <typename T> class CKoma2GroupArray {
public:
    int GetCount() const { return m_items.GetSize(); }
    T* GetAt(int index) const { return m_items.GetAt(index); }
    // The current item, or null when the stored index lies outside the group.
    T* GetCurrent() const {
        return m_nCurrent >= 0 && m_nCurrent < GetCount() ? GetAt(m_nCurrent) : nullptr;
    }
    T* Add(std::unique_ptr<T> item) {
        item->m_pOwner = this;
        return m_items.Add(std::move(item));
    }

    qint32 m_nCurrent = -1;

private:
    CAutoDeletePtrArray<T> m_items;
};

using CKoma2BaseDataPtrArray = CKoma2GroupArray<CKoma2BaseData>;

// Two identifiers a page links to.
struct CKoma2LinkToData {
    qint32 m_nID1 = -1;
    qint32 m_nID2 = -1;
};

// A draw-back colour of the drawing.
class CKoma2DrawBackColorInfo : public CChunkSerializer {
public:
    enum ChunkId : quint16 {
        ID_INDEX = 1000,
        ID_COLOR = 1001,
        ID_VALUE1002 = 1002,
        ID_EXTRA = 1003,
        ID_VALUE1004 = 1004,
    };

    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;

    quint8 m_nIndex = 0;
    std::array<quint8, 3> m_color{};
    quint8 m_nValue1002 = 255;
    std::array<quint16, 3> m_extra{};
    quint8 m_nValue1004 = 0;
};

// What pages, layers and palettes share: a name, an identifier and flags.
class CKoma2BaseData : public CChunkSerializer {
public:
    enum ChunkId : quint16 {
        ID_NAME = 1000,
        ID_ID = 1001,
        ID_MARKED = 1002,
        ID_VALUE1003 = 1003,
        ID_SELECTED = 1004,
    };

    explicit CKoma2BaseData(qint32 id) : m_nID(id) {}
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;
    qint32 GetID() const { return m_nID; }

    quint8 m_bMarked = 0;
    quint8 m_nValue1003 = 1;
    quint8 m_bSelected = 0;
    CKoma2BaseDataPtrArray* m_pOwner = nullptr;
    // In the ANSI code page.
    QByteArray m_strName;
    qint32 m_nID;
};

// Releases a buffer that std::calloc gave.
struct CFreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// One layer: width × height pixels of m_nBytesPerPixel bytes each, row by row
// from the top row. Depths without a byte size have no pixel buffer.
class CKoma2Layer : public CKoma2BaseData {
public:
    enum LayerChunkId : quint16 {
        ID_VISIBLE = 1005,
        ID_BITS = 1006,
        ID_VALUE1007 = 1007,
    };

    // Takes the page's size and depth; the pixels come with AllocateBits.
    CKoma2Layer(qint32 width, qint32 height, qint32 bitsPerPixel);
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;

    // 1 for depths 1, 4 and 8; 3 for 15, 16 and 24; 0 for any other.
    static qint32 BytesPerPixel(qint32 bitsPerPixel);
    // The bytes of the pixel buffer the layer's size and depth call for.
    qint64 GetBufferSize() const;
    // Allocates that buffer zero-filled and names the layer "Layer000".
    void AllocateBits();
    qint64 GetBitsLength() const { return m_nBitsLength; }

    std::unique_ptr<quint8[], CFreeDeleter> m_pBits;
    quint8 m_bVisible = 1;
    quint8 m_nValue1007 = 0;
    qint32 m_nWidth;
    qint32 m_nHeight;
    qint32 m_nBitsPerPixel;
    qint32 m_nBytesPerPixel;

private:
    qint64 m_nBitsLength = 0;
};

// One page: its size, its depth and its layers (index 0 is the topmost).
class CKoma2Page : public CKoma2BaseData {
public:
    enum PageChunkId : quint16 {
        ID_WIDTH = 1005,
        ID_HEIGHT = 1006,
        ID_LINK_ID1 = 1007,
        ID_LINK_ID2 = 1008,
        ID_LAYER_DISPLAY_MODE = 2000,
        ID_VALUE2001 = 2001,
        ID_IGNORED2002 = 2002,
        ID_LAYER = 2003,
        ID_CURRENT_LAYER = 2004,
    };

    // New layers are charged to `layerBudget`.
    CKoma2Page(qint32 bitsPerPixel, CKoma2AllocationBudget& layerBudget);
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;

    const CKoma2Layer* GetLayer(int index) const {
        return static_cast<const CKoma2Layer*>(m_layers.GetAt(index));
    }

    CKoma2BaseDataPtrArray m_layers;
    qint32 m_nWidth = 0;
    qint32 m_nHeight = 0;
    quint8 m_nLayerDisplayMode = 0;
    qint32 m_nValue2001 = 0;
    CKoma2LinkToData m_link;
    qint32 m_nBitsPerPixel;

private:
    CKoma2AllocationBudget& m_layerBudget;
};

// One palette of m_nCount entries: colours stored blue, green, red.
class CKoma2Palette : public CKoma2BaseData {
public:
    enum PaletteChunkId : quint16 {
        ID_COLORS = 1005,
        ID_VALUES1007 = 1007,
        ID_EXTRA = 1009,
        ID_KINDS = 1010,
    };

    explicit CKoma2Palette(qint32 count);
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;

    std::unique_ptr<quint8[]> m_pColors;
    std::unique_ptr<quint8[]> m_pValues1007;
    std::unique_ptr<quint16[]> m_pExtra;
    std::unique_ptr<quint8[]> m_pKinds;
    qint32 m_nCount;
};

// The drawing.
class CKoma2Data : public CChunkSerializer {
public:
    enum ChunkId : quint16 {
        ID_BITS_PER_PIXEL = 1000,
        ID_VALUE1002 = 1002,
        ID_IGNORED2000 = 2000,
        ID_VALUE2001 = 2001,
        ID_VALUE2002 = 2002,
        ID_PAGE = 2003,
        ID_CURRENT_PAGE = 2004,
        ID_IGNORED3000 = 3000,
        ID_PALETTE_SIZE = 3001,
        ID_VALUE3002 = 3002,
        ID_PALETTE = 3003,
        ID_CURRENT_PALETTE = 3004,
        ID_BACK_COLOR1_INDEX = 3005,
        ID_BACK_COLOR2_INDEX = 3006,
        ID_BACK_COLOR1 = 3007,
        ID_BACK_COLOR2 = 3008,
    };

    CKoma2Data();
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;
    // Reads a KOMA2 file from the device's current position. Every failure
    // is reported once through ReportFailure and returns false.
    bool Load(QIODevice& file, QString* errorText) override;

    const CKoma2Page* GetCurrentPage() const {
        return static_cast<const CKoma2Page*>(m_pages.GetCurrent());
    }
    const CKoma2Palette* GetCurrentPalette() const {
        return static_cast<const CKoma2Palette*>(m_palettes.GetCurrent());
    }

    quint8 m_nBitsPerPixel = 0;
    quint8 m_nValue1002 = 0;
    CKoma2BaseDataPtrArray m_palettes;
    qint32 m_nPaletteSize = 0;
    qint32 m_nValue3002 = 0;
    CKoma2DrawBackColorInfo m_backColor1;
    CKoma2DrawBackColorInfo m_backColor2;
    CKoma2BaseDataPtrArray m_pages;
    qint32 m_nValue2001 = 0;
    quint8 m_nValue2002 = 0;

private:
    // Layers: at most KomLimits::kMaxLayerArea pixels each and
    // KomLimits::kMaxLoadedBytes for all layers of all pages together. A
    // blank layer needs no pixel chunk, so the body's length says nothing
    // about what the layers take.
    CKoma2AllocationBudget m_layerBudget;
    // Palettes: every palette stores its colours raw in the body, so the
    // colour tables of all palettes together are held to the body's length.
    CKoma2AllocationBudget m_paletteBudget{0};
};
