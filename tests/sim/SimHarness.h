#pragma once

#include "support/TestSupport.h"

#include "sim/AppClient.h"
#include "sim/DeviceStore.h"
#include "sim/FaultStrategy.h"
#include "sim/RequestHandler.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

// The utility's end for the simulator: a loopback server on a free port, a
// store in a temporary folder ("store" inside it, so that files beside the
// store can be watched) and a client in the same process, with a fault mode.
class CSimHarness {
public:
    explicit CSimHarness(const QString& faultMode = {}, int protocolVersion = 4);
    ~CSimHarness();

    // Starts the client against the port the server was given first,
    // reconnecting after 20 ms.
    void Start(CAppClient::COptions options = {});
    // Waits for the next connection from the client and makes it current;
    // false when none comes.
    bool Accept();

    // Sends `request` on the current connection and returns the next line
    // received (line feed kept), or nothing when none comes.
    QByteArray Ask(const QByteArray& request);
    QByteArray TakeLine();
    bool WaitReceived(qsizetype count);
    // Waits until the client has closed the current connection.
    bool WaitClosed();

    QTcpServer& Server() { return m_server; }
    QTcpSocket* Connection() { return m_pConnection; }
    QByteArray& Received() { return m_received; }
    // The sizes of the reads that brought the received bytes.
    const QList<qsizetype>& Reads() const { return m_reads; }
    const CDeviceStore& Store() const { return m_store; }
    // The folder that holds the store folder.
    QString Outside() const { return m_dir.path(); }
    CAppClient& Client() { return *m_pClient; }
    const QStringList& Log() const { return m_log; }

private:
    QTemporaryDir m_dir;
    CDeviceStore m_store;
    std::unique_ptr<CFaultStrategy> m_pFault;
    CRequestHandler m_handler;
    QTcpServer m_server;
    quint16 m_nPort = 0;
    std::unique_ptr<CAppClient> m_pClient;
    QPointer<QTcpSocket> m_pConnection;
    QByteArray m_received;
    QList<qsizetype> m_reads;
    QStringList m_log;
};

// Writes `bytes` as drawing `name` with the given modification time.
void PutDrawing(const CDeviceStore& store, const QByteArray& name, const QByteArray& bytes,
                const QDateTime& modified = QDateTime(QDate(2024, 5, 3), QTime(10, 21, 44)));

// The bytes of a small consistent device document.
QByteArray SmallDocument(int width = 3, int height = 2);
