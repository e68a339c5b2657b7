#include "link/Packet.h"
#include "support/LinkTestSupport.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A link with one accepted peer and a transaction attached to it.
class DeviceLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.link.IsListening());
        m_pPeer = m_server.ConnectPeer();
        ASSERT_TRUE(m_pPeer);
        ASSERT_TRUE(m_server.link.AttachTransaction(&m_event));
    }
    void TearDown() override { m_server.link.DetachTransaction(&m_event); }

    CDeviceLink& Link() { return m_server.link; }
    CTestPeer& Peer() { return *m_pPeer; }

    CListeningLink m_server;
    std::unique_ptr<CTestPeer> m_pPeer;
    CRecordingEvent m_event;
};

TEST_F(DeviceLinkTest, RequestLinesReachThePeerByteForByte) {
    // A name that is no valid UTF-8 and holds a NUL and a carriage return.
    const QByteArray name("a\0\xff\xfe\r\xe3\x81", 7);
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetProtVer")));
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetFile", name)));
    const QByteArray setFile = MakeRequestLine("SetFile", name + '\r' + "0123abcd" + '\r' + "00ff");
    ASSERT_TRUE(Link().SendToDevice(setFile));

    const QByteArray expected = QByteArray("GetProtVer:\n") + "GetFile:" + name + '\n' + setFile;
    ASSERT_TRUE(Peer().WaitReceived(expected.size()));
    EXPECT_EQ(Peer().Received(), expected);
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_nSent == expected.size(); }));
    EXPECT_EQ(Link().PendingSendBytes(), 0);
}

TEST_F(DeviceLinkTest, SecondConnectionIsClosedAtOnceAndTheFirstStays) {
    const quint64 nSerial = Link().ConnectionSerial();
    CTestPeer second(Link().Port());
    ASSERT_TRUE(second.WaitConnected());
    ASSERT_TRUE(second.WaitClosed());

    EXPECT_EQ(m_server.accepted.size(), 1);
    EXPECT_EQ(Link().ConnectionSerial(), nSerial);
    EXPECT_EQ(m_event.m_nClosed, 0);
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetProtVer")));
    EXPECT_EQ(Peer().TakeLine(), "GetProtVer:\n");
    Peer().Send("ok:4\n");
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_packets.size() == 1; }));
    EXPECT_EQ(m_event.m_packets[0].value, "4");
}

TEST_F(DeviceLinkTest, PeerCloseEndsTheTransactionAndResetsTheConnection) {
    const quint64 nSerial = Link().ConnectionSerial();
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetFileList")));
    Peer().Send("partial reply without line feed");
    ASSERT_TRUE(WaitUntil([&] { return Link().PendingReceiveBytes() > 0; }));
    Peer().Socket().disconnectFromHost();

    ASSERT_TRUE(WaitUntil([&] { return !m_server.closed.isEmpty(); }));
    EXPECT_EQ(m_server.closed, QList<quint64>{nSerial});
    EXPECT_TRUE(m_server.failures.isEmpty());
    EXPECT_EQ(m_event.m_nClosed, 1);
    EXPECT_FALSE(Link().IsConnected());
    EXPECT_EQ(Link().ConnectionSerial(), 0u);
    EXPECT_FALSE(Link().CanSend());
    EXPECT_EQ(Link().PendingReceiveBytes(), 0);
    EXPECT_FALSE(Link().SendToDevice(MakeRequestLine("GetFileList")));
    EXPECT_TRUE(m_event.m_packets.isEmpty());
}

TEST_F(DeviceLinkTest, DisconnectResetsEverythingAndANewConnectionIsAccepted) {
    Peer().Socket().setReadBufferSize(4096);
    Peer().Socket().setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 65536);
    ASSERT_TRUE(Link().SendToDevice(QByteArray(16 * 1024 * 1024, 'x')));
    ASSERT_TRUE(WaitUntil([&] { return !Link().CanSend(); }));
    ASSERT_GT(Link().PendingSendBytes(), 0);

    Link().Disconnect();
    EXPECT_EQ(m_event.m_nClosed, 1);
    EXPECT_FALSE(Link().IsConnected());
    EXPECT_FALSE(Link().CanSend());
    EXPECT_EQ(Link().PendingSendBytes(), 0);
    EXPECT_EQ(Link().PendingReceiveBytes(), 0);
    EXPECT_TRUE(m_server.closed.isEmpty()); // the owner's own Disconnect is no peer close
    ASSERT_TRUE(Peer().WaitClosed());

    const quint64 nOld = m_server.accepted.last();
    auto pNext = m_server.ConnectPeer();
    ASSERT_TRUE(pNext);
    EXPECT_GT(Link().ConnectionSerial(), nOld);
    EXPECT_TRUE(Link().CanSend());
}

