#pragma once

#include "link/Packet.h"
#include "sim/FaultStrategy.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class CRequestHandler;
class QTcpSocket;

// The connection loop of the simulated app: connects to the utility, reads
// request lines, answers each through the request handler and the fault
// strategy, and connects again a little later when the connection ends or
// cannot be made.
class CAppClient : public QObject, private IReplyChannel {
    Q_OBJECT
public:
    struct COptions {
        QString m_strHost = QStringLiteral("127.0.0.1");
        quint16 m_nPort = 3210;
        // End after the first connection instead of connecting again.
        bool m_bOnce = false;
        int m_nReconnectDelayMs = 1000;
        // A request line longer than this ends the connection.
        qsizetype m_nMaxLineLength = MAX_PACKET_LINE_LENGTH;
    };
    using LogFunction = std::function<void(const QString&)>;

    // The handler and the strategy must outlive the client. `log` receives
    // one line per event; it may be empty.
    CAppClient(const CRequestHandler& handler, CFaultStrategy& fault, const COptions& options,
               LogFunction log, QObject* parent = nullptr);
    ~CAppClient() override;

    // Makes the first connection attempt.
    void Start();

signals:
    // With m_bOnce: the connection has ended; nothing more happens.
    void Finished();

private:
    // IReplyChannel
    void Send(const QByteArray& bytes) override;
    void Close() override;
    QAbstractSocket& Socket() override;

    void Connect();
    void OnConnected();
    void OnReadyRead();
    void OnDisconnected();
    void OnError();
    void HandleLine(QByteArrayView line);
    void DropSocket();
    void Log(const QString& text) const;

    const CRequestHandler& m_handler;
    CFaultStrategy& m_fault;
    COptions m_options;
    LogFunction m_log;

    QTcpSocket* m_pSocket = nullptr;
    bool m_bConnected = false;
    bool m_bClosingAtOnce = false; // the strategy did not keep this connection
    int m_nClosedAtOnce = 0;       // such connections since the last one kept
    bool m_bReportedFailure = false;
    QTimer m_reconnectTimer;

    QByteArray m_buffer;       // received bytes not yet handled
    qsizetype m_nScanFrom = 0; // m_buffer holds no line feed before this
};
