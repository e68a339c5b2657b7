#pragma once

#include <QtGlobal>

#include <memory>

// A device-independent bitmap held as a plain pixel buffer that the program
// writes directly. Rows are bottom-up: memory row 0 is the bottom line of the
// picture. At 24 bits a pixel is three bytes, blue, green, red. Every row is
// padded to a multiple of 4 bytes.
class CDibSection {
public:
    CDibSection() = default;
    virtual ~CDibSection() = default;
    CDibSection(const CDibSection&) = delete;
    CDibSection& operator=(const CDibSection&) = delete;

    // Releases any earlier pixels, then allocates a zeroed picture of the given
    // size at 8, 16, 24 or 32 bits per pixel. Fails and leaves the object
    // empty for another bit count, a size that is not positive, a picture
    // whose byte count does not fit a 32-bit signed value, or when the memory
    // cannot be had.
    virtual bool Create(qint32 width, qint32 height, qint32 bitsPerPixel);
    void Release();

    bool IsEmpty() const { return !m_pBits; }
    qint32 GetWidth() const { return m_nWidth; }
    qint32 GetHeight() const { return m_nHeight; }
    qint32 GetBitsPerPixel() const { return m_nBitsPerPixel; }
    qint32 GetBytesPerPixel() const { return m_nBytesPerPixel; }
    // Bytes per row: width × bytes per pixel, rounded up to a multiple of 4.
    qint32 GetStride() const { return m_nStride; }
    // Height × stride once created, else 0.
    qint32 GetImageSize() const { return m_nImageSize; }
    quint8* GetBits() { return m_pBits.get(); }
    const quint8* GetBits() const { return m_pBits.get(); }
    // The start of memory row `row`; row 0 is the bottom line.
    quint8* GetRow(qint32 row) { return m_pBits.get() + qint64(row) * m_nStride; }
    const quint8* GetRow(qint32 row) const { return m_pBits.get() + qint64(row) * m_nStride; }

private:
    std::unique_ptr<quint8[]> m_pBits;
    qint32 m_nWidth = 0;
    qint32 m_nHeight = 0;
    qint32 m_nBitsPerPixel = 0;
    qint32 m_nBytesPerPixel = 0;
    qint32 m_nStride = 0;
    qint32 m_nImageSize = 0;
};
