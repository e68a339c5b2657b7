#pragma once

#include "link/LineFramer.h"
#include "link/MySocket.h"
#include "link/Packet.h"
#include "link/ServerEvent.h"
#include "link/SocketError.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

#include <vector>

// The byte level of the connection to the app: the listening socket, the one
// accepted connection, its send queue and receive buffer, and the hand-over
// of received reply lines to the running transaction (m_pServerEvent).
//
// Everything runs on the thread that owns the link. Transaction handlers may
// run nested event loops; the link therefore never calls OnPacket from inside
// a socket notification, never hands a line to a handler that is still
// running, and delivers the accept notification through a queued call.
class CDeviceLink : public QObject, private CMySocket::INotify, private CLineFramer::IRouter {
    Q_OBJECT
public:
    // A line longer than this (in bytes, without its line feed) ends the
    // connection as a socket failure.
    static constexpr qsizetype MAX_LINE_LENGTH = MAX_PACKET_LINE_LENGTH;
    // Bytes asked for by one read of the connection: small enough that a
    // streamed reply is decoded in short steps.
    static constexpr qint64 READ_CHUNK = 1024 * 1024;

    // Listens on address:nPort once Listen is called; nPort 0 picks a free port.
    explicit CDeviceLink(quint16 nPort, const QHostAddress& address = QHostAddress::AnyIPv4,
                         QObject* parent = nullptr);
    ~CDeviceLink() override;

    // ---- Owner (main window) side ----
    // Starts listening (backlog 5). On failure ListenError tells why.
    bool Listen();
    CSocketError ListenError() const { return m_listenError; }
    bool IsListening() const;
    // The listening port: the constructor's, or the bound one once listening.
    quint16 Port() const;

    bool IsConnected() const;
    // Serial number of the current connection; 0 while there is none. Every
    // accepted connection gets a new, larger one.
    quint64 ConnectionSerial() const;
    // Closes the current connection (if any), resets m_bCanSend and both
    // buffers and ends the transaction running on it with OnClosed. Emits no
    // signal.
    void Disconnect();

    // The connection is known to take more bytes now.
    bool CanSend() const { return m_bCanSend; }
    qsizetype PendingSendBytes() const;
    qsizetype PendingReceiveBytes() const;

    // ---- Transaction side ----
    // Makes pEvent the running transaction, bound to the current connection.
    // False when there is no connection: pEvent then gets OnClosed through a
    // queued call (so a modal loop started right after sees it).
    bool AttachTransaction(CServerEvent* pEvent);
    // Ends pEvent's turn (no effect when another transaction runs): replies
    // still owed to it are dropped when they come.
    void DetachTransaction(CServerEvent* pEvent);
    CServerEvent* ServerEvent() const { return m_pServerEvent; }
    // Queues one request line (see MakeRequestLine) and counts one reply as
    // owed. False, sending nothing, when there is no connection or the
    // running transaction belongs to a connection that is gone.
    bool SendToDevice(const QByteArray& request);
    // The replies owed so far will be dropped when they come (a request the
    // user cancelled must not answer the next one).
    void CancelOutstanding();

signals:
    // A connection was accepted; emitted from a queued call, so the slot may
    // run modal loops. The accept step should end only this connection
    // (compare ConnectionSerial with nSerial before calling Disconnect).
    void ConnectionAccepted(quint64 nSerial);
    // The peer closed connection nSerial; the link has already reset itself
    // and ended the transaction running on it.
    void ConnectionClosed(quint64 nSerial);
    // A socket call on connection nSerial failed, or a line was too long; the
    // link has already closed it, reset itself and ended the transaction.
    // nErrorCode and strErrorText as in CSocketError (errno and its text).
    // ConnectionClosed and SocketFailed are emitted last, after the link is
    // consistent, so their slots may run modal loops.
    void SocketFailed(quint64 nSerial, int nErrorCode, const QString& strErrorText);

private:
    // At most this many bytes wait in the socket's own buffer; the rest of
    // the queue stays in m_sendBuffer until the system takes some.
    static constexpr qint64 SEND_WINDOW = 1024 * 1024;
    // Bytes received and not yet taken as lines may not exceed this.
    static constexpr qsizetype MAX_UNTAKEN = 2 * MAX_LINE_LENGTH;

    // CMySocket::INotify
    void OnAccept(CMySocket& socket) override;
    void OnReceive(CMySocket& socket) override;
    void OnSend(CMySocket& socket, qint64 nBytes) override;
    void OnClose(CMySocket& socket) override;
    void OnSocketError(CMySocket& socket, QAbstractSocket::SocketError error) override;

    // CLineFramer::IRouter: a packet line answers the oldest request still
    // owed (tagged with the transaction generation), and its value goes to
    // the running transaction's stream when it asks for one.
    quint64 RoutePacket(QByteArrayView name, IValueStream*& pStream) override;

    void AcceptPending();
    void ReceiveFromDevice();
    void FlushSendBuffer();
    // Tells the transaction how many more bytes the system has taken.
    void ReportTakenBytes();
    void DispatchLines();
    void PostDispatch();
    quint64 TakeReplyOwner();
    bool HandlerRunning(const CServerEvent* pEvent) const;
    CServerEvent* EventOfCurrentConnection() const;
    // Closes the connection and resets every per-connection state; returns
    // the transaction that ran on it (to be told OnClosed), or null.
    CServerEvent* CloseConnection();
    void FailConnection(const CSocketError& error);

    quint16 m_nPort;
    QHostAddress m_address;
    CMySocket m_listenSocket;
    CMySocket m_socket;
    CSocketError m_listenError;
    quint64 m_nSerial = 0;     // of the current connection; 0 when none
    quint64 m_nLastSerial = 0; // last serial handed out

    CServerEvent* m_pServerEvent = nullptr;
    quint64 m_nEventSerial = 0;  // connection m_pServerEvent belongs to
    quint64 m_nGeneration = 1;   // bumped whenever owed replies lose their owner
    qint64 m_nRepliesOwed = 0;   // requests sent whose replies are awaited
    qint64 m_nRepliesToDrop = 0; // replies of cancelled requests still to come
    std::vector<const CServerEvent*> m_runningHandlers;

    bool m_bCanSend = false;
    bool m_bFlushing = false; // FlushSendBuffer is running
    QByteArray m_sendBuffer;
    qsizetype m_nSendStart = 0;  // bytes at the front of m_sendBuffer already handed over
    qint64 m_nHandedOver = 0;    // bytes handed to the socket on this connection
    qint64 m_nReportedTaken = 0; // of those, reported to transactions as taken

    CLineFramer m_framer;

    bool m_bAcceptPosted = false;
    bool m_bDispatchPosted = false;
};
