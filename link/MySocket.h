#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QTcpSocket;

// One socket of the device link: either a listening socket or one accepted
// connection. Qt's signals arrive as the notifications of an asynchronous
// socket, each handed to the owner together with the socket that raised it,
// so the owner can tell its listening socket from its connection.
class CMySocket : public QObject {
    Q_OBJECT
public:
    // The most a connection takes from the system before its bytes have been
    // read (OnReceive comes again for the rest).
    static constexpr qint64 kReadBufferSize = 1024 * 1024;

    class INotify {
    public:
        virtual ~INotify() = default;
        // A connection is waiting to be accepted (listening socket).
        virtual void OnAccept(CMySocket& socket) = 0;
        // Bytes are ready to be read.
        virtual void OnReceive(CMySocket& socket) = 0;
        // The system took nBytes of the bytes handed to Send.
        virtual void OnSend(CMySocket& socket, qint64 nBytes) = 0;
        // The peer closed the connection.
        virtual void OnClose(CMySocket& socket) = 0;
        // A socket call failed (the peer closing is OnClose, not this).
        virtual void OnSocketError(CMySocket& socket, QAbstractSocket::SocketError error) = 0;
    };

    explicit CMySocket(INotify& owner, QObject* parent = nullptr);
    ~CMySocket() override;

    // Listening socket: binds address:nPort (0 picks a free port) and listens.
    bool Listen(const QHostAddress& address, quint16 nPort, int nBacklog);
    QAbstractSocket::SocketError ListenError() const;
    bool IsListening() const;
    quint16 LocalPort() const;
    bool HasPendingConnection() const;
    // Moves the oldest pending connection into `target` (closing whatever
    // target held). False when none is pending.
    bool Accept(CMySocket& target);

    // Connection.
    bool IsConnected() const;
    qint64 BytesAvailable() const;
    // Reads up to nMax bytes; -1 on failure.
    qint64 Receive(char* pBuffer, qint64 nMax);
    // Hands bytes to the connection; they count as sent once OnSend reports
    // them. -1 on failure.
    qint64 Send(const char* pData, qint64 nBytes);
    // Bytes handed to Send that the system has not taken yet.
    qint64 BytesNotYetSent() const;
    // The error of the last failed call on the connection.
    QAbstractSocket::SocketError LastError() const;

    // Valid while the socket listens or holds a connection.
    bool IsValid() const;
    // Closes at once; no notification follows. Safe inside a notification.
    void Close();

private:
    void Adopt(QTcpSocket* pSocket);

    INotify& m_owner;
    QTcpServer* m_pServer = nullptr;
    QTcpSocket* m_pConnection = nullptr;
};
