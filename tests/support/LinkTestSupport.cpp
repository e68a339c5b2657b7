#include "support/LinkTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>

CTestPeer::CTestPeer(quint16 nPort) {
    QObject::connect(&m_socket, &QIODevice::readyRead, [this] { OnReadyRead(); });
    m_socket.connectToHost(QHostAddress::LocalHost, nPort);
}

bool CTestPeer::WaitConnected() {
    return WaitUntil([this] { return m_socket.state() == QAbstractSocket::ConnectedState; });
}

bool CTestPeer::WaitClosed() {
    return WaitUntil([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; });
}

bool CTestPeer::WaitReceived(qsizetype nBytes) {
    return WaitUntil([this, nBytes] { return m_received.size() >= nBytes; });
}

QByteArray CTestPeer::TakeLine() {
    if (!WaitUntil([this] { return m_received.contains('\n'); }))
        return {};
    const qsizetype nEnd = m_received.indexOf('\n') + 1;
    QByteArray line = m_received.left(nEnd);
    m_received.remove(0, nEnd);
    return line;
}

void CTestPeer::Send(const QByteArray& bytes) {
    m_socket.write(bytes);
}

void CTestPeer::AnswerEachLine(std::function<QByteArray(const QByteArray&)> answer) {
    m_answer = std::move(answer);
}

void CTestPeer::OnReadyRead() {
    m_received.append(m_socket.readAll());
    if (!m_answer)
        return;
    qsizetype nEnd;
    while ((nEnd = m_received.indexOf('\n')) >= 0) {
        const QByteArray line = m_received.left(nEnd + 1);
        m_received.remove(0, nEnd + 1);
        m_socket.write(m_answer(line));
    }
}

void CRecordingEvent::OnReceived(qint64 nBytes) {
    m_nReceived += nBytes;
    ++m_nReceiveCalls;
    m_nLargestReceive = std::max(m_nLargestReceive, nBytes);
}

void CRecordingEvent::OnPacket(QByteArray name, QByteArray value) {
    ++m_nDepth;
    m_nMaxDepth = std::max(m_nMaxDepth, m_nDepth);
    m_packets.append({name, value});
    if (m_onPacket)
        m_onPacket(m_packets.last());
    --m_nDepth;
}

void CRecordingEvent::OnSent(qint64 nBytes) {
    m_nSent += nBytes;
}

CListeningLink::CListeningLink() : link(0, QHostAddress::LocalHost) {
    QObject::connect(&link, &CDeviceLink::ConnectionAccepted,
                     [this](quint64 nSerial) { accepted.append(nSerial); });
    QObject::connect(&link, &CDeviceLink::ConnectionClosed,
                     [this](quint64 nSerial) { closed.append(nSerial); });
    QObject::connect(&link, &CDeviceLink::SocketFailed,
                     [this](quint64 nSerial, int nCode, const QString& strText) {
                         failures.append({nSerial, nCode, strText});
                     });
    link.Listen();
}

std::unique_ptr<CTestPeer> CListeningLink::ConnectPeer() {
    const qsizetype nBefore = accepted.size();
    auto pPeer = std::make_unique<CTestPeer>(link.Port());
    if (!pPeer->WaitConnected() || !WaitUntil([&] { return accepted.size() > nBefore; }))
        return nullptr;
    return pPeer;
}
