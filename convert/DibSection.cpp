#include "convert/DibSection.h"

#include <climits>
#include <new>

bool CDibSection::Create(qint32 width, qint32 height, qint32 bitsPerPixel) {
    Release();
    if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
        return false;
    if (width <= 0 || height <= 0)
        return false;
    const qint64 bytesPerPixel = bitsPerPixel / 8;
    const qint64 stride = (qint64(width) * bytesPerPixel + 3) & ~qint64(3);
    // The image size is a 32-bit value; a picture it cannot describe is
    // refused before anything is allocated.
    if (stride > INT_MAX / height)
        return false;
    const qint64 imageSize = stride * height;
    m_pBits.reset(new (std::nothrow) quint8[size_t(imageSize)]());
    if (!m_pBits)
        return false;
    m_nWidth = width;
    m_nHeight = height;
    m_nBitsPerPixel = bitsPerPixel;
    m_nBytesPerPixel = qint32(bytesPerPixel);
    m_nStride = qint32(stride);
    m_nImageSize = qint32(imageSize);
    return true;
}

void CDibSection::Release() {
    m_pBits.reset();
    m_nWidth = 0;
    m_nHeight = 0;
    m_nBitsPerPixel = 0;
    m_nBytesPerPixel = 0;
    m_nStride = 0;
    m_nImageSize = 0;
}
