#pragma once

#include "base/AutoDeletePtr.h"
#include "model/ChunkFile.h"

#include <QString>

#include <array>
#include <memory>
#include <vector>

// One layer of a device document: 8-bit palette indices, row by row from the
// top row. Layer 0 is the topmost.
class CKSLayer : public CChunkSerializer {
public:
    enum ChunkId : quint16 {
        ID_WIDTH = 1001,
        ID_HEIGHT = 1002,
        ID_BITS = 1003,
        ID_NAME = 1004,
        ID_VISIBLE = 1005,
        ID_ID = 1006,
    };

    void WriteChunks(CChunkFile& file) const override;
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;

    void SetName(const QString& name) { m_strName = name; }
    // Replaces the pixel buffer with `count` zeroed bytes.
    void AllocateBits(qint64 count);
    void FreeBits();
    qint64 GetBitsLength() const { return m_nBitsLength; }
    // The pixels when the buffer holds a full width × height picture of the
    // given size, else null. Layers loaded from a peer may hold no pixels or
    // fewer than their stated size suggests.
    quint8* PixelsFor(qint32 width, qint32 height) const;

    QString m_strName;
    std::unique_ptr<quint8[]> m_pBits;
    quint8 m_bVisible = 1;
    qint32 m_nID = 0;
    qint32 m_nWidth = 0;
    qint32 m_nHeight = 0;

private:
    qint64 m_nBitsLength = 0;
};

// One palette: colours (red, green, blue), an extra record of three 16-bit
// values per entry, and a kind byte per entry.
class CKSPalette : public CChunkSerializer {
public:
    enum ChunkId : quint16 {
        ID_COUNT = 1001,
        ID_COLORS = 1002,
        ID_EXTRA = 1003,
        ID_KINDS = 1004,
        ID_NAME = 1005,
    };

    // The most entries a loaded palette may have. A pixel is one byte, so no
    // layer can use more than 256 colours; every palette the importers make
    // has 256 entries, and the exporters read only the first 256. A stored
    // count above this is refused when the palette is read.
    static constexpr qint32 kMaxEntries = 256;

    void WriteChunks(CChunkFile& file) const override;
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;

    void SetName(const QString& name) { m_strName = name; }
    // Frees the tables and allocates `count` zero-filled entries in each.
    void Allocate(qint32 count);
    // Copies name and tables from `source` when both have the same count.
    void CopyFrom(const CKSPalette& source);
    // The colours as the 256-entry red-green-blue table that desktop files
    // hold: the first min(count, 256) entries, black beyond.
    std::array<quint8, 768> GetRgb256() const;

    QString m_strName;
    std::unique_ptr<quint8[]> m_pColors;
    std::unique_ptr<quint16[]> m_pExtra;
    std::unique_ptr<quint8[]> m_pKinds;
    qint32 m_nCount = 0;
};

// Owning array of chunk objects with a current index and a naming serial.
class CKSEditableArray : public CChunkSerializer {
public:
    enum ChunkId : quint16 {
        ID_CURRENT = 1001,
        ID_SERIAL = 1002,
        ID_ITEM = 1003,
    };

    void WriteChunks(CChunkFile& file) const override;
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;
    // Makes an empty element to read into; null when the array has none.
    virtual std::unique_ptr<CChunkSerializer> CreateItem() const { return nullptr; }

    int GetCount() const { return m_items.GetSize(); }
    bool IsValidIndex(qint64 index) const { return index >= 0 && index < GetCount(); }
    // Adds 1 to the serial and formats `format` (one integer field) with it.
    QString MakeName(const char* format);

    qint32 m_nCurrent = 0;
    qint32 m_nSerial = 0;

protected:
    CAutoDeletePtrArray<CChunkSerializer> m_items;
};

class CKSLayerArray : public CKSEditableArray {
public:
    std::unique_ptr<CChunkSerializer> CreateItem() const override;

    CKSLayer* GetLayer(int index) const { return static_cast<CKSLayer*>(m_items[index]); }
    // Inserts a new zero-filled layer at `index` (clamped to 0..count), with
    // the smallest free id from 1 and the next "Layer%02d" name.
    CKSLayer* AddNewLayer(qint32 width, qint32 height, int index);
    // The indices of the layers a display mode shows, in list order. Only
    // indices of existing layers are listed.
    void GetShownLayers(int mode, std::vector<int>& shown) const;
};

class CKSPaletteArray : public CKSEditableArray {
public:
    std::unique_ptr<CChunkSerializer> CreateItem() const override;

    CKSPalette* GetPalette(int index) const { return static_cast<CKSPalette*>(m_items[index]); }
    // Inserts a new 256-entry palette at index 0, named "Pal%02d".
    CKSPalette* AddNewPalette();
};

// A drawing as the app stores it and as it travels over the link.
class CKSData : public CChunkSerializer {
public:
    enum ChunkId : quint16 {
        ID_WIDTH = 1001,
        ID_HEIGHT = 1002,
        ID_LAYERS = 1003,
        ID_PALETTES = 1004,
        ID_LAYER_DISPLAY_MODE = 1005,
        ID_BACK_COLOR_INDEX = 1006,
        ID_TRANSPARENT_INDEX = 1007,
        ID_TEXT = 1008,
        ID_VALUE64 = 1009,
        ID_VALUE32 = 1010,
        ID_FLAG1011 = 1011,
    };

    static constexpr char kSignature[] = "KomaSlateData00";

    void WriteChunks(CChunkFile& file) const override;
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override;
    QByteArray GetSignature() const override;
    bool Save(QIODevice& file, QString* errorText) const override;
    bool Load(QIODevice& file, QString* errorText) override;
    // Saves into `bytes` through a memory stream whose buffer is reserved up
    // front from the layer and palette sizes, so that a large document is
    // written without the buffer being regrown and copied again and again.
    bool SaveToBytes(QByteArray& bytes, QString* errorText) const;

    // Makes the document a blank picture with one layer and one palette.
    bool Create(qint32 width, qint32 height);

    // The current layer or palette, or null when the index is out of range.
    CKSLayer* GetCurrentLayer() const;
    CKSPalette* GetCurrentPalette() const;
    int GetLayerCount() const { return m_pLayers ? m_pLayers->GetCount() : 0; }
    // True when the document can be read as a picture without going past a
    // buffer: a positive size, at least one layer, every layer of the
    // document's size with all its pixels, and valid current layer and
    // palette indices. Documents from the network may fail this.
    bool IsConsistent() const;

    qint32 m_nWidth = 0;
    qint32 m_nHeight = 0;
    std::unique_ptr<CKSLayerArray> m_pLayers;
    std::unique_ptr<CKSPaletteArray> m_pPalettes;
    quint8 m_nLayerDisplayMode = 0;
    quint8 m_nBackColorIndex = 0;
    quint8 m_nTransparentIndex = 0;
    QString m_strText;
    std::array<quint8, 8> m_nValue64{};
    qint32 m_nValue32 = 31;
    quint8 m_bFlag1011 = 0;
};
