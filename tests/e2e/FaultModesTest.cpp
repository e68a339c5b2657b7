// Each fault mode of the simulator against the window: the window reports
// what the program reports for that case, keeps handling events while the
// fault runs, and serves the next app that connects.
#include "SimulatorWindowTest.h"

#include "base/MessageFormat.h"
#include "link/dialogs/CommandDlgs.h"
#include "support/KomFixtures.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>

namespace {

// Counts the ticks of a 10 ms timer, and those that came while a
// transaction window was open.
class CHeartbeat {
public:
    CHeartbeat() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            ++ticks;
            if (ActiveWaitDlg())
                ++duringTransaction;
        });
        m_timer.start(10);
    }

    int ticks = 0;
    int duringTransaction = 0;

private:
    QTimer m_timer;
};

// Counts the connections that the Qt servers of this process take from the
// system (each becomes a child socket of its server), so that connections
// the window closes at once without a trace are seen too.
class CIncomingConnections : public QObject {
public:
    CIncomingConnections() { qApp->installEventFilter(this); }
    ~CIncomingConnections() override { qApp->removeEventFilter(this); }

    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildAdded && qobject_cast<QTcpServer*>(watched))
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

class FaultModeTest : public SimulatorWindowTest {
protected:
    // A store holding one drawing, "fault".
    QString FaultStore(const CKSData& drawing) {
        const QString store = WorkPath("faulty");
        PutDrawing(store, "fault", drawing);
        return store;
    }
    // A simulator in fault mode `mode` that ends with its first kept
    // connection, serving `drawing` as "fault".
    std::unique_ptr<CChildProcess> StartFaulty(const QString& mode,
                                               const CKSData& drawing = Drawing(8, 6, 2)) {
        return StartSim(FaultStore(drawing), {"--once", "--fault", mode});
    }

    void DownloadFault() {
        SelectNames({"fault"});
        Window().DownloadButton()->click();
    }

    // Ends the faulty simulator's connection if the window still holds it
    // (the simulator ends with it), then connects a well-behaved simulator
    // and waits for its list.
    void ExpectTheNextAppIsServed(CChildProcess& faulty) {
        if (Window().Link().IsConnected())
            Window().Disconnect();
        ASSERT_TRUE(faulty.WaitFinished());
        EXPECT_EQ(faulty.ExitCode(), 0) << faulty.Err().toStdString();
        ExpectTheNextAppIsServed();
    }
    // Connects a well-behaved simulator once the window is free and waits
    // for its list.
    void ExpectTheNextAppIsServed() {
        ASSERT_TRUE(WaitUntil([this] { return !Window().Link().IsConnected(); }));
        const QString store = WorkPath("normal");
        PutDrawing(store, "next", Drawing(5, 5, 1));
        auto normal = StartSim(store);
        EXPECT_TRUE(WaitForList({"next"})) << normal->Err().toStdString();
        EXPECT_FALSE(Window().FileList()->RowPicture(0).isNull());
    }

    QStringList LogAfterInstructions() const { return LogLines(*m_window).mid(3); }

    int m_saveDialogs = 0;
};

TEST_F(FaultModeTest, BadDigestIsReportedAndNothingIsSaved) {
    auto sim = StartFaulty("bad-digest");
    ASSERT_TRUE(WaitForList({"fault"})) << sim->Err().toStdString();
    auto saves = AnswerSaves(WorkPath("out"), "png", false, m_saveDialogs);
    DownloadFault();
    EXPECT_EQ(m_boxes.texts, QStringList({Message(IDS_HASH_MISMATCH)}));
    EXPECT_EQ(m_saveDialogs, 0);
    EXPECT_EQ(States(), kConnectedSelected);
    ExpectTheNextAppIsServed(*sim);
}

TEST_F(FaultModeTest, JunkLinesAreDroppedSilentlyAndEverythingWorks) {
    const CKSData drawing = Drawing(8, 6, 2);
    auto sim = StartFaulty("junk-lines", drawing);
    ASSERT_TRUE(WaitForList({"fault"})) << sim->Err().toStdString();
    EXPECT_FALSE(Window().FileList()->RowPicture(0).isNull());
    const QString out = WorkPath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    auto saves = AnswerSaves(out, "png", false, m_saveDialogs);
    DownloadFault();
    EXPECT_EQ(m_saveDialogs, 1);
    const QString expected = WorkPath("expected.png");
    ASSERT_TRUE(ExportDocument(m_registry, drawing, expected, false));
    EXPECT_EQ(ReadFile(QDir(out).filePath("fault.png")), ReadFile(expected));
    EXPECT_TRUE(m_boxes.texts.isEmpty());
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed()}));
    ExpectTheNextAppIsServed(*sim);
}

TEST_F(FaultModeTest, DropMidReplyEndsTheDownloadAndIsLoggedAsDisconnected) {
    auto sim = StartFaulty("drop-mid-reply");
    ASSERT_TRUE(WaitForList({"fault"})) << sim->Err().toStdString();
    auto saves = AnswerSaves(WorkPath("out"), "png", false, m_saveDialogs);
    DownloadFault();
    EXPECT_EQ(m_saveDialogs, 0);
    EXPECT_TRUE(m_boxes.texts.isEmpty());
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed(),
                                                   Message(IDS_DISCONNECTED).trimmed()}));
    EXPECT_EQ(Window().FileList()->rowCount(), 0);
    EXPECT_EQ(States(), kAllDisabled);
    ExpectTheNextAppIsServed(*sim);
}