TEST_F(DeviceLinkTest, SendingWaitsWhileThePeerDoesNotReadAndReportsOnlyAcceptedBytes) {
    Peer().Socket().setReadBufferSize(4096);
    Peer().Socket().setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 65536);
    QByteArray payload(16 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7 + i / 4096);
    ASSERT_TRUE(Link().SendToDevice(payload));

    ASSERT_TRUE(WaitUntil([&] { return !Link().CanSend(); }));
    EXPECT_GT(Link().PendingSendBytes(), 0);
    EXPECT_LT(m_event.m_nSent, payload.size() - Link().PendingSendBytes());

    Peer().Socket().setReadBufferSize(0);
    Peer().Socket().readAll(); // restarts reading
    ASSERT_TRUE(Peer().WaitReceived(payload.size()));
    EXPECT_EQ(Peer().Received(), payload);
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_nSent == payload.size(); }));
    EXPECT_EQ(Link().PendingSendBytes(), 0);
}

TEST_F(DeviceLinkTest, LargeReplyOverManyReadsIsOnePacket) {
    const qsizetype nSize = 40 * 1024 * 1024;
    QByteArray value(nSize, '\0');
    for (qsizetype i = 0; i < nSize; ++i)
        value[i] = "0123456789abcdef"[(i * 31 + i / 65536) & 15];
    const QByteArray reply = "ok:" + value + '\n';

    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetFile", "big")));
    // 64 KB at a time, each piece read by the link before the next goes out.
    const qsizetype nPiece = 64 * 1024;
    for (qsizetype nDone = 0; nDone < reply.size(); nDone += nPiece) {
        Peer().Send(reply.mid(nDone, nPiece));
        const qint64 nWant = std::min(reply.size(), nDone + nPiece);
        ASSERT_TRUE(WaitUntil([&] { return m_event.m_nReceived >= nWant; }));
    }
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_packets.size() == 1; }));
    EXPECT_EQ(m_event.m_packets[0].name, "ok");
    EXPECT_TRUE(m_event.m_packets[0].value == value);
    EXPECT_EQ(m_event.m_nReceived, reply.size());
    EXPECT_GE(m_event.m_nReceiveCalls, reply.size() / nPiece);
    EXPECT_EQ(Link().PendingReceiveBytes(), 0);
}

// A transaction that takes the value of its "ok" replies as they arrive.
class CStreamingEvent : public CRecordingEvent, public IValueStream {
public:
    IValueStream* StreamValueOf(QByteArrayView name) override {
        return name == "ok" ? this : nullptr;
    }
    void AppendValue(const char* pData, qsizetype nBytes) override {
        m_streamed.append(pData, nBytes);
    }
    QByteArray m_streamed;
};

