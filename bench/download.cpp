// Downloading a 1024 × 1024 × 20-layer device document (about 21 MB, 42 MB
// of hexadecimal on the wire) through the download window: the time from the
// GetFile request going out to the document reaching the save step, received,
// verified and read. The app is a loopback peer in the same process that
// answers with a reply built once beforehand. Baselines: MD5 of the same
// bytes with QCryptographicHash, and the wall time of running md5sum on them.
//
//   bench_download --benchmark_repetitions=5   the timings
//   bench_download --peak-rss                  the memory of one download
#include "link/GetFileTransaction.h"
#include "link/dialogs/WaitDlg.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"
#include "support/LinkTestSupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// A device document of the given size whose layers look like drawings.
QByteArray DocumentBytes(qint32 width, qint32 height, int layers) {
    CKSData document;
    document.Create(width, height);
    for (int i = 1; i < layers; ++i)
        document.m_pLayers->AddNewLayer(width, height, i);
    for (int i = 0; i < layers; ++i)
        std::memcpy(document.m_pLayers->GetLayer(i)->m_pBits.get(),
                    DrawingPixels(qint64(width) * height, quint32(i + 1)).constData(),
                    size_t(width) * height);
    QByteArray bytes;
    document.SaveToBytes(bytes, nullptr);
    return bytes;
}

QByteArray LargeDocumentBytes() {
    return DocumentBytes(1024, 1024, 20);
}

// The app's answer to GetFile: "ok:", the MD5 digest, a separator, the
// document in lower-case hexadecimal and a line feed.
QByteArray MakeReply(const QByteArray& document) {
    return "ok:" + QCryptographicHash::hash(document, QCryptographicHash::Md5).toHex() + '\r' +
           document.toHex() + '\n';
}

// Notes when the document reaches the save step and declines to save it.
class CStubTarget : public IDownloadTarget {
public:
    bool SaveDownloadedDocument(const CKSData& document, const QByteArray&,
                                const QString&) override {
        m_end = Clock::now();
        m_nLayers = document.GetLayerCount();
        return false;
    }
    Clock::time_point m_end;
    int m_nLayers = 0;
};

// The download, noting when it sends its request.
class CTimedGetFile : public CGetFileTransaction {
public:
    using CGetFileTransaction::CGetFileTransaction;
    Clock::time_point m_start;

protected:
    void StartRequest() override {
        m_start = Clock::now();
        CGetFileTransaction::StartRequest();
    }
};

// A link with a connected peer that answers every request with `reply`.
struct CLoopback {
    CLoopback() : pPeer(server.ConnectPeer()) {
        if (pPeer)
            pPeer->AnswerEachLine([this](const QByteArray&) { return reply; });
    }
    CListeningLink server;
    std::unique_ptr<CTestPeer> pPeer;
    QByteArray reply;
};

// Runs one download; the seconds from request to save step, or -1 when the
// document did not reach the save step.
double Download(CLoopback& loopback, int nLayers) {
    CStubTarget target;
    CTimedGetFile download(loopback.server.link, target, "bench");
    CWaitDlg dialog(download, nullptr);
    dialog.exec();
    if (target.m_nLayers != nLayers)
        return -1;
    return std::chrono::duration<double>(target.m_end - download.m_start).count();
}

struct CLargeData {
    QByteArray document = LargeDocumentBytes();
    QByteArray reply = MakeReply(document);
};

const CLargeData& LargeData() {
    static const CLargeData data;
    return data;
}

void BM_Download(benchmark::State& state) {
    CLoopback loopback;
    if (!loopback.pPeer) {
        state.SkipWithError("no loopback connection");
        return;
    }
    loopback.reply = LargeData().reply;
    for (auto _ : state) {
        const double seconds = Download(loopback, 20);
        if (seconds < 0) {
            state.SkipWithError("the document did not reach the save step");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(state.iterations() * LargeData().document.size());
}
BENCHMARK(BM_Download)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_QCryptographicHashMd5(benchmark::State& state) {
    const QByteArray& document = LargeData().document;
    for (auto _ : state)
        benchmark::DoNotOptimize(QCryptographicHash::hash(document, QCryptographicHash::Md5));
    state.SetBytesProcessed(state.iterations() * document.size());
}
BENCHMARK(BM_QCryptographicHashMd5)->UseRealTime()->Unit(benchmark::kMillisecond);

// The wall time of running md5sum on the document in a file (start to exit).
void BM_Md5sumProcess(benchmark::State& state) {
    const QByteArray& document = LargeData().document;
    QTemporaryFile file;
    if (!file.open() || file.write(document) != document.size() || !file.flush()) {
        state.SkipWithError("cannot write the temporary file");
        return;
    }
    const QByteArray digest = QCryptographicHash::hash(document, QCryptographicHash::Md5).toHex();
    for (auto _ : state) {
        QProcess process;
        const auto start = Clock::now();
        process.start(QStringLiteral("md5sum"), {file.fileName()});
        process.waitForFinished(-1);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!process.readAllStandardOutput().startsWith(digest)) {
            state.SkipWithError("md5sum failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * document.size());
}
BENCHMARK(BM_Md5sumProcess)->UseManualTime()->Unit(benchmark::kMillisecond);

long MaxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long CurrentRssKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Lowers the high-water mark of the resident size to the current size
// (Linux), so that the next peak is the download's own.
bool ResetPeakRss() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// One download of the large document, with the resident size before and
// after. A small download first brings in what any first download needs
// (the window, the socket buffers); then the reply is built and the document
// bytes it came from are freed, so that the idle figure holds the 42 MB
// reply only and the growth after it is the download's.
int PeakRssMode() {
    CLoopback loopback;
    if (!loopback.pPeer) {
        std::fprintf(stderr, "no loopback connection\n");
        return 1;
    }
    loopback.reply = MakeReply(DocumentBytes(64, 64, 2));
    if (Download(loopback, 2) < 0) {
        std::fprintf(stderr, "the small download failed\n");
        return 1;
    }
    loopback.reply = MakeReply(LargeDocumentBytes());
    const long nBuildPeak = MaxRssKiB();
    const long nIdle = CurrentRssKiB();
    const bool bReset = ResetPeakRss();
    const long nIdlePeak = MaxRssKiB();
    const double seconds = Download(loopback, 20);
    const long nAfter = MaxRssKiB();
    if (seconds < 0) {
        std::fprintf(stderr, "the download failed\n");
        return 1;
    }
    std::printf("reply built (%lld bytes): ru_maxrss %ld KiB, current RSS %ld KiB\n",
                static_cast<long long>(loopback.reply.size()), nBuildPeak, nIdle);
    std::printf("peak reset %s: ru_maxrss %ld KiB\n", bReset ? "done" : "FAILED", nIdlePeak);
    std::printf("after the download (%.0f ms): ru_maxrss %ld KiB\n", seconds * 1000, nAfter);
    std::printf("growth during the download: %ld KiB (peak after - current RSS before)\n",
                nAfter - nIdle);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--peak-rss") == 0)
        return PeakRssMode();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
