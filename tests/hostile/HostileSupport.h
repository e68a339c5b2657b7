#pragma once

#include "mainwnd/WindowTestSupport.h"

#include "convert/SerializerList.h"
#include "support/ProcessMemory.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// Figures of this process from /proc/self.
namespace ProcessFigures {
// Bytes the program holds allocated on the heap now (without what the
// allocator keeps for reuse, or the address sanitizer's quarantine).
qint64 HeapInUseBytes();
// Open file descriptors, and those of them that are sockets.
int OpenDescriptors();
int OpenSockets();
} // namespace ProcessFigures

// Clicks a button of its own through the event loop, the way a user's click
// arrives, kIntervalMs after its handler last ran, and records how late each
// handler runs after its click was due. A long slice of work on the GUI
// thread, in whichever modal loop runs, shows up as one late handler.
class CResponsivenessProbe : public QObject {
public:
    static constexpr int kIntervalMs = 20;
    static constexpr qint64 kNoteLatencyMs = 50;
    static constexpr qsizetype kMaxNotes = 40;

    CResponsivenessProbe();

    // Counts a click that is due and not yet handled as late as it is now.
    qint64 WorstLatencyMs() const;
    int Handled() const { return m_nHandled; }
    // The clicks handled kNoteLatencyMs or more late (the first kMaxNotes):
    // when, how late, which window was open and the resident memory then.
    const QStringList& LateClicks() const { return m_lateClicks; }

private:
    void Arm();
    void Click();
    void OnClicked();

    QPushButton m_button;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_nDueMs = 0;
    qint64 m_nWorstMs = 0;
    int m_nHandled = 0;
    QStringList m_lateClicks;
};

// Sends queued bytes one at a time, every kIntervalMs. Lives as a child of
// the socket.
class CDripWriter : public QObject {
public:
    static constexpr int kIntervalMs = 10;

    CDripWriter(QTcpSocket& socket, const QByteArray& bytes);
    // Sends what is left at once and stops.
    void Flush();
    qsizetype Sent() const { return m_nNext; }

private:
    void SendOne();

    QTcpSocket& m_socket;
    QTimer m_timer;
    QByteArray m_bytes;
    qsizetype m_nNext = 0;
};

// The main window against an app that misbehaves. Every case measures from
// StartWatching on: the worst latency of the probe's clicks, the peak
// resident memory and the descriptors; FinishCase holds them against their
// limits, serves a well-behaved app and prints the figures.
class HostileAppTest : public MainWindowTest {
protected:
    static constexpr qint64 kLatencyLimitMs = 200;

    void SetUp() override;
    void TearDown() override;

    // Connects the hostile app, answering as `script`, and waits until its
    // list is shown and no window of the program is open over the main one.
    CScriptedApp& ConnectListed(const CAppScript& script);
    // Same, with an app that answers with `answer`.
    CScriptedApp& ConnectListed(Answer answer, int limitMs = 20000);
    // Connects an app that answers with `answer` and waits for its list.
    std::unique_ptr<CScriptedApp> ConnectApp(Answer answer, int limitMs = 20000);

    // Whether an app is connected, no window of the program is open over
    // the main one and the list holds at least one row.
    bool IsIdleWithRows() const {
        return m_window->Link().IsConnected() && !QApplication::activeModalWidget() &&
               m_window->FileList()->rowCount() > 0;
    }

    // Starts the figures of the case: the probe, the peak of resident memory
    // and the descriptors open now.
    void StartWatching();
    // Starts watching, presses Download and returns the most bytes a
    // progress window showed as received while the command ran.
    qint64 DownloadWatchingReceivedBytes();
    // Holds the figures against the limits (worst latency kLatencyLimitMs,
    // peak resident memory `peakLimitMb`), then checks that the window is
    // free again, serves a well-behaved app and, once that app has left, has
    // no more sockets open than at StartWatching.
    void FinishCase(qint64 peakLimitMb);

    // Selects the rows showing these raw names.
    void SelectRawNames(const QByteArrayList& names);
    // Writes `document` as a PNG file for an upload and returns its path.
    QString UploadFile(const QString& name, const CKSData& document);
    // The log after the connection instructions.
    QStringList LogAfterInstructions() const { return LogLines(*m_window).mid(3); }

    QTemporaryDir m_work;
    // The hostile app of ConnectListed; FinishCase ends it.
    std::unique_ptr<CScriptedApp> m_app;
    CSerializerList m_registry;
    std::unique_ptr<CResponsivenessProbe> m_probe;
    QTimer m_watchdog;
    int m_nFdsBefore = 0;
    int m_nFdsAfter = 0;
    int m_nSocketsBefore = 0;
    int m_nSocketsAfter = 0;
    qint64 m_nPeakKb = 0;
    qint64 m_nWorstMs = 0;
    bool m_bFinished = false;
};
