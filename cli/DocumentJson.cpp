#include "cli/DocumentJson.h"

#include "base/LittleEndian.h"
#include "base/TextRoutines.h"
#include "model/KSData.h"

#include <QJsonArray>

#include <vector>

namespace {

QJsonValue Md5OrNull(const void* data, qint64 length) {
    if (!data)
        return QJsonValue::Null;
    return QString::fromLatin1(MD5Hex(static_cast<const char*>(data), length));
}

QJsonValue DescribeLayers(const CKSLayerArray* layers) {
    if (!layers)
        return QJsonValue::Null;
    QJsonArray items;
    for (int i = 0; i < layers->GetCount(); ++i) {
        const CKSLayer* layer = layers->GetLayer(i);
        const quint8* pixels = layer->PixelsFor(layer->m_nWidth, layer->m_nHeight);
        items.append(QJsonObject{
            {"name", layer->m_strName},
            {"id", layer->m_nID},
            {"visible", layer->m_bVisible},
            {"width", layer->m_nWidth},
            {"height", layer->m_nHeight},
            {"pixelsMd5", Md5OrNull(pixels, qint64(layer->m_nWidth) * layer->m_nHeight)},
        });
    }
    return QJsonObject{
        {"current", layers->m_nCurrent}, {"serial", layers->m_nSerial}, {"items", items}};
}

QJsonValue ExtraMd5(const CKSPalette& palette) {
    if (!palette.m_pExtra)
        return QJsonValue::Null;
    // Digest of the table as the file stores it: little-endian 16-bit values.
    std::vector<quint16> stored(size_t(palette.m_nCount) * 3);
    LittleEndian::PutAll<quint16>(palette.m_pExtra.get(), qsizetype(stored.size()), stored.data());
    return Md5OrNull(stored.data(), qint64(stored.size()) * 2);
}

QJsonValue DescribePalettes(const CKSPaletteArray* palettes) {
    if (!palettes)
        return QJsonValue::Null;
    QJsonArray items;
    for (int i = 0; i < palettes->GetCount(); ++i) {
        const CKSPalette* palette = palettes->GetPalette(i);
        items.append(QJsonObject{
            {"name", palette->m_strName},
            {"count", palette->m_nCount},
            {"colorsMd5", Md5OrNull(palette->m_pColors.get(), qint64(palette->m_nCount) * 3)},
            {"extraMd5", ExtraMd5(*palette)},
            {"kindsMd5", Md5OrNull(palette->m_pKinds.get(), palette->m_nCount)},
        });
    }
    return QJsonObject{
        {"current", palettes->m_nCurrent}, {"serial", palettes->m_nSerial}, {"items", items}};
}

} // namespace

QJsonObject DescribeDocument(const CKSData& document, const QString& format) {
    const auto* value64 = reinterpret_cast<const char*>(document.m_nValue64.data());
    return QJsonObject{
        {"format", format},
        {"width", document.m_nWidth},
        {"height", document.m_nHeight},
        {"layerDisplayMode", document.m_nLayerDisplayMode},
        {"backColorIndex", document.m_nBackColorIndex},
        {"transparentIndex", document.m_nTransparentIndex},
        {"text", document.m_strText},
        {"value64", QString::fromLatin1(BytesToHex(value64, qint64(document.m_nValue64.size())))},
        {"value32", document.m_nValue32},
        {"flag1011", document.m_bFlag1011},
        {"layers", DescribeLayers(document.m_pLayers.get())},
        {"palettes", DescribePalettes(document.m_pPalettes.get())},
    };
}
