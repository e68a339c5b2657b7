#include "link/DeviceLink.h"

#include <QMetaObject>

#include <algorithm>

CDeviceLink::CDeviceLink(quint16 nPort, const QHostAddress& address, QObject* parent)
    : QObject(parent), m_nPort(nPort), m_address(address), m_listenSocket(*this), m_socket(*this),
      m_framer(*this, MAX_LINE_LENGTH, MAX_UNTAKEN) {}

CDeviceLink::~CDeviceLink() = default;

bool CDeviceLink::Listen() {
    m_listenError = {};
    if (m_listenSocket.Listen(m_address, m_nPort, 5))
        return true;
    m_listenError = MakeSocketError(m_listenSocket.ListenError());
    return false;
}

bool CDeviceLink::IsListening() const {
    return m_listenSocket.IsListening();
}

quint16 CDeviceLink::Port() const {
    return IsListening() ? m_listenSocket.LocalPort() : m_nPort;
}

bool CDeviceLink::IsConnected() const {
    return m_nSerial != 0;
}

quint64 CDeviceLink::ConnectionSerial() const {
    return m_nSerial;
}

qsizetype CDeviceLink::PendingSendBytes() const {
    return m_sendBuffer.size() - m_nSendStart;
}

qsizetype CDeviceLink::PendingReceiveBytes() const {
    return m_framer.PendingBytes();
}

// ---- Accepting ----

void CDeviceLink::OnAccept(CMySocket& socket) {
    if (&socket != &m_listenSocket || m_bAcceptPosted)
        return;
    // The owner runs modal loops from ConnectionAccepted; they must not run
    // inside the server's own notification.
    m_bAcceptPosted = true;
    QMetaObject::invokeMethod(this, &CDeviceLink::AcceptPending, Qt::QueuedConnection);
}

void CDeviceLink::AcceptPending() {
    m_bAcceptPosted = false;
    while (m_listenSocket.HasPendingConnection()) {
        if (IsConnected()) {
            // One device at a time: a second connection is accepted and
            // closed at once, the current one stays untouched.
            CMySocket refused(*this);
            m_listenSocket.Accept(refused);
            refused.Close();
            continue;
        }
        // Every close has already reset the per-connection state.
        m_listenSocket.Accept(m_socket);
        if (!m_socket.IsConnected()) {
            // The peer left before it was accepted: nothing to report.
            m_socket.Close();
            continue;
        }
        const quint64 nSerial = m_nSerial = ++m_nLastSerial;
        m_bCanSend = true;
        emit ConnectionAccepted(nSerial);
    }
}

// ---- Closing ----

CServerEvent* CDeviceLink::CloseConnection() {
    CServerEvent* pEvent = EventOfCurrentConnection();
    m_socket.Close();
    m_nSerial = 0;
    m_bCanSend = false;
    m_sendBuffer.clear();
    m_nSendStart = 0;
    m_nHandedOver = m_nReportedTaken = 0;
    m_framer.Clear();
    m_nRepliesOwed = m_nRepliesToDrop = 0;
    ++m_nGeneration;
    return pEvent;
}

void CDeviceLink::Disconnect() {
    if (!IsConnected())
        return;
    if (CServerEvent* pEvent = CloseConnection())
        pEvent->OnClosed();
}

void CDeviceLink::OnClose(CMySocket& socket) {
    if (&socket != &m_socket || !IsConnected())
        return;
    const quint64 nSerial = m_nSerial;
    Disconnect();
    emit ConnectionClosed(nSerial);
}

void CDeviceLink::OnSocketError(CMySocket& socket, QAbstractSocket::SocketError error) {
    if (&socket == &m_socket)
        FailConnection(MakeSocketError(error));
}

void CDeviceLink::FailConnection(const CSocketError& error) {
    if (!IsConnected())
        return;
    const quint64 nSerial = m_nSerial;
    if (CServerEvent* pEvent = CloseConnection())
        pEvent->OnClosed();
    emit SocketFailed(nSerial, error.nCode, error.strText);
}

// ---- Transactions ----

CServerEvent* CDeviceLink::EventOfCurrentConnection() const {
    if (m_pServerEvent && m_nSerial != 0 && m_nEventSerial == m_nSerial)
        return m_pServerEvent;
    return nullptr;
}

bool CDeviceLink::AttachTransaction(CServerEvent* pEvent) {
    CancelOutstanding();
    m_pServerEvent = pEvent;
    m_nEventSerial = m_nSerial;
    if (IsConnected())
        return true;
    const quint64 nGeneration = m_nGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, pEvent, nGeneration] {
            if (m_pServerEvent == pEvent && m_nGeneration == nGeneration)
                pEvent->OnClosed();
        },
        Qt::QueuedConnection);
    return false;
}

void CDeviceLink::DetachTransaction(CServerEvent* pEvent) {
    if (m_pServerEvent != pEvent)
        return;
    CancelOutstanding();
    m_pServerEvent = nullptr;
    m_nEventSerial = 0;
}

void CDeviceLink::CancelOutstanding() {
    m_nRepliesToDrop += m_nRepliesOwed;
    m_nRepliesOwed = 0;
    // Replies already received but not yet handed over lose their owner
    // too, and a value being streamed stops reaching its transaction.
    ++m_nGeneration;
    m_framer.DropStream();
}

quint64 CDeviceLink::TakeReplyOwner() {
    if (m_nRepliesToDrop > 0) {
        --m_nRepliesToDrop;
        return 0;
    }
    if (m_nRepliesOwed > 0) {
        --m_nRepliesOwed;
        return m_nGeneration;
    }
    return 0;
}

// ---- Sending ----

