#include "HostileSupport.h"

#include "convert/SerializerList.h"
#include "convert/dialogs/KomaSlateServerFileDialog.h"
#include "link/dialogs/CommandDlgs.h"
#include "mainwnd/FileListCtrl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>

#include <algorithm>
#include <cstdio>
#include <malloc.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KS_HEAP_FROM_SANITIZER 1
#include <sanitizer/allocator_interface.h>
#endif
#endif

namespace ProcessFigures {

qint64 HeapInUseBytes() {
#ifdef KS_HEAP_FROM_SANITIZER
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#endif
}

int OpenDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

int OpenSockets() {
    int sockets = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System))
        sockets += fd.symLinkTarget().contains(QStringLiteral("socket:")) ? 1 : 0;
    return sockets;
}

} // namespace ProcessFigures

CResponsivenessProbe::CResponsivenessProbe() {
    m_button.resize(80, 24);
    connect(&m_button, &QPushButton::clicked, this, &CResponsivenessProbe::OnClicked);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CResponsivenessProbe::Click);
    m_clock.start();
    Arm();
}

qint64 CResponsivenessProbe::WorstLatencyMs() const {
    return std::max(m_nWorstMs, m_clock.elapsed() - m_nDueMs);
}

void CResponsivenessProbe::Arm() {
    m_nDueMs = m_clock.elapsed() + kIntervalMs;
    m_timer.start(kIntervalMs);
}

void CResponsivenessProbe::Click() {
    // Posted, not sent: the click waits in the queue like a user's.
    const QPointF centre = QRectF(m_button.rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(
            &m_button,
            new QMouseEvent(type, centre, m_button.mapToGlobal(centre), Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
    }
}

void CResponsivenessProbe::OnClicked() {
    ++m_nHandled;
    const qint64 latency = m_clock.elapsed() - m_nDueMs;
    m_nWorstMs = std::max(m_nWorstMs, latency);
    if (latency >= kNoteLatencyMs && m_lateClicks.size() < kMaxNotes) {
        const QWidget* modal = QApplication::activeModalWidget();
        m_lateClicks.append(QStringLiteral("%1 ms late at %2 ms (%3, %4 MB resident)")
                                .arg(latency)
                                .arg(m_clock.elapsed())
                                .arg(modal ? QLatin1String(modal->metaObject()->className())
                                           : QLatin1String("no window over the main one"))
                                .arg(ResidentKb() / 1024));
    }
    Arm();
}

CDripWriter::CDripWriter(QTcpSocket& socket, const QByteArray& bytes)
    : QObject(&socket), m_socket(socket), m_bytes(bytes) {
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CDripWriter::SendOne);
    m_timer.start(kIntervalMs);
}

void CDripWriter::SendOne() {
    if (m_nNext >= m_bytes.size()) {
        m_timer.stop();
        return;
    }
    m_socket.write(m_bytes.constData() + m_nNext++, 1);
}

void CDripWriter::Flush() {
    m_timer.stop();
    m_socket.write(m_bytes.mid(m_nNext));
    m_nNext = m_bytes.size();
}

void HostileAppTest::SetUp() {
    MainWindowTest::SetUp();
    ASSERT_TRUE(m_work.isValid());
    m_registry.AddStandardSerializers();
    // The first progress window and the first save dialog of a process load
    // fonts, icons and the MIME database once; that is paid here, before a
    // case measures how late the window handles a click.
    {
        CGetProtVerDlg first(m_window.get(), m_window->Link());
        first.exec(); // ends at once without a connection
        CKomaSlateServerFileDialog save(QStringLiteral("first"),
                                        m_registry.BuildFilter(false, CSerializer::CAP_EXPORT),
                                        m_window->SettingsPath(), m_window.get());
        QTimer::singleShot(0, &save, &QDialog::reject);
        save.exec();
    }
    // A window stuck in a transaction would keep the waits of the test from
    // looking at their limits: the connection is then ended, every second.
    m_watchdog.callOnTimeout([this] {
        if (m_watchdog.interval() != 1000)
            ADD_FAILURE() << "the window was still busy after " << m_watchdog.interval() << " ms";
        m_watchdog.setInterval(1000);
        m_window->Link().Disconnect();
    });
    m_watchdog.start(90000);
}

void HostileAppTest::TearDown() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (m_bFinished) {
        std::printf("hostile %s: worst click latency %lld ms (%d clicks), peak resident %lld MB, "
                    "descriptors %d before, %d after (sockets %d, %d)\n",
                    info->name(), static_cast<long long>(m_nWorstMs), m_probe->Handled(),
                    static_cast<long long>(m_nPeakKb / 1024), m_nFdsBefore, m_nFdsAfter,
                    m_nSocketsBefore, m_nSocketsAfter);
        if (m_nWorstMs > kLatencyLimitMs) {
            for (const QString& note : m_probe->LateClicks())
                std::printf("  late click: %s\n", qPrintable(note));
        }
        RecordProperty("worst_click_latency_ms", int(m_nWorstMs));
        RecordProperty("peak_resident_mb", int(m_nPeakKb / 1024));
        RecordProperty("descriptors_before", m_nFdsBefore);
        RecordProperty("descriptors_after", m_nFdsAfter);
    }
    m_probe.reset();
    MainWindowTest::TearDown();
}

