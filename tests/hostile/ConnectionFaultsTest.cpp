// An app whose connection misbehaves: it goes while a dialog of the window
// is open, or a storm of connections comes while a transaction runs.
#include "HostileSupport.h"

#include "support/KomFixtures.h"

#include "convert/dialogs/KomaSlateServerFileDialog.h"
#include "link/dialogs/CommandDlgs.h"
#include "link/dialogs/OverwriteDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTcpServer>

namespace {

// Connects to `port` and closes again at once, `cycles` times in a row. A
// cycle starts once the window's server has taken the connection of the one
// before, so the listen queue never overflows (a dropped attempt would be
// retried only a second or more later).
class CConnectionStorm : public QObject {
public:
    CConnectionStorm(quint16 port, int cycles) : m_nPort(port), m_nCycles(cycles) {
        qApp->installEventFilter(this);
        Next();
    }
    ~CConnectionStorm() override { qApp->removeEventFilter(this); }

    bool IsOver() const { return m_nTaken >= m_nCycles; }
    int Taken() const { return m_nTaken; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Each connection a Qt server takes becomes a child socket of it.
        if (event->type() == QEvent::ChildAdded && qobject_cast<QTcpServer*>(watched)) {
            ++m_nTaken;
            QMetaObject::invokeMethod(this, &CConnectionStorm::Next, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Next() {
        if (m_nStarted >= m_nCycles || m_nStarted > m_nTaken)
            return;
        ++m_nStarted;
        auto* socket = new QTcpSocket(this);
        connect(socket, &QTcpSocket::connected, socket, &QTcpSocket::disconnectFromHost);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::errorOccurred, socket, &QObject::deleteLater);
        socket->connectToHost(QHostAddress::LocalHost, m_nPort);
    }

    quint16 m_nPort;
    int m_nCycles;
    int m_nStarted = 0;
    int m_nTaken = 0;
};

// Clicks Save in the save dialog with the name it offers, in `folder`.
void SaveInto(CKomaSlateServerFileDialog* dialog, const QString& folder) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    edit->setText(QDir(folder).filePath(QFileInfo(edit->text()).fileName()));
    dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Save)
        ->click();
}

} // namespace

TEST_F(HostileAppTest, ThousandConnectAndCloseCyclesLeaveTheRunningTransactionAlone) {
    constexpr int kCycles = 1000;
    std::unique_ptr<CConnectionStorm> storm;
    CScriptedApp* app = nullptr;
    quint64 serial = 0;
    QStringList logBefore;
    int fdsBefore = 0;
    qint64 residentBefore = 0;
    qint64 heapBefore = 0;
    int disturbed = 0; // looks that found another connection or no list window
    int looks = 0;
    QTimer watch;
    watch.callOnTimeout([&] {
        ++looks;
        if (Window().Link().ConnectionSerial() != serial ||
            !RunsTransaction<CGetFileListTransaction>(ActiveWaitDlg()))
            ++disturbed;
        if (storm->IsOver()) {
            watch.stop();
            app->Send("ok:filename\rheld\n");
        }
    });
    // The app holds back its list until the storm is over.
    ConnectListed(
        [&](CScriptedApp& self, const QByteArray& request) -> QByteArray {
            if (request == "GetProtVer:\n")
                return "ok:4\n";
            if (request.startsWith("GetThumb:"))
                return "error:3\n";
            app = &self;
            serial = Window().Link().ConnectionSerial();
            logBefore = LogLines(Window());
            fdsBefore = ProcessFigures::OpenDescriptors();
            residentBefore = ResidentKb();
            heapBefore = ProcessFigures::HeapInUseBytes();
            StartWatching();
            storm = std::make_unique<CConnectionStorm>(Port(), kCycles);
            watch.start(10);
            return {};
        },
        120000);
    ASSERT_TRUE(storm);
    EXPECT_EQ(storm->Taken(), kCycles);
    EXPECT_EQ(Names(), QStringList({"held"}));
    EXPECT_GT(looks, 0);
    EXPECT_EQ(disturbed, 0);
    EXPECT_EQ(Window().Link().ConnectionSerial(), serial);
    // Connections refused while one is current leave no line and no box.
    EXPECT_EQ(LogLines(Window()), logBefore);
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();

    // Every refused connection is closed and gone, and so is its memory.
    storm.reset();
    const bool fdsBack = WaitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return ProcessFigures::OpenDescriptors() <= fdsBefore;
    });
    const int fdsAfter = ProcessFigures::OpenDescriptors();
    const qint64 residentAfter = ResidentKb();
    const qint64 heapAfter = ProcessFigures::HeapInUseBytes();
    std::printf("hostile storm: descriptors %d before, %d after; resident %lld kB before, "
                "%lld kB after; heap in use %lld kB before, %lld kB after\n",
                fdsBefore, fdsAfter, static_cast<long long>(residentBefore),
                static_cast<long long>(residentAfter), static_cast<long long>(heapBefore / 1024),
                static_cast<long long>(heapAfter / 1024));
    EXPECT_TRUE(fdsBack) << fdsAfter << " descriptors open, " << fdsBefore << " before";
    // Less than 100 bytes a connection stay allocated: nothing of a refused
    // connection is kept. (Resident memory also holds what the allocator
    // keeps for reuse, so it is only reported.)
    EXPECT_LT(heapAfter - heapBefore, kCycles * 100);
    FinishCase(250);
}