TEST(DeviceLinkStreaming, StreamedValueIsNotKeptAndStopsWhenTheRequestIsCancelled) {
    CListeningLink server;
    const std::unique_ptr<CTestPeer> pPeer = server.ConnectPeer();
    ASSERT_TRUE(pPeer);
    CStreamingEvent event;
    ASSERT_TRUE(server.link.AttachTransaction(&event));
    ASSERT_TRUE(server.link.SendToDevice(MakeRequestLine("GetFile", "a")));
    ASSERT_TRUE(server.link.SendToDevice(MakeRequestLine("GetFile", "b")));
    const QByteArray value(3 * 1024 * 1024, 'f');
    pPeer->Send("error:3\nok:" + value.first(1024 * 1024));
    ASSERT_TRUE(WaitUntil([&] { return event.m_streamed.size() >= 1024 * 1024; }));
    // Only the head of the line being streamed waits in the link.
    EXPECT_LE(server.link.PendingReceiveBytes(), 3);
    pPeer->Send(value.sliced(1024 * 1024) + '\n');
    ASSERT_TRUE(WaitUntil([&] { return event.m_packets.size() == 2; }));
    EXPECT_EQ(event.m_packets[0].name, "error");
    EXPECT_EQ(event.m_packets[0].value, "3");
    EXPECT_EQ(event.m_packets[1].name, "ok");
    EXPECT_TRUE(event.m_packets[1].value.isEmpty());
    EXPECT_TRUE(event.m_streamed == value);

    // A request cancelled while its reply streams: the rest goes nowhere,
    // and the next transaction gets only its own reply.
    event.m_streamed.clear();
    ASSERT_TRUE(server.link.SendToDevice(MakeRequestLine("GetFile", "c")));
    pPeer->Send("ok:0123");
    ASSERT_TRUE(WaitUntil([&] { return event.m_streamed == "0123"; }));
    server.link.CancelOutstanding();
    server.link.DetachTransaction(&event);
    CStreamingEvent next;
    ASSERT_TRUE(server.link.AttachTransaction(&next));
    ASSERT_TRUE(server.link.SendToDevice(MakeRequestLine("GetFile", "d")));
    pPeer->Send("4567\nok:89\n");
    ASSERT_TRUE(WaitUntil([&] { return next.m_packets.size() == 1; }));
    EXPECT_EQ(event.m_streamed, "0123");
    EXPECT_EQ(event.m_packets.size(), 2);
    EXPECT_EQ(next.m_streamed, "89");
    server.link.DetachTransaction(&next);
}

TEST_F(DeviceLinkTest, BytesPiledUpInTheSystemAreTakenInSlicesOfAtMostTheReadBuffer) {
    const QByteArray value = QByteArray("0123456789abcdef").repeated(512 * 1024);
    const QByteArray reply = "ok:" + value + '\n';
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetFile", "big")));
    // Written without the event loop running, so the link reads nothing
    // while the system's buffers fill up.
    Peer().Send(reply);
    for (qint64 left = Peer().Socket().bytesToWrite(); left > 0;) {
        Peer().Socket().flush();
        const qint64 now = Peer().Socket().bytesToWrite();
        if (now == left)
            break; // the system takes no more for now
        left = now;
    }
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_packets.size() == 1; }));
    EXPECT_TRUE(m_event.m_packets[0].value == value);
    EXPECT_EQ(m_event.m_nReceived, reply.size());
    EXPECT_LE(m_event.m_nLargestReceive, CMySocket::kReadBufferSize);
    EXPECT_GE(m_event.m_nReceiveCalls, reply.size() / CMySocket::kReadBufferSize);
}

TEST_F(DeviceLinkTest, PeerAnsweringAtOnceNeverStrandsAReply) {
    // Every request is answered the moment it arrives; the transaction sends
    // the next request from inside OnPacket, like the file-list transaction,
    // and every third handler also runs a nested event loop after sending,
    // like a message box would. The reply arriving meanwhile must wait for
    // the handler and then be handed over.
    const int nRequests = 30;
    Peer().AnswerEachLine(
        [](const QByteArray& line) { return "ok:" + line.mid(line.indexOf(':') + 1); });
    int nNestedLoops = 0;
    int nRepliesDuringHandler = 0;
    m_event.m_onPacket = [&](const CRecordingEvent::CPacket&) {
        const int nNext = int(m_event.m_packets.size());
        if (nNext == nRequests)
            return;
        Link().SendToDevice(MakeRequestLine("GetThumb", QByteArray::number(nNext)));
        if (nNext % 3 == 0) {
            ++nNestedLoops;
            // Wait for the reply, then let the loop run what it posted.
            WaitUntil([&] { return Link().PendingReceiveBytes() > 0; });
            QEventLoop loop;
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
            loop.exec();
            if (Link().PendingReceiveBytes() > 0)
                ++nRepliesDuringHandler;
        }
    };
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetThumb", "0")));

    ASSERT_TRUE(WaitUntil([&] { return m_event.m_packets.size() == nRequests; }));
    for (int i = 0; i < nRequests; ++i)
        EXPECT_EQ(m_event.m_packets[i].value, QByteArray::number(i));
    EXPECT_EQ(m_event.m_nMaxDepth, 1);
    EXPECT_GT(nNestedLoops, 0);
    EXPECT_EQ(nRepliesDuringHandler, nNestedLoops);
    EXPECT_EQ(Link().PendingReceiveBytes(), 0);
}

