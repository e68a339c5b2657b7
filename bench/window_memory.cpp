// The main window's resident memory: idle, right after start (target: under
// 45 MB), and its growth over use: 100 downloads of a typical drawing saved
// as PNG and 100 uploads of those files, through the window's own commands
// (Download with "save the rest alike", files dropped on the window), against
// a loopback app in this process (target: back within 5 MB of where it was
// before, once the window is idle again). The growth is taken from the
// connected window with its list shown, after one download and one upload
// have brought in what any first use needs (the save dialog's code and
// icons), so that it is what using the window keeps.
#include "BenchApp.h"
#include "base/LargeBuffers.h"

#include "convert/dialogs/KomaSlateServerFileDialog.h"
#include "mainwnd/FileListCtrl.h"
#include "mainwnd/KomaSlateServerDlg.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"
#include "support/TestSupport.h"
#include "support/WidgetTestSupport.h"
#include "ui/DialogUnits.h"
#include "ui/Translations.h"

#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

namespace {

constexpr double kIdleLimitMB = 45;
constexpr double kGrowthLimitMB = 5;
constexpr int kUses = 100;
constexpr int kListed = kUses;

// A drawing of the size the app allows every version: 320 x 480, 3 layers.
QByteArray TypicalDocument() {
    CKSData document;
    document.Create(320, 480);
    for (int i = 1; i < 3; ++i)
        document.m_pLayers->AddNewLayer(320, 480, i);
    for (int i = 0; i < 3; ++i)
        std::memcpy(document.m_pLayers->GetLayer(i)->m_pBits.get(),
                    DrawingPixels(320 * 480, quint32(i + 7)).constData(), 320 * 480);
    QByteArray bytes;
    document.SaveToBytes(bytes, nullptr);
    return bytes;
}

// Ticks "save the rest alike" in the first save dialog of a download and
// saves to `folder` as PNG.
void AnswerSave(CKomaSlateServerFileDialog* dialog, const QString& folder) {
    for (const QString& filter : dialog->nameFilters()) {
        if (filter.contains(QStringLiteral("*.png")))
            dialog->selectNameFilter(filter);
    }
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    dialog->TileLayersBox()->setChecked(false);
    if (dialog->SaveRestBox())
        dialog->SaveRestBox()->setChecked(true);
    edit->setText(QDir(folder).filePath(QFileInfo(edit->text()).completeBaseName() + ".png"));
    dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Save)
        ->click();
}

// The window and the app, for both benchmarks of this program.
struct CScene {
    QTemporaryDir settings;
    QTemporaryDir saved;
    std::unique_ptr<CKomaSlateServerDlg> window;
    std::unique_ptr<CBenchApp> app;
    CMessageBoxAnswerer boxes;
    QString error;

    bool Idle() const {
        return !QApplication::activeModalWidget() && window->Link().IsConnected() &&
               window->FileList()->rowCount() == kListed;
    }

    // Downloads the first `count` rows and uploads what was saved; false
    // with `error` set when not every one went through.
    bool Use(int count) {
        QDir(saved.path()).removeRecursively();
        QDir().mkpath(saved.path());
        COnShow<CKomaSlateServerFileDialog> answer(
            [this](CKomaSlateServerFileDialog* dialog) { AnswerSave(dialog, saved.path()); });
        CFileListCtrl& list = *window->FileList();
        list.clearSelection();
        for (int row = 0; row < count; ++row)
            list.selectionModel()->select(list.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window->OnDownload();
        QStringList paths;
        for (const QFileInfo& file : QDir(saved.path()).entryInfoList(QDir::Files))
            paths.append(file.absoluteFilePath());
        if (paths.size() != count) {
            error = QStringLiteral("%1 of %2 downloads saved").arg(paths.size()).arg(count);
            return false;
        }
        const qint64 requestsBefore = app->Requests();
        window->OnDropFiles(paths);
        // Each upload asks IsOverwrite and SetFile; the list is fetched again.
        const qint64 expected = 2 * qint64(count) + 1 + kListed;
        if (!WaitUntil([&] { return Idle(); }) || app->Requests() - requestsBefore != expected) {
            error = QStringLiteral("the uploads did not all go through");
            return false;
        }
        if (!boxes.texts.isEmpty()) {
            error = boxes.texts.join(u'\n');
            return false;
        }
        return true;
    }
};

// Made by the first benchmark and ended in main, while the application
// still exists.
std::unique_ptr<CScene> g_pScene;

CScene& Scene() {
    if (!g_pScene)
        g_pScene = std::make_unique<CScene>();
    return *g_pScene;
}

void BM_IdleWindowResident(benchmark::State& state) {
    CScene& scene = Scene();
    double resident = -1;
    for (auto _ : state) {
        scene.window =
            std::make_unique<CKomaSlateServerDlg>(0, scene.settings.filePath("settings.ini"));
        scene.window->show();
        WaitUntil([&] { return scene.window->isVisible(); });
        QApplication::processEvents();
        resident = ResidentMB();
    }
    if (resident < 0)
        state.SkipWithError("no resident size");
    ReportAbsolute(state, resident, kIdleLimitMB, "MB resident, idle window");
}
BENCHMARK(BM_IdleWindowResident)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GrowthAfterUse(benchmark::State& state) {
    CScene& scene = Scene();
    if (!scene.window) {
        state.SkipWithError("run with the idle window benchmark before it");
        return;
    }
    double growth = -1;
    for (auto _ : state) {
        const QByteArray document = TypicalDocument();
        const QByteArray reply =
            "ok:" + QCryptographicHash::hash(document, QCryptographicHash::Md5).toHex() + '\r' +
            document.toHex();
        std::vector<QByteArray> names;
        scene.app = std::make_unique<CBenchApp>(scene.window->Link().Port());
        for (int i = 0; i < kListed; ++i) {
            names.push_back("drawing " + QByteArray::number(i));
            scene.app->thumbs.insert(names.back(), ThumbReply(BlockPicture(88, quint32(i))));
            scene.app->files.insert(names.back(), reply);
        }
        scene.app->list = ListReply(names, document.size());
        if (!WaitUntil([&] { return scene.Idle(); })) {
            state.SkipWithError("the window did not list the drawings");
            return;
        }
        const double listed = ResidentMB();
        if (!scene.Use(1)) {
            state.SkipWithError(qPrintable(scene.error));
            return;
        }
        const double before = ResidentMB();
        if (!scene.Use(kUses)) {
            state.SkipWithError(qPrintable(scene.error));
            return;
        }
        growth = ResidentMB() - before;

        state.counters["listed_MB"] = listed;
        state.counters["first_use_MB"] = before - listed;
    }
    ReportAbsolute(state, growth, kGrowthLimitMB,
                   "MB resident growth, 100 downloads + 100 uploads");
}
BENCHMARK(BM_GrowthAfterUse)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    KeepLargeBuffersResident(); // as the program does
    // As the program starts: the dialog fonts and Qt's Japanese texts.
    InstallDialogFontSubstitutes();
    InstallJapaneseQtTranslations(application);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    g_pScene.reset();
    benchmark::Shutdown();
    return 0;
}
