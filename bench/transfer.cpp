// Moving the largest drawing the app accepts, 1024 × 1024 × 20 layers (about
// 21 MB, a 42 MB line of hexadecimal on the wire), both ways through the
// progress window:
// - download: from the GetFile request going out to the document reaching
//   the save step, received, verified and read; and the memory that needs
//   above the idle program;
// - upload: from the file chosen in the open dialog (a KOM file) to the
//   last byte of the SetFile line reaching the app.
// The app is a peer on its own thread that answers at once (a download with
// a reply built beforehand). Each run also times md5sum on the document's
// bytes, so the ratio of the medians is read from one run.
#include "BenchSupport.h"

#include "base/LargeBuffers.h"
#include "convert/SerializerList.h"
#include "link/GetFileTransaction.h"
#include "link/SetFileTransaction.h"
#include "link/TransferPackets.h"
#include "link/UploadRules.h"
#include "link/dialogs/WaitDlg.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"
#include "support/LinkTestSupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cstring>
#include <memory>

namespace {

constexpr int kRuns = 9;
constexpr double kDownloadLimit = 1.5; // × md5sum
constexpr double kUploadLimit = 2.0;   // × md5sum
constexpr double kMemoryLimit = 3.0;   // × the document's size

// A drawing whose layers look like drawings.
void MakeDrawing(CKSData& document, qint32 width, qint32 height, int layers) {
    document.Create(width, height);
    for (int i = 1; i < layers; ++i)
        document.m_pLayers->AddNewLayer(width, height, i);
    for (int i = 0; i < layers; ++i)
        std::memcpy(document.m_pLayers->GetLayer(i)->m_pBits.get(),
                    DrawingPixels(qint64(width) * height, quint32(i + 1)).constData(),
                    size_t(width) * height);
}

QByteArray DocumentBytes(qint32 width, qint32 height, int layers) {
    CKSData document;
    MakeDrawing(document, width, height, layers);
    QByteArray bytes;
    document.SaveToBytes(bytes, nullptr);
    return bytes;
}

// The device document's bytes in a file, for md5sum.
class CMd5sumFile {
public:
    explicit CMd5sumFile(const QByteArray& document) {
        m_bReady = m_file.open() && m_file.write(document) == document.size() && m_file.flush();
    }
    bool Ready() const { return m_bReady; }
    double Time() const { return TimeMd5sum(QFile::encodeName(m_file.fileName())); }

private:
    QTemporaryFile m_file;
    bool m_bReady = false;
};

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
// with answer(line).
struct CLoopback {
    explicit CLoopback(CThreadPeer::Answer answer)
        : peer(server.link.Port(), std::move(answer)),
          bReady(peer.Connected() && WaitUntil([this] { return !server.accepted.isEmpty(); })) {}
    CListeningLink server;
    CThreadPeer peer;
    bool bReady;
};

// An app that answers every GetFile with `reply`, set before the request
// goes out and read on the peer's thread.
struct CDownloadLoopback : CLoopback {
    CDownloadLoopback() : CLoopback([this](const QByteArray&) { return reply; }) {}
    QByteArray reply;
};

// Runs one download of a document of nSize bytes with nLayers layers; the
// seconds from request to save step, or -1 when it did not get there.
double Download(CDownloadLoopback& loopback, qint64 nSize, int nLayers) {
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
    CDownloadLoopback loopback;
    auto pData = std::make_unique<CLargeData>();
    const CMd5sumFile md5sumFile(pData->document);
    if (!loopback.bReady || !md5sumFile.Ready()) {
        state.SkipWithError("no loopback connection, or no temporary file");
        return;
    }
    loopback.reply = pData->reply;
    std::vector<double> downloads;
    std::vector<double> md5sums;
    for (auto _ : state) {
        md5sums.push_back(md5sumFile.Time());
        const double seconds = Download(loopback, pData->document.size(), 20);
        if (seconds < 0 || md5sums.back() < 0) {
            state.SkipWithError("the document did not reach the save step, or md5sum failed");
            return;
        }
        downloads.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    ReportAgainstMd5sum(state, Median(downloads), Median(md5sums), kDownloadLimit,
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
    CDownloadLoopback loopback;
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
        // What the small download left in the heap goes back first, as it
        // does when the window's command ends.
        ReleaseKeptBuffers();
        const qint64 nIdle = ResidentKb();
        if (!ResetPeakResident()) {
            state.SkipWithError("the peak resident size cannot be reset here");
            return;
        }
        if (Download(loopback, nDocument, 20) < 0) {
            state.SkipWithError("the download failed");
            return;
        }
        growthMiB = double(PeakResidentKb() - nIdle) / 1024;
    }
    ReportAbsolute(state, growthMiB, kMemoryLimit * double(nDocument) / (1024 * 1024),
                   "MiB above the idle program at the download's peak (limit 3 × document)");
}
BENCHMARK(BM_DownloadPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// The app's side of an upload: the name is free, and the moment the last
// byte of the SetFile line arrives is noted.
class CUploadApp {
public:
    QByteArray Answer(const QByteArray& line) {
        if (line.startsWith("IsOverwrite:")) {
            const QByteArray name = line.sliced(12).chopped(1);
            return "ok:" + MakeOverwriteAnswer(false, name, name + "_2") + '\n';
        }
        m_received = BenchClock::now();
        m_bSetFileValid = line.startsWith("SetFile:bench\r");
        return "ok:\n";
    }
    std::atomic<BenchClock::time_point> m_received;
    std::atomic<bool> m_bSetFileValid = false;
};

// Never asked: the app reports the name free.
class CNoOverwrite : public IOverwriteChooser {
public:
    Choice ChooseOverwrite(const QString&, const QString&) override { return CANCEL; }
};

void BM_Upload(benchmark::State& state) {
    CUploadApp app;
    CLoopback loopback([&app](const QByteArray& line) { return app.Answer(line); });
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.kom"));
    CSerializerList serializers;
    serializers.AddStandardSerializers();
    QByteArray document;
    {
        CKSData drawing;
        MakeDrawing(drawing, 1024, 1024, 20);
        drawing.SaveToBytes(document, nullptr);
        if (!ExportDocument(serializers, drawing, path, false)) {
            state.SkipWithError("cannot write the KOM file");
            return;
        }
    }
    const CMd5sumFile md5sumFile(document);
    if (!loopback.bReady || !md5sumFile.Ready()) {
        state.SkipWithError("no loopback connection, or no temporary file");
        return;
    }
    CNoOverwrite chooser;
    std::vector<double> uploads;
    std::vector<double> md5sums;
    for (auto _ : state) {
        md5sums.push_back(md5sumFile.Time());
        app.m_bSetFileValid = false;
        // The open dialog has just returned `path`: what the window does next.
        const auto start = BenchClock::now();
        CKSData drawing;
        const std::optional<QString> name =
            PrepareUpload(path, 4, drawing, [&](CKSData& target, const QString& file) {
                return ImportDocument(serializers, target, file);
            });
        if (!name) {
            state.SkipWithError("the KOM file was refused");
            return;
        }
        CSetFileTransaction upload(loopback.server.link, chooser, drawing, *name);
        CWaitDlg dialog(upload, nullptr);
        if (dialog.exec() != CWaitDlg::kSucceeded || !app.m_bSetFileValid || md5sums.back() < 0) {
            state.SkipWithError("the upload failed, or md5sum failed");
            return;
        }
        uploads.push_back(std::chrono::duration<double>(app.m_received.load() - start).count());
        state.SetIterationTime(uploads.back());
    }
    ReportAgainstMd5sum(state, Median(uploads), Median(md5sums), kUploadLimit,
                        "ms, KOM file chosen to the SetFile line received, 21 MB document");
    state.SetBytesProcessed(state.iterations() * document.size());
}
BENCHMARK(BM_Upload)->UseManualTime()->Iterations(kRuns)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    KeepLargeBuffersResident();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