TEST_F(DeviceLinkTest, SeveralRepliesInOneReadAreAllHandedOver) {
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetThumb", "a")));
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetThumb", "b")));
    ASSERT_TRUE(Peer().WaitReceived(22));
    Peer().Send("ok:A\nok:B\n");
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_packets.size() == 2; }));
    EXPECT_EQ(m_event.m_packets[0].value, "A");
    EXPECT_EQ(m_event.m_packets[1].value, "B");
}

TEST_F(DeviceLinkTest, LinesAreCutAtTheFirstColonAndLinesWithoutOneAreDropped) {
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetProtVer")));
    // A line without a colon is dropped and does not use up the awaited
    // reply: the line after it answers the request, also from a later read.
    Peer().Send("no colon here\n");
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_nReceived == 14; }));
    Peer().Send("late:x\n");
    ASSERT_TRUE(WaitUntil([&] { return !m_event.m_packets.isEmpty(); }));
    ASSERT_EQ(m_event.m_packets.size(), 1);
    EXPECT_EQ(m_event.m_packets[0].name, "late");
    EXPECT_EQ(m_event.m_packets[0].value, "x");

    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetProtVer")));
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetProtVer")));
    Peer().Send("ok:\n");
    Peer().Send(QByteArray("error:a:b\r\0\xff\n", 13));
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_packets.size() == 3; }));
    EXPECT_EQ(m_event.m_packets[1].name, "ok");
    EXPECT_EQ(m_event.m_packets[1].value, "");
    EXPECT_EQ(m_event.m_packets[2].name, "error");
    EXPECT_EQ(m_event.m_packets[2].value, QByteArray("a:b\r\0\xff", 6));
}

TEST_F(DeviceLinkTest, UnaskedLinesDoNotShiftTheRepliesThatFollow) {
    Peer().Send("ok:unasked\n");
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_nReceived == 11; }));
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetProtVer")));
    ASSERT_TRUE(Peer().WaitReceived(12));
    Peer().Send("ok:4\n");
    ASSERT_TRUE(WaitUntil([&] { return !m_event.m_packets.isEmpty(); }));
    EXPECT_EQ(m_event.m_packets.size(), 1);
    EXPECT_EQ(m_event.m_packets[0].value, "4");
}

TEST_F(DeviceLinkTest, LateReplyOfACancelledRequestIsDropped) {
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetFile", "first")));
    ASSERT_EQ(Peer().TakeLine(), "GetFile:first\n");
    // The user pressed Escape: the window cancels and ends.
    Link().CancelOutstanding();
    Link().DetachTransaction(&m_event);

    CRecordingEvent next;
    ASSERT_TRUE(Link().AttachTransaction(&next));
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("DeleteFile", "second")));
    ASSERT_EQ(Peer().TakeLine(), "DeleteFile:second\n");
    Peer().Send("ok:reply to first\n");
    Peer().Send("ok:reply to second\n");
    ASSERT_TRUE(WaitUntil([&] { return !next.m_packets.isEmpty(); }));
    EXPECT_EQ(next.m_packets.size(), 1);
    EXPECT_EQ(next.m_packets[0].value, "reply to second");
    EXPECT_TRUE(m_event.m_packets.isEmpty());
    Link().DetachTransaction(&next);
}

TEST_F(DeviceLinkTest, ReconnectDuringATransactionEndsItAndKeepsItOffTheNewConnection) {
    const quint64 nFirst = Link().ConnectionSerial();
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetProtVer")));
    ASSERT_EQ(Peer().TakeLine(), "GetProtVer:\n");
    Peer().Socket().disconnectFromHost();
    ASSERT_TRUE(WaitUntil([&] { return m_event.m_nClosed == 1; }));

    auto pAgain = m_server.ConnectPeer();
    ASSERT_TRUE(pAgain);
    const quint64 nSecond = Link().ConnectionSerial();
    EXPECT_NE(nSecond, nFirst);
    EXPECT_EQ(m_server.accepted, (QList<quint64>{nFirst, nSecond}));

    // The old transaction may neither send on the new connection nor get its
    // lines; the accept step of the first connection sees the serial change.
    EXPECT_FALSE(Link().SendToDevice(MakeRequestLine("GetFileList")));
    // The unfinished line left behind shows that the complete one was read.
    const qint64 nStaleReceived = m_event.m_nReceived;
    pAgain->Send("ok:5\nx");
    ASSERT_TRUE(WaitUntil([&] { return Link().PendingReceiveBytes() == 1; }));
    pAgain->Send("\n");
    ASSERT_TRUE(WaitUntil([&] { return Link().PendingReceiveBytes() == 0; }));
    EXPECT_EQ(m_event.m_nReceived, nStaleReceived);

    CRecordingEvent check;
    ASSERT_TRUE(Link().AttachTransaction(&check));
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetProtVer")));
    EXPECT_EQ(pAgain->TakeLine(), "GetProtVer:\n");
    pAgain->Send("ok:4\n");
    ASSERT_TRUE(WaitUntil([&] { return !check.m_packets.isEmpty(); }));
    EXPECT_EQ(check.m_packets[0].value, "4");
    EXPECT_TRUE(m_event.m_packets.isEmpty());
    EXPECT_EQ(m_event.m_nClosed, 1);
    Link().DetachTransaction(&check);
}

