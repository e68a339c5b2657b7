#pragma once

#include "model/KSData.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// Helpers for the tests that run the simulator and the tool as processes of
// their own beside the window or each other.

// A program of the project run as a child process. The event loop runs
// while it is waited for, so the window in this process keeps serving it.
// A child still running at the end is killed.
class CChildProcess {
public:
    CChildProcess(const QString& program, const QStringList& arguments);
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Waits until the child has ended; false when it is still running after
    // `limitMs`.
    bool WaitFinished(int limitMs = 20000);
    // The exit code of a child that ended normally; -1 for one that crashed
    // or is still running.
    int ExitCode() const;
    // What the child wrote so far.
    QByteArray Out();
    QByteArray Err();
    // Ends the child now.
    void Kill();

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

// The simulator connecting to `port` on the loopback address with the store
// `store`, plus `extra` options (--samples, --once, --fault MODE, ...).
std::unique_ptr<CChildProcess> StartSimulator(quint16 port, const QString& store,
                                              const QStringList& extra = {});

// A loopback port that was free a moment ago, for the tool's --port.
quint16 FreePort();

// The drawings of a simulator store: the bytes of each "<name>.ksd" file by
// name.
QMap<QString, QByteArray> StoreFiles(const QString& store);
// Writes `document` into `store` as drawing `name`.
void PutDrawing(const QString& store, const QString& name, const CKSData& document);

// A drawing of one colour, whose thumbnail is small.
CKSData PlainDrawing(int width, int height);
// A device document from its bytes (Drawing and Bytes are in the window
// tests' support).
CKSData Document(const QByteArray& bytes);
