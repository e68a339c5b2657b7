#include "sim/Thumbnail.h"

#include "convert/PngSerializer.h"
#include "convert/SerializerList.h"
#include "model/KSData.h"

#include <QBuffer>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// The length of `side` scaled by box / longer, rounded, at least 1.
int Scaled(qint64 side, qint64 longer, int box) {
    return int(std::max<qint64>(1, (side * box + longer / 2) / longer));
}

} // namespace

QByteArray MakeThumbnailPng(const CKSData& document, int box, QSize* size) {
    if (!document.IsConsistent() || box <= 0)
        return {};
    const std::unique_ptr<CKSData> flat = FlattenShownLayers(document);
    const quint8* pixels = flat->GetCurrentLayer()->m_pBits.get();
    const std::array<quint8, 768> colors = flat->GetCurrentPalette()->GetRgb256();

    const qint64 width = document.m_nWidth;
    const qint64 height = document.m_nHeight;
    const qint64 longer = std::max(width, height);
    const int outWidth = Scaled(width, longer, box);
    const int outHeight = Scaled(height, longer, box);

    const quint8 transparent = document.m_nTransparentIndex;
    std::array<quint8, 3> back = {255, 255, 255};
    if (document.m_nBackColorIndex != transparent)
        std::memcpy(back.data(), &colors[size_t(document.m_nBackColorIndex) * 3], 3);

    std::vector<quint8> rgb(size_t(outWidth) * size_t(outHeight) * 3);
    quint8* out = rgb.data();
    for (int y = 0; y < outHeight; ++y) {
        // The source pixel under the centre of the thumbnail pixel.
        const qint64 sy = (2 * qint64(y) + 1) * height / (2 * qint64(outHeight));
        const quint8* row = pixels + sy * width;
        for (int x = 0; x < outWidth; ++x, out += 3) {
            const qint64 sx = (2 * qint64(x) + 1) * width / (2 * qint64(outWidth));
            const quint8 index = row[sx];
            std::memcpy(out, index == transparent ? back.data() : &colors[size_t(index) * 3], 3);
        }
    }

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!WriteRgbPng(buffer, quint32(outWidth), quint32(outHeight), rgb.data()))
        return {};
    if (size)
        *size = QSize(outWidth, outHeight);
    return png;
}