TEST_F(DeviceLinkTest, LineOverTheLimitIsASocketFailure) {
    const auto& failed = m_server.failures;
    const quint64 nSerial = Link().ConnectionSerial();
    ASSERT_TRUE(Link().SendToDevice(MakeRequestLine("GetFile", "huge")));
    const QByteArray piece(4 * 1024 * 1024, 'a');
    qint64 nSent = 0;
    while (failed.isEmpty() && nSent <= CDeviceLink::MAX_LINE_LENGTH) {
        Peer().Send(piece);
        nSent += piece.size();
        ASSERT_TRUE(WaitUntil([&] { return !failed.isEmpty() || m_event.m_nReceived >= nSent; }));
    }
    if (failed.isEmpty()) {
        Peer().Send("a");
        ASSERT_TRUE(WaitUntil([&] { return !failed.isEmpty(); }));
    }
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0].nSerial, nSerial);
    EXPECT_EQ(failed[0].nCode, EMSGSIZE);
    EXPECT_TRUE(failed[0].strText.contains("longer than"));
    EXPECT_TRUE(m_server.closed.isEmpty());
    EXPECT_GT(m_event.m_nReceived, CDeviceLink::MAX_LINE_LENGTH);
    EXPECT_EQ(m_event.m_nClosed, 1);
    EXPECT_TRUE(m_event.m_packets.isEmpty());
    EXPECT_FALSE(Link().IsConnected());
    EXPECT_FALSE(Link().CanSend());
    EXPECT_EQ(Link().PendingReceiveBytes(), 0);
    EXPECT_TRUE(Peer().WaitClosed());
}

TEST(DeviceLinkNoConnection, PeerThatLeavesAtOnceIsAcceptedAndThenReportedClosed) {
    // A plain blocking socket connects and closes before the link's event
    // loop has run, so the close may come before the link takes the
    // connection from the listening socket.
    CListeningLink server;
    const int nFd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(nFd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.link.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(nFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(nFd);

    ASSERT_TRUE(WaitUntil([&] { return !server.closed.isEmpty(); }));
    ASSERT_EQ(server.accepted.size(), 1);
    EXPECT_EQ(server.closed, server.accepted);
    EXPECT_FALSE(server.link.IsConnected());
    EXPECT_TRUE(server.failures.isEmpty());
}

TEST(DeviceLinkNoConnection, TransactionWithoutConnectionEndsFromTheEventLoop) {
    CListeningLink server;
    CRecordingEvent event;
    EXPECT_FALSE(server.link.AttachTransaction(&event));
    EXPECT_EQ(event.m_nClosed, 0); // not inside the caller's start-up
    EXPECT_FALSE(server.link.SendToDevice(MakeRequestLine("GetProtVer")));
    ASSERT_TRUE(WaitUntil([&] { return event.m_nClosed == 1; }));
    server.link.DetachTransaction(&event);
}

TEST(DeviceLinkNoConnection, PortInUseReportsAddressInUse) {
    CListeningLink first;
    ASSERT_TRUE(first.link.IsListening());
    CDeviceLink second(first.link.Port(), QHostAddress::LocalHost);
    EXPECT_FALSE(second.Listen());
    EXPECT_EQ(second.ListenError().nCode, EADDRINUSE);
    EXPECT_EQ(second.ListenError().strText, ErrnoText(EADDRINUSE));
    EXPECT_FALSE(second.ListenError().strText.isEmpty());
}

} // namespace
