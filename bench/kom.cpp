// Speed of the KOM run-length coder and of the KOMA2 import.
#include "convert/KomSerializer.h"
#include "convert/KomaFile.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>

namespace {

constexpr qint64 kLayerBytes = qint64(20) << 20;

const QByteArray& Layer() {
    static const QByteArray layer = DrawingPixels(kLayerBytes, 42);
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

// A KOMA2 file of one 1024 × 1024 page with 20 layers and a 256-colour palette.
QByteArray Koma2PageFile() {
    const int side = 1024;
    const QByteArray pixels = DrawingPixels(qint64(side) * side, 42);
    CChunkList page;
    page.Word(1005, side).Word(1006, side);
    for (int i = 0; i < 20; ++i)
        page.Object(2003, Koma2Layer(pixels));
    page.Long(2004, 0);
    return Koma2File(Koma2Drawing(page).Bytes());
}

void BM_Koma2Import(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("page.kom");
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(Koma2PageFile());
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
