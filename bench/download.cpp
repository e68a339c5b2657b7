// Downloading the largest drawing the app accepts, 1024 × 1024 × 20 layers
// (about 21 MB, a 42 MB line of hexadecimal on the wire), through the
// download window: the time from the GetFile request going out to the
// document reaching the save step, received, verified and read. The app is
// a peer on its own thread that answers with a reply built beforehand.
// Each run also times md5sum on the document's bytes, so the ratio of the
// medians is read from one run. A second benchmark measures the memory the
// download needs above the idle program.
#include "BenchSupport.h"

#include "link/GetFileTransaction.h"
#include "link/TransferPackets.h"
#include "link/dialogs/WaitDlg.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"
#include "support/LinkTestSupport.h"

#include <QApplication>
#include <QTemporaryFile>

#include <cstring>
#include <memory>

namespace {

constexpr int kRuns = 9;
constexpr double kTimeLimit = 1.5;   // × md5sum
constexpr double kMemoryLimit = 3.0; // × the document's size

// A device document whose layers look like drawings.
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

// Notes when the document reaches the save step and declines to save it.
class CStubTarget : public IDownloadTarget {
public:
    bool SaveDownloadedDocument(const CKSData& document, const QByteArray&,
                                const QString&) override {
        m_end = BenchClock::now();
        m_nLayers = document.GetLayerCount();
        return false;
    }
    BenchClock::time_point m_end;
    int m_nLayers = 0;
};

// The download, noting when it sends its request.
class CTimedGetFile : public CGetFileTransaction {
public:
    using CGetFileTransaction::CGetFileTransaction;
    BenchClock::time_point m_start;

protected:
    void StartRequest() override {
        m_start = BenchClock::now();
        CGetFileTransaction::StartRequest();
    }
};

// A listening link and an app on its thread that answers every request
// with `reply`.
struct CLoopback {
    CLoopback()
        : peer(server.link.Port(), [this](const QByteArray&) { return reply; }),
          bReady(peer.Connected() && WaitUntil([this] { return !server.accepted.isEmpty(); })) {}
    CListeningLink server;
    QByteArray reply; // set before a request goes out, read on the peer's thread
    CThreadPeer peer;
    bool bReady;
};

// Runs one download of a document of nSize bytes with nLayers layers; the
// seconds from request to save step, or -1 when it did not get there.
double Download(CLoopback& loopback, qint64 nSize, int nLayers) {
    CStubTarget target;
    CTimedGetFile download(loopback.server.link, target, "bench", nSize);
    CWaitDlg dialog(download, nullptr);
    dialog.exec();
    if (target.m_nLayers != nLayers)
        return -1;
    return SecondsSince(download.m_start);
}

struct CLargeData {
    QByteArray document = DocumentBytes(1024, 1024, 20);
    QByteArray reply = MakeDownloadReplyLine(document);
};

void BM_Download(benchmark::State& state) {
    CLoopback loopback;
    QTemporaryFile file;
    auto pData = std::make_unique<CLargeData>();
    if (!loopback.bReady || !file.open() || file.write(pData->document) != pData->document.size() ||
        !file.flush()) {
        state.SkipWithError("no loopback connection, or no temporary file");
        return;
    }
    loopback.reply = pData->reply;
    std::vector<double> downloads;
    std::vector<double> md5sums;
    for (auto _ : state) {
        md5sums.push_back(TimeMd5sum(QFile::encodeName(file.fileName())));
        const double seconds = Download(loopback, pData->document.size(), 20);
        if (seconds < 0 || md5sums.back() < 0) {
            state.SkipWithError("the document did not reach the save step, or md5sum failed");
            return;
        }
        downloads.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    ReportAgainstMd5sum(state, Median(downloads), Median(md5sums), kTimeLimit,
                        "ms, GetFile request to save step, 21 MB document");
    state.SetBytesProcessed(state.iterations() * pData->document.size());
}
BENCHMARK(BM_Download)->UseManualTime()->Iterations(kRuns)->Unit(benchmark::kMillisecond);

// The growth of the resident size during one download of the large
// document, against the document's size. A small download first brings in
// what any download needs (the window, the socket buffers); the reply is
// built before the idle figure is taken and the bytes it came from freed,
// so that the growth is the download's own.
void BM_DownloadPeakMemory(benchmark::State& state) {
    CLoopback loopback;
    if (!loopback.bReady) {
        state.SkipWithError("no loopback connection");
        return;
    }
    const QByteArray small = DocumentBytes(64, 64, 2);
    loopback.reply = MakeDownloadReplyLine(small);
    if (Download(loopback, small.size(), 2) < 0) {
        state.SkipWithError("the small download failed");
        return;
    }
    qint64 nDocument = 0;
    {
        const CLargeData data;
        nDocument = data.document.size();
        loopback.reply = data.reply;
    }
    double growthMiB = 0;
    for (auto _ : state) {
        const long nIdle = CurrentRssKiB();
        if (!ResetPeakRss()) {
            state.SkipWithError("the peak resident size cannot be reset here");
            return;
        }
        if (Download(loopback, nDocument, 20) < 0) {
            state.SkipWithError("the download failed");
            return;
        }
        growthMiB = double(PeakRssKiB() - nIdle) / 1024;
    }
    ReportAbsolute(state, growthMiB, kMemoryLimit * double(nDocument) / (1024 * 1024),
                   "MiB above the idle program at the download's peak (limit 3 × document)");
}
BENCHMARK(BM_DownloadPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
