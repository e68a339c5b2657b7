// The two exports of a 1024 × 1024 drawing of 20 layers that the window
// offers, through ExportDocument as the window calls it: to KOM, and to PNG
// with the layers side by side (a 20480 × 1024 picture). Each iteration also
// runs `md5sum` over the document's own bytes as a separate process, so that
// the ratio of the two medians can be read from one run on a loaded machine:
// the counters measured (the export's median, ms), baseline (md5sum's
// median, ms), ratio (the first divided by the second) and limit (the ratio
// allowed: 1.5 for KOM, 4 for the tiled PNG). The benchmark's own time is
// the export's.
#include "convert/SerializerList.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

extern char** environ;

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

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Wall time of one `md5sum` process over the document, its output discarded.
double TimeMd5sum() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char program[] = "md5sum";
    char* argv[] = {program, const_cast<char*>(DocumentPath().constData()), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, program, &actions, nullptr, argv, environ) == 0)
        waitpid(pid, &status, 0);
    const double seconds = Seconds(start);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? seconds : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
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
        const double md5sum = TimeMd5sum();
        if (md5sum < 0) {
            state.SkipWithError("md5sum failed");
            break;
        }
        md5sums.push_back(md5sum);
        const auto start = std::chrono::steady_clock::now();
        if (!ExportDocument(list, document, path, tileLayers)) {
            state.SkipWithError("export failed");
            break;
        }
        exports.push_back(Seconds(start));
        state.SetIterationTime(exports.back());
    }
    const double md5sum = Median(md5sums);
    state.counters["measured"] = Median(exports) * 1e3;
    state.counters["baseline"] = md5sum * 1e3;
    state.counters["ratio"] = md5sum > 0 ? Median(exports) / md5sum : 0;
    state.counters["limit"] = limit;
    state.SetLabel(label);
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
