// The two exports of a 1024 × 1024 drawing of 20 layers that the window
// offers, through ExportDocument as the window calls it: to KOM, and to PNG
// with the layers side by side (a 20480 × 1024 picture). Each iteration also
// runs `md5sum` over the document's own bytes as a separate process, so that
// the ratio of the two medians can be read from one run on a loaded machine:
// the counters measured (the export's median, ms), baseline (md5sum's
// median, ms), ratio (the first divided by the second) and limit (the ratio
// allowed: 1.5 for KOM, 4 for the tiled PNG). The benchmark's own time is
// the export's.
#include "BenchSupport.h"

#include "convert/SerializerList.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

namespace {

constexpr int kSide = 1024;
constexpr int kLayers = 20;
constexpr int kRuns = 11;

const QTemporaryDir& Folder() {
    static const QTemporaryDir folder;
    return folder;
}

// Drawing-like layers, each with its own content, and a full palette.
const CKSData& Drawing() {
    static const CKSData* const document = [] {
        auto* made = new CKSData;
        made->Create(kSide, kSide);
        for (int i = 1; i < kLayers; ++i)
            made->m_pLayers->AddNewLayer(kSide, kSide, i);
        for (int i = 0; i < kLayers; ++i) {
            const QByteArray pixels = DrawingPixels(qint64(kSide) * kSide, 42 + quint32(i));
            std::memcpy(made->m_pLayers->GetLayer(i)->m_pBits.get(), pixels.constData(),
                        size_t(pixels.size()));
        }
        quint8* colors = made->GetCurrentPalette()->m_pColors.get();
        for (int k = 0; k < 768; ++k)
            colors[k] = quint8(k * 7);
        return made;
    }();
    return *document;
}

// The document as the device sends it, written once to the temp folder.
const QByteArray& DocumentPath() {
    static const QByteArray path = [] {
        QByteArray bytes;
        Drawing().SaveToBytes(bytes, nullptr);
        return WriteFile(Folder(), QStringLiteral("drawing.ksd"), bytes).toLocal8Bit();
    }();
    return path;
}

void RunExport(benchmark::State& state, const char* name, bool tileLayers, double limit,
               const char* label) {
    const CKSData& document = Drawing();
    DocumentPath();
    CSerializerList list;
    list.AddStandardSerializers();
    const QString path = Folder().filePath(QString::fromLatin1(name));
    std::vector<double> exports;
    std::vector<double> md5sums;
    for (auto _ : state) {
        const double md5sum = TimeMd5sum(DocumentPath());
        if (md5sum < 0) {
            state.SkipWithError("md5sum failed");
            break;
        }
        md5sums.push_back(md5sum);
        const auto start = BenchClock::now();
        if (!ExportDocument(list, document, path, tileLayers)) {
            state.SkipWithError("export failed");
            break;
        }
        exports.push_back(SecondsSince(start));
        state.SetIterationTime(exports.back());
    }
    ReportAgainstMd5sum(state, Median(exports), Median(md5sums), limit, label);
    state.counters["file_MB"] = double(QFileInfo(path).size()) / 1e6;
    state.SetBytesProcessed(state.iterations() * qint64(kLayers) * kSide * kSide);
}

void BM_ExportKom(benchmark::State& state) {
    RunExport(state, "drawing.kom", false, 1.5, "ms, KOM export of 1024 x 1024 x 20 layers");
}
BENCHMARK(BM_ExportKom)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(kRuns);

void BM_ExportTiledPng(benchmark::State& state) {
    RunExport(state, "tiled.png", true, 4, "ms, tiled PNG export of 1024 x 1024 x 20 layers");
}
BENCHMARK(BM_ExportTiledPng)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(kRuns);

} // namespace
