#pragma once

#include "support/TestSupport.h"

#include "link/DeviceLink.h"
#include "link/ServerEvent.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QTcpSocket>

#include <functional>
#include <memory>

// A scripted app on the other end of the link: collects what the link sends
// and answers as the test says.
class CTestPeer {
public:
    // Connects to the link's port on the loopback address.
    explicit CTestPeer(quint16 nPort);

    bool WaitConnected();
    // Waits until the link has closed this connection.
    bool WaitClosed();
    // Waits until at least nBytes have been received from the link.
    bool WaitReceived(qsizetype nBytes);
    // Waits for the next complete line from the link and removes it from
    // Received(); the line feed is kept.
    QByteArray TakeLine();

    void Send(const QByteArray& bytes);
    QTcpSocket& Socket() { return m_socket; }
    QByteArray& Received() { return m_received; }
    // Called with every complete line the link sends (line feed kept); the
    // lines are then removed from Received().
    void AnswerEachLine(std::function<QByteArray(const QByteArray&)> answer);

private:
    void OnReadyRead();

    QTcpSocket m_socket;
    QByteArray m_received;
    std::function<QByteArray(const QByteArray&)> m_answer;
};

// A transaction that records what the link tells it.
class CRecordingEvent : public CServerEvent {
public:
    struct CPacket {
        QByteArray name;
        QByteArray value;
    };

    void OnReceived(qint64 nBytes) override;
    void OnPacket(QByteArray name, QByteArray value) override;
    void OnSent(qint64 nBytes) override;
    void OnClosed() override { ++m_nClosed; }

    // Runs inside OnPacket after the packet is recorded.
    std::function<void(const CPacket&)> m_onPacket;

    QList<CPacket> m_packets;
    qint64 m_nReceived = 0;
    qint64 m_nReceiveCalls = 0;
    qint64 m_nLargestReceive = 0; // bytes of the largest single OnReceived
    qint64 m_nSent = 0;
    int m_nClosed = 0;
    int m_nDepth = 0;
    int m_nMaxDepth = 0;
};

// A listening link on a free loopback port that records its signals.
struct CListeningLink {
    struct CFailure {
        quint64 nSerial;
        int nCode;
        QString strText;
    };

    CListeningLink();
    // Connects a new peer and waits until the link has accepted it.
    std::unique_ptr<CTestPeer> ConnectPeer();

    CDeviceLink link;
    QList<quint64> accepted;
    QList<quint64> closed;
    QList<CFailure> failures;
};
