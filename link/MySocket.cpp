#include "link/MySocket.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

CMySocket::CMySocket(INotify& owner, QObject* parent) : QObject(parent), m_owner(owner) {}

CMySocket::~CMySocket() {
    // Detach from the Qt objects first: destroying them may still emit.
    Close();
}

bool CMySocket::Listen(const QHostAddress& address, quint16 nPort, int nBacklog) {
    Close();
    m_pServer = new QTcpServer(this);
    m_pServer->setProxy(QNetworkProxy::NoProxy);
    m_pServer->setListenBacklogSize(nBacklog);
    connect(m_pServer, &QTcpServer::newConnection, this, [this] { m_owner.OnAccept(*this); });
    return m_pServer->listen(address, nPort);
}

QAbstractSocket::SocketError CMySocket::ListenError() const {
    return m_pServer ? m_pServer->serverError() : QAbstractSocket::UnknownSocketError;
}

bool CMySocket::IsListening() const {
    return m_pServer && m_pServer->isListening();
}

quint16 CMySocket::LocalPort() const {
    if (m_pServer)
        return m_pServer->serverPort();
    return m_pConnection ? m_pConnection->localPort() : 0;
}

bool CMySocket::HasPendingConnection() const {
    return m_pServer && m_pServer->hasPendingConnections();
}

bool CMySocket::Accept(CMySocket& target) {
    if (!HasPendingConnection())
        return false;
    QTcpSocket* pSocket = m_pServer->nextPendingConnection();
    if (!pSocket)
        return false;
    target.Close();
    target.Adopt(pSocket);
    return true;
}

void CMySocket::Adopt(QTcpSocket* pSocket) {
    m_pConnection = pSocket;
    pSocket->setParent(this);
    pSocket->setReadBufferSize(kReadBufferSize);
    connect(pSocket, &QIODevice::readyRead, this, [this] { m_owner.OnReceive(*this); });
    connect(pSocket, &QIODevice::bytesWritten, this,
            [this](qint64 nBytes) { m_owner.OnSend(*this, nBytes); });
    connect(pSocket, &QAbstractSocket::disconnected, this, [this] { m_owner.OnClose(*this); });
    connect(pSocket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                // Qt reports the peer's close as an error before "disconnected".
                if (error == QAbstractSocket::RemoteHostClosedError)
                    m_owner.OnClose(*this);
                else
                    m_owner.OnSocketError(*this, error);
            });
}

bool CMySocket::IsConnected() const {
    return m_pConnection && m_pConnection->state() == QAbstractSocket::ConnectedState;
}

qint64 CMySocket::BytesAvailable() const {
    return m_pConnection ? m_pConnection->bytesAvailable() : 0;
}

qint64 CMySocket::Receive(char* pBuffer, qint64 nMax) {
    return m_pConnection ? m_pConnection->read(pBuffer, nMax) : -1;
}

qint64 CMySocket::Send(const char* pData, qint64 nBytes) {
    if (!m_pConnection)
        return -1;
    const qint64 nWritten = m_pConnection->write(pData, nBytes);
    if (nWritten > 0)
        m_pConnection->flush();
    return nWritten;
}

qint64 CMySocket::BytesNotYetSent() const {
    return m_pConnection ? m_pConnection->bytesToWrite() : 0;
}

QAbstractSocket::SocketError CMySocket::LastError() const {
    return m_pConnection ? m_pConnection->error() : QAbstractSocket::UnknownSocketError;
}

bool CMySocket::IsValid() const {
    return IsListening() || m_pConnection;
}

void CMySocket::Close() {
    // The Qt objects go through deleteLater: Close may run inside one of
    // their own signals.
    if (m_pServer) {
        m_pServer->disconnect(this);
        m_pServer->close();
        m_pServer->deleteLater();
        m_pServer = nullptr;
    }
    if (m_pConnection) {
        m_pConnection->disconnect(this);
        m_pConnection->abort();
        m_pConnection->deleteLater();
        m_pConnection = nullptr;
    }
}