TEST_F(HostileAppTest, DroppedWhileTheSaveDialogIsOpenTheDrawingIsStillSaved) {
    const CKSData drawing = Drawing(8, 6, 2);
    CAppScript script;
    script.list = "ok:filename,size,updateDate\rkept\r200\r2026/01/01";
    script.files["kept"] = FileReply(Bytes(drawing));
    CScriptedApp& app = ConnectListed(script);
    SelectRawNames({"kept"});
    const QString out = m_work.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    bool goneWhileOpen = false;
    COnShow<CKomaSlateServerFileDialog> saves([&](CKomaSlateServerFileDialog* dialog) {
        app.Close();
        goneWhileOpen = WaitUntil([&] { return !Window().Link().IsConnected(); });
        SaveInto(dialog, out);
    });
    StartWatching();
    Window().DownloadButton()->click();

    EXPECT_TRUE(goneWhileOpen);
    // The drawing had arrived whole: it is saved although the app went.
    const QString expected = m_work.filePath(QStringLiteral("expected.png"));
    ASSERT_TRUE(ExportDocument(m_registry, drawing, expected, false));
    const QByteArray saved = ReadFile(QDir(out).filePath(QStringLiteral("kept.png")));
    EXPECT_FALSE(saved.isEmpty());
    EXPECT_EQ(saved, ReadFile(expected));
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed(),
                                                   Message(IDS_DISCONNECTED).trimmed()}));
    EXPECT_EQ(Window().FileList()->rowCount(), 0);
    EXPECT_EQ(States(), kAllDisabled);
    FinishCase(250);
}

TEST_F(HostileAppTest, DroppedWhileTheOverwriteDialogIsOpenNothingIsSent) {
    CAppScript script;
    script.list = "ok:filename\rup";
    script.isOverwrite = "ok:1\rup\rup_2";
    CScriptedApp& app = ConnectListed(script);
    const QString path = UploadFile(QStringLiteral("up"), Drawing(8, 6, 1));
    bool goneWhileOpen = false;
    COnShow<COverwriteDlg> asks([&](COverwriteDlg* dialog) {
        app.Close();
        goneWhileOpen = WaitUntil([&] { return !Window().Link().IsConnected(); });
        // The user still answers: overwrite.
        dialog->YesButton()->click();
    });
    StartWatching();
    Window().OnDropFiles({path});

    EXPECT_TRUE(goneWhileOpen);
    EXPECT_EQ(app.requests.size(), 4);
    EXPECT_TRUE(app.requests.last().startsWith("IsOverwrite:up\n"));
    EXPECT_EQ(Window().Link().PendingSendBytes(), 0);
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed(),
                                                   Message(IDS_DISCONNECTED).trimmed()}));
    EXPECT_EQ(States(), kAllDisabled);
    FinishCase(250);
}