bool CDeviceLink::SendToDevice(const QByteArray& request) {
    if (!IsConnected() || (m_pServerEvent && m_nEventSerial != m_nSerial))
        return false;
    ++m_nRepliesOwed;
    m_sendBuffer.append(request);
    FlushSendBuffer();
    return true;
}

void CDeviceLink::FlushSendBuffer() {
    // A send may report progress (OnSend) from inside itself; the pass that
    // is running goes on with the queue.
    if (m_bFlushing)
        return;
    m_bFlushing = true;
    const quint64 nSerial = m_nSerial;
    bool bFailed = false;
    while (m_nSerial == nSerial && m_bCanSend && m_nSendStart < m_sendBuffer.size()) {
        const qint64 nRoom = SEND_WINDOW - m_socket.BytesNotYetSent();
        if (nRoom <= 0) {
            // Would block: the rest waits for the next OnSend.
            m_bCanSend = false;
            break;
        }
        const qint64 nChunk = std::min<qint64>(nRoom, m_sendBuffer.size() - m_nSendStart);
        const qint64 nSent = m_socket.Send(m_sendBuffer.constData() + m_nSendStart, nChunk);
        if (m_nSerial != nSerial)
            break; // the connection went during the send; it has been reset
        if (nSent < 0) {
            bFailed = true;
            break;
        }
        m_nSendStart += nSent;
        m_nHandedOver += nSent;
        if (nSent == 0) {
            m_bCanSend = false;
            break;
        }
    }
    m_bFlushing = false;
    if (m_nSerial != nSerial)
        return;
    if (bFailed) {
        FailConnection(MakeSocketError(m_socket.LastError()));
        return;
    }
    ReportTakenBytes();
    // Drop what was handed over once it is at least half the queue, so a
    // large queue is not moved for every piece.
    if (m_nSendStart == m_sendBuffer.size()) {
        m_sendBuffer.clear();
        m_nSendStart = 0;
    } else if (m_nSendStart > m_sendBuffer.size() / 2) {
        m_sendBuffer.remove(0, m_nSendStart);
        m_nSendStart = 0;
    }
}

void CDeviceLink::OnSend(CMySocket& socket, qint64) {
    if (&socket != &m_socket)
        return;
    m_bCanSend = true;
    ReportTakenBytes();
    FlushSendBuffer();
}

void CDeviceLink::ReportTakenBytes() {
    // Counted from what was handed over and what still waits, not from the
    // socket's notifications: a send from inside one raises no other.
    const qint64 nTaken = m_nHandedOver - m_socket.BytesNotYetSent();
    if (nTaken <= m_nReportedTaken)
        return;
    const qint64 nNew = nTaken - m_nReportedTaken;
    m_nReportedTaken = nTaken;
    if (CServerEvent* pEvent = EventOfCurrentConnection())
        pEvent->OnSent(nNew);
}

// ---- Receiving ----

void CDeviceLink::OnReceive(CMySocket& socket) {
    if (&socket == &m_socket)
        ReceiveFromDevice();
}

void CDeviceLink::ReceiveFromDevice() {
    const quint64 nSerial = m_nSerial;
    while (m_nSerial == nSerial && m_socket.BytesAvailable() > 0) {
        const qint64 nWant = std::min(m_socket.BytesAvailable(), READ_CHUNK);
        const qint64 nRead = m_socket.Receive(m_framer.Prepare(nWant), nWant);
        if (nRead < 0) {
            FailConnection(MakeSocketError(m_socket.LastError()));
            return;
        }
        if (CServerEvent* pEvent = EventOfCurrentConnection())
            pEvent->OnReceived(nRead);
        if (m_nSerial != nSerial)
            return;
        CSocketError error;
        if (!m_framer.Commit(nRead, error)) {
            FailConnection(error);
            return;
        }
        if (nRead == 0)
            break;
    }
    // Handlers never run inside the read notification: Qt raises no further
    // readyRead while one is being handled, and a handler may run a modal loop.
    if (m_framer.HasLine())
        PostDispatch();
}

quint64 CDeviceLink::RoutePacket(QByteArrayView name, IValueStream*& pStream) {
    const quint64 nOwner = TakeReplyOwner();
    if (nOwner != 0)
        if (CServerEvent* pEvent = EventOfCurrentConnection())
            pStream = pEvent->StreamValueOf(name);
    return nOwner;
}

void CDeviceLink::PostDispatch() {
    if (m_bDispatchPosted)
        return;
    m_bDispatchPosted = true;
    QMetaObject::invokeMethod(this, &CDeviceLink::DispatchLines, Qt::QueuedConnection);
}

bool CDeviceLink::HandlerRunning(const CServerEvent* pEvent) const {
    return std::find(m_runningHandlers.begin(), m_runningHandlers.end(), pEvent) !=
           m_runningHandlers.end();
}

void CDeviceLink::DispatchLines() {
    m_bDispatchPosted = false;
    // Handlers may open modal loops, close the connection or send the next
    // request; every pass therefore reads the state afresh.
    while (m_framer.HasLine()) {
        CServerEvent* pEvent = EventOfCurrentConnection();
        const bool bForEvent = pEvent && m_framer.FrontOwner() == m_nGeneration;
        // A line for a handler that is still running waits; the call that
        // runs that handler goes on draining when the handler returns.
        if (bForEvent && HandlerRunning(pEvent))
            return;
        QByteArray name;
        QByteArray value;
        const bool bPacket = m_framer.TakeLine(name, value);
        if (!bForEvent || !bPacket)
            continue;
        m_runningHandlers.push_back(pEvent);
        pEvent->OnPacket(std::move(name), std::move(value));
        m_runningHandlers.pop_back();
    }
}
