#include "support/KomFixtures.h"

#include "support/Koma2Container.h"

#include <QFile>
#include <QtEndian>

#include <random>

namespace {

void AppendLe32(QByteArray& out, quint32 value) {
    uchar bytes[4];
    qToLittleEndian(value, bytes);
    out.append(reinterpret_cast<const char*>(bytes), 4);
}

void AppendLe16(QByteArray& out, quint16 value) {
    uchar bytes[2];
    qToLittleEndian(value, bytes);
    out.append(reinterpret_cast<const char*>(bytes), 2);
}

} // namespace

CChunkList& CChunkList::Byte(quint16 id, quint8 value) {
    return Data(id, QByteArray(1, char(value)));
}

CChunkList& CChunkList::Word(quint16 id, quint16 value) {
    QByteArray payload;
    AppendLe16(payload, value);
    return Data(id, payload);
}

CChunkList& CChunkList::Long(quint16 id, qint32 value) {
    QByteArray payload;
    AppendLe32(payload, quint32(value));
    return Data(id, payload);
}

CChunkList& CChunkList::Data(quint16 id, const QByteArray& payload) {
    AppendLe16(m_bytes, id);
    AppendLe32(m_bytes, quint32(payload.size()));
    m_bytes += payload;
    return *this;
}

QByteArray Koma2File(const QByteArray& body, quint8 mode, qint64 declaredLength) {
    return Koma2Container(body, mode, declaredLength);
}

CChunkList Koma2Layer(const QByteArray& pixels, const QByteArray& name, quint8 visible) {
    CChunkList layer;
    if (!name.isEmpty())
        layer.Data(1000, name);
    layer.Byte(1005, visible).Data(1006, pixels);
    return layer;
}

CChunkList Koma2Page(quint16 width, quint16 height, std::initializer_list<CChunkList> layers) {
    CChunkList page;
    page.Word(1005, width).Word(1006, height);
    for (const CChunkList& layer : layers)
        page.Object(2003, layer);
    page.Long(2004, 0);
    return page;
}

CChunkList Koma2Drawing(const CChunkList& page, quint16 paletteCount) {
    QByteArray colors;
    for (int k = 0; k < paletteCount; ++k) {
        colors.append(char(k));
        colors.append(char(k + 1));
        colors.append(char(k + 2));
    }
    CChunkList palette;
    palette.Data(1005, colors);
    CChunkList drawing;
    drawing.Byte(1000, 8)
        .Word(3001, paletteCount)
        .Object(3003, palette)
        .Long(3004, 0)
        .Object(2003, page)
        .Long(2004, 0);
    return drawing;
}

QByteArray DrawingPixels(qint64 count, quint32 seed) {
    std::mt19937 random(seed);
    QByteArray pixels(count, Qt::Uninitialized);
    qint64 i = 0;
    while (i < count) {
        const bool detail = random() % 4 == 0;
        const qint64 span = detail ? 1 + random() % 6 : 8 + random() % 120;
        const char color = char(detail ? random() % 256 : random() % 8);
        for (qint64 j = 0; j < span && i < count; ++j, ++i)
            pixels[i] = detail ? char(random() % 256) : color;
    }
    return pixels;
}

QByteArray KomHeader(qint32 width, qint32 height, quint16 layerCount, quint8 transparent) {
    QByteArray header("KOMA", 4);
    header.append(6, '\0');
    AppendLe32(header, quint32(width));
    AppendLe32(header, quint32(height));
    AppendLe16(header, layerCount);
    header.append(char(transparent));
    for (int i = 0; i < 768; ++i)
        header.append(char(i % 251));
    return header;
}

QByteArray KomLayerRecord(const QByteArray& name, quint8 visible, const QByteArray& stream) {
    QByteArray record = name.left(80);
    record.append(80 - record.size(), '\0');
    record.append(char(visible));
    return record + stream;
}

QByteArray KomStream(std::initializer_list<CRunSpec> runs, const QByteArray& literals,
                     qint64 declaredLiteralCount) {
    QByteArray stream;
    AppendLe32(stream, quint32(runs.size()));
    for (const CRunSpec& run : runs) {
        AppendLe32(stream, run.position);
        AppendLe32(stream, run.length);
        stream.append(char(run.value));
    }
    AppendLe32(stream, quint32(declaredLiteralCount < 0 ? literals.size() : declaredLiteralCount));
    return stream + literals;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