TEST_F(FaultModeTest, EndlessLineEndsAtTheLineLimitWithASocketError) {
    auto sim = StartFaulty("endless-line");
    ASSERT_TRUE(WaitForList({"fault"})) << sim->Err().toStdString();
    CHeartbeat heartbeat;
    QElapsedTimer elapsed;
    elapsed.start();
    DownloadFault();
    const qint64 ms = elapsed.elapsed();
    std::printf("endless-line: the download ended after %lld ms\n", static_cast<long long>(ms));
    const QString failure =
        Message(IDS_SOCKET_ERROR_TEXT,
                {FormatStringResource(IDS_LINE_TOO_LONG, {qint64(CDeviceLink::MAX_LINE_LENGTH)})});
    EXPECT_EQ(m_boxes.texts, QStringList({failure}));
    EXPECT_EQ(LogAfterInstructions(),
              QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed(), failure.trimmed()}));
    EXPECT_EQ(States(), kAllDisabled);
    // The window's event loop ran while the line came in.
    EXPECT_GT(heartbeat.duringTransaction, 0);
    ExpectTheNextAppIsServed(*sim);
}

TEST_F(FaultModeTest, HugeThumbnailHeaderGivesARowWithoutAPicture) {
    auto sim = StartFaulty("huge-thumb-header");
    ASSERT_TRUE(WaitForList({"fault"})) << sim->Err().toStdString();
    EXPECT_TRUE(Window().FileList()->RowPicture(0).isNull());
    EXPECT_TRUE(m_boxes.texts.isEmpty());
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed()}));
    ExpectTheNextAppIsServed(*sim);
}

TEST_F(FaultModeTest, SlowDripIsWaitedForWhileTheWindowGoesOn) {
    CHeartbeat heartbeat;
    auto sim = StartFaulty("slow-drip", PlainDrawing(4, 4));
    ASSERT_TRUE(WaitForList({"fault"}, 60000)) << sim->Err().toStdString();
    EXPECT_FALSE(Window().FileList()->RowPicture(0).isNull());
    EXPECT_TRUE(m_boxes.texts.isEmpty());
    // Hundreds of bytes a few milliseconds apart: many ticks in between.
    EXPECT_GT(heartbeat.duringTransaction, 10);
    ExpectTheNextAppIsServed(*sim);
}

TEST_F(FaultModeTest, ReconnectStormLeavesTheRunningTransactionAndItsConnectionAlone) {
    // The connected app holds back its list while a storm of connections
    // hits the window; everything up to the list's arrival runs inside the
    // list's transaction window, watched every 20 ms. A storm slows down
    // whenever the window's listen queue overflows (each dropped connection
    // attempt is retried a second or more later), so the watch ends it once
    // the window has seen kEnough of its connections.
    constexpr int kEnough = 100;
    std::unique_ptr<CChildProcess> storm;
    CIncomingConnections incoming;
    CHeartbeat heartbeat;
    QTimer watch;
    QDeadlineTimer limit;
    QElapsedTimer elapsed;
    quint64 serial = 0;
    QStringList logBefore;
    int incomingBefore = 0;
    int beatsBefore = 0;
    struct {
        int checks = 0;
        int disturbed = 0; // checks that found another connection or no list window
        int connections = 0;
        int beats = 0;
        bool logUnchanged = false;
        bool endedItself = false;
    } seen;
    CScriptedApp app(Port());
    app.answer = [&](CScriptedApp& self, const QByteArray& request) -> QByteArray {
        if (request == "GetProtVer:\n")
            return "ok:4\n";
        if (request.startsWith("GetThumb:"))
            return "error:3\n";
        if (request != "GetFileList:\n")
            return "error:1\n";
        serial = Window().Link().ConnectionSerial();
        logBefore = LogLines(Window());
        incomingBefore = incoming.count;
        beatsBefore = heartbeat.duringTransaction;
        elapsed.start();
        limit.setRemainingTime(30000);
        storm = StartFaulty("reconnect-storm");
        QObject::connect(&watch, &QTimer::timeout, [&] {
            ++seen.checks;
            if (Window().Link().ConnectionSerial() != serial ||
                !RunsTransaction<CGetFileListTransaction>(ActiveWaitDlg()))
                ++seen.disturbed;
            seen.connections = incoming.count - incomingBefore;
            if (storm->IsRunning() && seen.connections < kEnough && !limit.hasExpired())
                return;
            watch.stop();
            seen.endedItself = !storm->IsRunning();
            storm->Kill();
            seen.beats = heartbeat.duringTransaction - beatsBefore;
            seen.logUnchanged = LogLines(Window()) == logBefore;
            self.Send("ok:filename\rheld\n");
        });
        watch.start(20);
        return {};
    };
    ASSERT_TRUE(WaitForList({"held"}, 60000));
    std::printf("reconnect-storm: %d connections in %lld ms%s\n", seen.connections,
                static_cast<long long>(elapsed.elapsed()),
                seen.endedItself ? ", the whole storm" : "");
    EXPECT_GE(seen.connections, kEnough) << storm->Err().toStdString();
    EXPECT_GT(seen.checks, 0);
    EXPECT_EQ(seen.disturbed, 0);
    // Connections refused while one is current leave no line.
    EXPECT_TRUE(seen.logUnchanged);
    EXPECT_GT(seen.beats, 0);
    if (seen.endedItself) {
        EXPECT_EQ(storm->ExitCode(), 0) << storm->Err().toStdString();
        EXPECT_TRUE(storm->Err().contains("after closing 1000 connections at once"));
    }
    EXPECT_EQ(Window().Link().ConnectionSerial(), serial);
    EXPECT_TRUE(m_boxes.texts.isEmpty());
    app.Close();
    ExpectTheNextAppIsServed();
}