CScriptedApp& HostileAppTest::ConnectListed(const CAppScript& script) {
    return ConnectListed(
        [script](CScriptedApp&, const QByteArray& request) { return script.Answer(request); });
}

CScriptedApp& HostileAppTest::ConnectListed(Answer answer, int limitMs) {
    m_app = ConnectApp(std::move(answer), limitMs);
    return *m_app;
}

std::unique_ptr<CScriptedApp> HostileAppTest::ConnectApp(Answer answer, int limitMs) {
    auto app = std::make_unique<CScriptedApp>(Port());
    app->answer = std::move(answer);
    CScriptedApp* pApp = app.get();
    // The list has come once it was asked for and no window of the program
    // is open any more.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return m_window->Link().IsConnected() && pApp->requests.contains("GetFileList:\n") &&
                   QApplication::activeModalWidget() == nullptr;
        },
        limitMs));
    return app;
}

qint64 HostileAppTest::DownloadWatchingReceivedBytes() {
    qint64 mostReceived = 0;
    QTimer watch;
    watch.callOnTimeout([&] {
        if (CWaitDlg* dlg = ActiveWaitDlg())
            mostReceived = std::max(mostReceived, dlg->ReceivedBytes());
    });
    watch.start(5);
    StartWatching();
    Window().DownloadButton()->click();
    return mostReceived;
}

void HostileAppTest::StartWatching() {
    if (!ResetPeakResident())
        std::printf("hostile: the peak of resident memory counts from the start\n");
    m_nFdsBefore = ProcessFigures::OpenDescriptors();
    m_nSocketsBefore = ProcessFigures::OpenSockets();
    m_probe = std::make_unique<CResponsivenessProbe>();
}

void HostileAppTest::FinishCase(qint64 peakLimitMb) {
    ASSERT_TRUE(m_probe) << "StartWatching was not called";
    m_nWorstMs = m_probe->WorstLatencyMs();
    m_nPeakKb = PeakResidentKb();
    m_bFinished = true;
    EXPECT_LE(m_nWorstMs, kLatencyLimitMs);
    EXPECT_LE(m_nPeakKb, peakLimitMb * 1024);

    // The hostile app is gone or is sent away; nothing of it stays open.
    if (m_window->Link().IsConnected())
        m_window->Disconnect();
    ASSERT_TRUE(WaitUntil([this] {
        return !m_window->Link().IsConnected() && QApplication::activeModalWidget() == nullptr;
    }));
    m_app.reset();

    CAppScript script;
    script.list = "ok:filename,size,updateDate\rnext\r2048\r2026/01/01 10:00:00";
    script.thumbs["next"] = ThumbReply(Filled(44, 44, qRgb(10, 200, 30)));
    {
        auto next = ConnectApp(
            [script](CScriptedApp&, const QByteArray& request) { return script.Answer(request); });
        EXPECT_EQ(Names(), QStringList({"next"}));
        EXPECT_EQ(Column(1), QStringList({"2 KB"}));
        EXPECT_FALSE(m_window->FileList()->RowPicture(0).isNull());
        EXPECT_EQ(States(), kConnected);
        next->Close();
        EXPECT_TRUE(WaitUntil([this] { return !m_window->Link().IsConnected(); }));
    }
    // Closed sockets are deleted from the event loop. Other descriptors may
    // stay for good (the file dialog's caches and helper thread).
    const bool socketsBack = WaitUntil([this] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return ProcessFigures::OpenSockets() <= m_nSocketsBefore;
    });
    m_nFdsAfter = ProcessFigures::OpenDescriptors();
    m_nSocketsAfter = ProcessFigures::OpenSockets();
    EXPECT_TRUE(socketsBack) << m_nSocketsAfter << " sockets open, " << m_nSocketsBefore
                             << " before";
}

void HostileAppTest::SelectRawNames(const QByteArrayList& names) {
    CFileListCtrl* list = m_window->FileList();
    list->clearSelection();
    for (const QByteArray& name : names) {
        int found = -1;
        for (int row = 0; row < list->rowCount() && found < 0; ++row) {
            if (list->RowRawName(row) == name)
                found = row;
        }
        ASSERT_GE(found, 0) << name.toStdString();
        list->selectionModel()->select(list->model()->index(found, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

QString HostileAppTest::UploadFile(const QString& name, const CKSData& document) {
    const QString path = m_work.filePath(name + QStringLiteral(".png"));
    EXPECT_TRUE(ExportDocument(m_registry, document, path, false));
    return path;
}

// The memory limits of these cases are about the program's own blocks. Under
// AddressSanitizer freed blocks wait in a quarantine (256 MB by default)
// that would count towards the resident size; here it is kept small. Options
// in ASAN_OPTIONS still apply on top.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
