// The list of 200 drawings with 88 x 88 thumbnails, as the main window
// fetches it when an app connects: the time from the app's connection to the
// window having handled the last thumbnail reply (the list transaction's
// window has closed and 200 rows are shown). The app is a loopback peer in
// this process answering with replies built beforehand, so the time is the
// window's: the version and list transactions, 200 thumbnail round trips,
// decoding and the rows. Target: under 0.2 s.
//
// The same list served by the simulator as a process of its own (200
// drawings of 88 x 88 in its store) is timed from the window showing the
// version check, right after it accepted the connection; that time includes
// the simulator reading each drawing and making its thumbnail on request,
// so it carries no target of its own.
#include "BenchApp.h"
#include "base/LargeBuffers.h"

#include "link/dialogs/WaitDlg.h"
#include "mainwnd/FileListCtrl.h"
#include "mainwnd/KomaSlateServerDlg.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>

#include <benchmark/benchmark.h>

namespace {

constexpr int kDrawings = 200;
constexpr int kThumbSide = 88;
constexpr double kLimitSeconds = 0.2;

void Prepare(CBenchApp& app) {
    static const auto replies = [] {
        std::vector<QByteArray> names;
        QHash<QByteArray, QByteArray> thumbs;
        for (int i = 0; i < kDrawings; ++i) {
            names.push_back("drawing " + QByteArray::number(i));
            thumbs.insert(names.back(), ThumbReply(BlockPicture(kThumbSide, quint32(i))));
        }
        return std::make_pair(ListReply(names, 200000), thumbs);
    }();
    app.list = replies.first;
    app.thumbs = replies.second;
}

void BM_FileList200(benchmark::State& state) {
    QTemporaryDir folder;
    CKomaSlateServerDlg window(0, folder.filePath(QStringLiteral("settings.ini")));
    window.show();
    CFileListCtrl& list = *window.FileList();
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CBenchApp app(window.Link().Port());
        Prepare(app);
        const bool listed = WaitUntil([&] {
            return list.rowCount() == kDrawings && !QApplication::activeModalWidget() &&
                   app.Requests() == kDrawings + 2;
        });
        const double seconds = SecondsSince(start);
        if (!listed || list.RowPicture(kDrawings - 1).isNull()) {
            state.SkipWithError("the window did not list every drawing with its picture");
            return;
        }
        times.push_back(seconds);
        state.SetIterationTime(seconds);
        app.Close();
        if (!WaitUntil([&] { return !window.Link().IsConnected() && list.rowCount() == 0; })) {
            state.SkipWithError("the window kept the connection");
            return;
        }
    }
    ReportAbsolute(state, Median(times), kLimitSeconds,
                   "s, connection to last thumbnail reply, 200 drawings");
}
BENCHMARK(BM_FileList200)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);

// Notes when the first progress window is shown after Reset.
class CFirstShow : public QObject {
public:
    CFirstShow() { qApp->installEventFilter(this); }
    ~CFirstShow() override { qApp->removeEventFilter(this); }
    void Reset() { m_bSeen = false; }
    bool Seen() const { return m_bSeen; }
    std::chrono::steady_clock::time_point Time() const { return m_time; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_bSeen && event->type() == QEvent::Show && qobject_cast<CWaitDlg*>(watched)) {
            m_bSeen = true;
            m_time = std::chrono::steady_clock::now();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_bSeen = false;
    std::chrono::steady_clock::time_point m_time;
};

// A simulator store of kDrawings drawings of kThumbSide x kThumbSide, so
// that the simulator's thumbnail of each is the drawing itself and costs it
// little: the time is the window's and the connection's.
bool FillStore(const QString& folder) {
    CKSData document;
    document.Create(kThumbSide, kThumbSide);
    std::memcpy(document.m_pLayers->GetLayer(0)->m_pBits.get(),
                DrawingPixels(kThumbSide * kThumbSide, 3).constData(), kThumbSide * kThumbSide);
    quint8* colors = document.GetCurrentPalette()->m_pColors.get();
    for (int k = 0; k < 768; ++k)
        colors[k] = quint8(k * 7);
    QByteArray bytes;
    if (!document.SaveToBytes(bytes, nullptr))
        return false;
    for (int i = 0; i < kDrawings; ++i) {
        QFile file(QDir(folder).filePath(QStringLiteral("drawing %1.ksd").arg(i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

void BM_FileList200Simulator(benchmark::State& state) {
    QTemporaryDir folder;
    const QString store = folder.filePath(QStringLiteral("store"));
    if (!QDir().mkpath(store) || !FillStore(store)) {
        state.SkipWithError("cannot fill the simulator's store");
        return;
    }
    CKomaSlateServerDlg window(0, folder.filePath(QStringLiteral("settings.ini")));
    window.show();
    CFileListCtrl& list = *window.FileList();
    // The window shows the version check's progress window as soon as it
    // has accepted the connection.
    CFirstShow versionCheck;
    std::vector<double> times;
    for (auto _ : state) {
        versionCheck.Reset();
        QProcess simulator;
        simulator.start(QStringLiteral(KS_DEVICESIM_PATH),
                        {"--once", "--quiet", "--port", QString::number(window.Link().Port()),
                         "--store", store});
        const bool listed = WaitUntil(
            [&] { return list.rowCount() == kDrawings && !QApplication::activeModalWidget(); });
        const double seconds = SecondsSince(versionCheck.Time());
        if (!listed || !versionCheck.Seen() || list.RowPicture(kDrawings - 1).isNull()) {
            state.SkipWithError("the window did not list every drawing with its picture");
            return;
        }
        times.push_back(seconds);
        state.SetIterationTime(seconds);
        window.Disconnect();
        if (!WaitUntil([&] { return simulator.state() == QProcess::NotRunning; })) {
            state.SkipWithError("the simulator did not end");
            return;
        }
    }
    state.counters["measured"] = Median(times);
    state.SetLabel("s, connection to last thumbnail reply, 200 drawings, simulator");
}
BENCHMARK(BM_FileList200Simulator)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    KeepLargeBuffersResident(); // as the program does
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
