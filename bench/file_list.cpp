// The list of 200 drawings with 88 x 88 thumbnails, as the main window
// fetches it when an app connects: the time from the app's connection to the
// window having handled the last thumbnail reply (the list transaction's
// window has closed and 200 rows are shown). The app is a loopback peer in
// this process answering with replies built beforehand, so the time is the
// window's: the version and list transactions, 200 thumbnail round trips,
// decoding and the rows. Target: under 0.2 s.
#include "BenchApp.h"

#include "mainwnd/FileListCtrl.h"
#include "mainwnd/KomaSlateServerDlg.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QTemporaryDir>

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
    state.counters["measured"] = Median(times);
    state.counters["limit"] = kLimitSeconds;
    state.SetLabel("s, connection to last thumbnail reply, 200 drawings");
}
BENCHMARK(BM_FileList200)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);

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
