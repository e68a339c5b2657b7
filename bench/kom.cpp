// Speed of the KOM run-length coder and of the KOMA2 import.
#include "convert/KomSerializer.h"
#include "convert/KomaFile.h"
#include "model/KSData.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <zlib.h>

namespace {

constexpr qint64 kLayerBytes = qint64(20) << 20;

// Pixels that look like a drawing: spans of a few colours, some detail.
QByteArray DrawingPixels(qint64 count) {
    std::mt19937 random(42);
    QByteArray pixels(count, Qt::Uninitialized);
    qint64 i = 0;
    while (i < count) {
        const bool detail = random() % 4 == 0;
        const qint64 span =
            std::min<qint64>(detail ? 1 + random() % 6 : 8 + random() % 120, count - i);
        if (detail) {
            for (qint64 j = 0; j < span; ++j)
                pixels[i + j] = char(random());
        } else {
            std::memset(pixels.data() + i, int(random() % 8), size_t(span));
        }
        i += span;
    }
    return pixels;
}

const QByteArray& Layer() {
    static const QByteArray layer = DrawingPixels(kLayerBytes);
    return layer;
}

void BM_KomaCompress(benchmark::State& state) {
    const QByteArray& layer = Layer();
    QByteArray stream;
    QBuffer buffer(&stream);
    buffer.open(QIODevice::WriteOnly);
    CKomaCompress coder;
    for (auto _ : state) {
        buffer.seek(0);
        coder.Compress(buffer, reinterpret_cast<const quint8*>(layer.constData()), layer.size());
    }
    state.SetBytesProcessed(state.iterations() * kLayerBytes);
    state.counters["ratio"] = double(kLayerBytes) / double(buffer.pos());
}
BENCHMARK(BM_KomaCompress)->Unit(benchmark::kMillisecond);

void BM_KomaExpand(benchmark::State& state) {
    const QByteArray& layer = Layer();
    QByteArray stream;
    {
        QBuffer buffer(&stream);
        buffer.open(QIODevice::WriteOnly);
        CKomaCompress().Compress(buffer, reinterpret_cast<const quint8*>(layer.constData()),
                                 layer.size());
    }
    QBuffer buffer(&stream);
    buffer.open(QIODevice::ReadOnly);
    QByteArray out(kLayerBytes, Qt::Uninitialized);
    for (auto _ : state) {
        buffer.seek(0);
        CKomaCompress::Expand(buffer, reinterpret_cast<quint8*>(out.data()), out.size());
    }
    if (out != layer)
        state.SkipWithError("expanded pixels differ");
    state.SetBytesProcessed(state.iterations() * kLayerBytes);
}
BENCHMARK(BM_KomaExpand)->Unit(benchmark::kMillisecond);

// A chunk: id, size, payload.
QByteArray Chunk(quint16 id, const QByteArray& payload) {
    uchar head[6];
    qToLittleEndian<quint16>(id, head);
    qToLittleEndian<quint32>(quint32(payload.size()), head + 2);
    return QByteArray(reinterpret_cast<const char*>(head), 6) + payload;
}

QByteArray Word(quint16 value) {
    uchar bytes[2];
    qToLittleEndian(value, bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes), 2);
}

// A KOMA2 file of one 1024 × 1024 page with 20 layers and a 256-colour palette.
QByteArray Koma2File() {
    const int side = 1024;
    const QByteArray pixels = DrawingPixels(qint64(side) * side);
    QByteArray page = Chunk(1005, Word(side)) + Chunk(1006, Word(side));
    for (int i = 0; i < 20; ++i)
        page += Chunk(2003, Chunk(1005, QByteArray(1, 1)) + Chunk(1006, pixels));
    QByteArray palette = Chunk(1005, QByteArray(768, 'c')) + Chunk(1010, QByteArray(256, 2));
    const QByteArray body = Chunk(1000, QByteArray(1, 8)) + Chunk(3001, Word(256)) +
                            Chunk(3003, palette) + Chunk(3004, QByteArray(4, 0)) +
                            Chunk(2003, page) + Chunk(2004, QByteArray(4, 0));

    QByteArray file("KOMA2\0\0\1", 8);
    uchar length[4];
    qToLittleEndian<quint32>(quint32(body.size()), length);
    file.append(reinterpret_cast<const char*>(length), 4);
    uLongf compressedLength = compressBound(uLong(body.size()));
    QByteArray compressed(qsizetype(compressedLength), Qt::Uninitialized);
    compress2(reinterpret_cast<Bytef*>(compressed.data()), &compressedLength,
              reinterpret_cast<const Bytef*>(body.constData()), uLong(body.size()), 6);
    compressed.truncate(qsizetype(compressedLength));
    return file + compressed;
}

void BM_Koma2Import(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("page.kom");
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(Koma2File());
    }
    CKomSerializer serializer;
    for (auto _ : state) {
        CKSData document;
        if (!serializer.Import(document, path))
            state.SkipWithError("import failed");
        benchmark::DoNotOptimize(document.m_pLayers);
    }
    state.SetBytesProcessed(state.iterations() * qint64(20) * 1024 * 1024);
}
BENCHMARK(BM_Koma2Import)->Unit(benchmark::kMillisecond);

} // namespace
