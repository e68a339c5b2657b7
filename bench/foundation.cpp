// Throughput of the hexadecimal codec, MD5 and device-document save/load.
// Targets on the 2-core reference machine: hex decode and encode >= 1 GB/s,
// MD5 >= 0.9 x md5sum on the same bytes, document load and save >= 1 GB/s.
#include "base/TextRoutines.h"
#include "model/KSData.h"

#include <QBuffer>

#include <benchmark/benchmark.h>

namespace {

QByteArray PseudoRandomBytes(qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 12345;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = char(state >> 24);
    }
    return bytes;
}

constexpr qint64 kHexBytes = 40ll << 20;
constexpr qint64 kMd5Bytes = 20ll << 20;

void BM_HexEncode(benchmark::State& state) {
    const QByteArray bytes = PseudoRandomBytes(kHexBytes);
    QByteArray text;
    for (auto _ : state) {
        text.resize(0); // keeps the capacity, so the encoder is measured, not page faults
        AppendHex(text, bytes.constData(), bytes.size());
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * kHexBytes);
}
BENCHMARK(BM_HexEncode)->Unit(benchmark::kMillisecond);

void BM_HexDecode(benchmark::State& state) {
    const QByteArray text = BytesToHex(PseudoRandomBytes(kHexBytes / 2));
    QByteArray out;
    for (auto _ : state) {
        HexToBytes(text, 0, out); // reuses the capacity of `out`
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kHexBytes);
}
BENCHMARK(BM_HexDecode)->Unit(benchmark::kMillisecond);

void BM_MD5Hex(benchmark::State& state) {
    const QByteArray bytes = PseudoRandomBytes(kMd5Bytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(MD5Hex(bytes));
    state.SetBytesProcessed(state.iterations() * kMd5Bytes);
}
BENCHMARK(BM_MD5Hex)->Unit(benchmark::kMillisecond);

// A 1024 × 1024 document with 20 layers.
CKSData MakeLargeDocument() {
    CKSData document;
    document.Create(1024, 1024);
    for (int i = 1; i < 20; ++i)
        document.m_pLayers->AddNewLayer(1024, 1024, i);
    const QByteArray pixels = PseudoRandomBytes(1024 * 1024);
    for (int i = 0; i < 20; ++i)
        std::memcpy(document.m_pLayers->GetLayer(i)->m_pBits.get(), pixels.constData(),
                    pixels.size());
    return document;
}

void BM_DocumentSave(benchmark::State& state) {
    const CKSData document = MakeLargeDocument();
    qint64 bytes = 0;
    for (auto _ : state) {
        QByteArray saved;
        document.SaveToBytes(saved, nullptr);
        bytes = saved.size();
        benchmark::DoNotOptimize(saved.constData());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_DocumentSave)->Unit(benchmark::kMillisecond);

void BM_DocumentLoad(benchmark::State& state) {
    QBuffer saved;
    saved.open(QIODevice::WriteOnly);
    MakeLargeDocument().Save(saved, nullptr);
    const QByteArray bytes = saved.data();
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        CKSData document;
        if (!document.Load(buffer, nullptr))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(document.m_pLayers.get());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_DocumentLoad)->Unit(benchmark::kMillisecond);

} // namespace
