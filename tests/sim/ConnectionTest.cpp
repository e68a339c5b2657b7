// The simulator's connection loop and each fault mode, seen from a test
// server that plays the utility.
#include "SimHarness.h"

#include "base/TextRoutines.h"
#include "convert/DibSection.h"
#include "convert/PngSerializer.h"
#include "link/TransferPackets.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

#include <zlib.h>

namespace {

// A harness with one drawing, connected.
struct CConnectedSim {
    explicit CConnectedSim(const QString& fault) : sim(fault) {
        PutDrawing(sim.Store(), "d", document);
        sim.Start();
        connected = sim.Accept();
    }

    const QByteArray document = SmallDocument(30, 20);
    CSimHarness sim;
    bool connected = false;
};

} // namespace

TEST(SimConnection, ConnectsAgainUntilTheUtilityListensAndAfterItCloses) {
    CSimHarness sim;
    // Nobody listens on the port at first.
    const quint16 port = sim.Server().serverPort();
    sim.Server().close();
    sim.Start();
    ASSERT_TRUE(WaitUntil([&] { return !sim.Log().isEmpty(); }));
    EXPECT_TRUE(sim.Log().first().startsWith(QStringLiteral("cannot connect")));
    ASSERT_TRUE(sim.Server().listen(QHostAddress::LocalHost, port));
    ASSERT_TRUE(sim.Accept());
    EXPECT_EQ(sim.Ask("GetProtVer:\n"), "ok:4\n");

    // The utility closes; the simulator comes back.
    sim.Connection()->close();
    ASSERT_TRUE(sim.Accept());
    EXPECT_EQ(sim.Ask("GetProtVer:\n"), "ok:4\n");
    EXPECT_TRUE(sim.Log().contains(QStringLiteral("GetProtVer -> ok (version 4)")));
}

TEST(SimConnection, OnceEndsWithTheFirstConnection) {
    CSimHarness sim(QString(), 3);
    CAppClient::COptions options;
    options.m_bOnce = true;
    sim.Start(options);
    ASSERT_TRUE(sim.Accept());
    int finished = 0;
    QObject::connect(&sim.Client(), &CAppClient::Finished, [&] { ++finished; });
    EXPECT_EQ(sim.Ask("GetProtVer:\n"), "ok:3\n");
    sim.Connection()->close();
    EXPECT_TRUE(WaitUntil([&] { return finished == 1; }));
    EXPECT_TRUE(sim.Log().contains(QStringLiteral("connection closed")));
}

TEST(SimConnection, ARequestLineBeyondTheLimitEndsTheConnection) {
    CSimHarness sim;
    CAppClient::COptions options;
    options.m_nMaxLineLength = 64 * 1024;
    sim.Start(options);
    ASSERT_TRUE(sim.Accept());
    // Exactly at the limit, the line is still taken.
    EXPECT_EQ(sim.Ask("GetFile:" + QByteArray(64 * 1024 - 8, 'x') + '\n'), "error:1\n");
    sim.Connection()->write(QByteArray(64 * 1024 + 1, 'x'));
    EXPECT_TRUE(sim.WaitClosed());
    EXPECT_TRUE(sim.Received().isEmpty());
    // And it connects again.
    ASSERT_TRUE(sim.Accept());
    EXPECT_EQ(sim.Ask("GetProtVer:\n"), "ok:4\n");
}

TEST(SimFaults, BadDigestSendsTheRightBytesUnderAWrongDigest) {
    CConnectedSim s(QStringLiteral("bad-digest"));
    ASSERT_TRUE(s.connected);
    const QByteArray reply = s.sim.Ask("GetFile:d\n");
    ASSERT_TRUE(reply.startsWith("ok:"));
    const CDownloadReply download = CDownloadReply::Parse(reply.sliced(3).chopped(1));
    EXPECT_EQ(download.Document(), s.document);
    EXPECT_FALSE(download.IsVerified());
    // Still 32 lower-case hexadecimal digits.
    QByteArray digestBytes;
    EXPECT_TRUE(StrictHexToBytes(download.Digest(), digestBytes));
    EXPECT_EQ(download.Digest(), download.Digest().toLower());
    // Other replies are untouched.
    EXPECT_EQ(s.sim.Ask("GetProtVer:\n"), "ok:4\n");
}

TEST(SimFaults, JunkLinesComeBeforeEachReply) {
    CConnectedSim s(QStringLiteral("junk-lines"));
    ASSERT_TRUE(s.connected);
    for (int i = 0; i < 2; ++i) {
        const QByteArray junk = s.sim.Ask("GetProtVer:\n");
        EXPECT_FALSE(junk.contains(':'));
        EXPECT_GT(junk.size(), 1);
        EXPECT_EQ(s.sim.TakeLine(), "\n");
        EXPECT_EQ(s.sim.TakeLine(), "ok:4\n");
    }
}

TEST(SimFaults, DropMidReplySendsHalfAGetFileReplyThenCloses) {
    CConnectedSim s(QStringLiteral("drop-mid-reply"));
    ASSERT_TRUE(s.connected);
    EXPECT_EQ(s.sim.Ask("GetProtVer:\n"), "ok:4\n");
    s.sim.Connection()->write("GetFile:d\n");
    ASSERT_TRUE(s.sim.WaitClosed());
    const QByteArray full = MakeDownloadReplyLine(s.document);
    EXPECT_EQ(s.sim.Received(), full.left(full.size() - full.size() / 2));
    // It comes back afterwards.
    EXPECT_TRUE(s.sim.Accept());
}

TEST(SimFaults, EndlessLineNeverEndsUntilTheUtilityCloses) {
    CConnectedSim s(QStringLiteral("endless-line"));
    ASSERT_TRUE(s.connected);
    s.sim.Connection()->write("GetFile:d\n");
    constexpr qsizetype kSeen = 8 * 1024 * 1024;
    ASSERT_TRUE(s.sim.WaitReceived(kSeen));
    EXPECT_TRUE(s.sim.Received().startsWith("ok:0123456789abcdef"));
    EXPECT_FALSE(s.sim.Received().contains('\n'));
    s.sim.Connection()->abort();
    // The simulator notices and connects again, behaving.
    ASSERT_TRUE(s.sim.Accept());
    EXPECT_EQ(s.sim.Ask("GetProtVer:\n"), "ok:4\n");
}

TEST(SimFaults, HugeThumbHeaderClaims100000SquareWithAValidChecksum) {
    CConnectedSim s(QStringLiteral("huge-thumb-header"));
    ASSERT_TRUE(s.connected);
    const QByteArray reply = s.sim.Ask("GetThumb:d\n");
    QByteArray png;
    ASSERT_TRUE(reply.startsWith("ok:"));
    ASSERT_TRUE(StrictHexToBytes(QByteArrayView(reply).sliced(3).chopped(1), png));
    ASSERT_GT(png.size(), 33);
    const auto* bytes = reinterpret_cast<const uchar*>(png.constData());
    EXPECT_EQ(png.mid(12, 4), "IHDR");
    EXPECT_EQ(qFromBigEndian<quint32>(bytes + 16), 100000u);
    EXPECT_EQ(qFromBigEndian<quint32>(bytes + 20), 100000u);
    EXPECT_EQ(qFromBigEndian<quint32>(bytes + 29), quint32(crc32(0, bytes + 12, 17)));
    // The utility's reader refuses it by its size.
    QBuffer buffer(&png);
    buffer.open(QIODevice::ReadOnly);
    CDibSection dib;
    QString error;
    EXPECT_FALSE(LoadPngThumbnail(dib, buffer, error));
    EXPECT_TRUE(dib.IsEmpty());
}

TEST(SimFaults, SlowDripSendsEachReplyAByteAtATime) {
    CConnectedSim s(QStringLiteral("slow-drip"));
    ASSERT_TRUE(s.connected);
    PutDrawing(s.sim.Store(), "ねこ", s.document);
    const QByteArray expected = "ok:1\r" + QStringLiteral(u"ねこ\rねこ_2\n").toUtf8();
    const QByteArray reply = s.sim.Ask("IsOverwrite:" + QStringLiteral(u"ねこ\n").toUtf8());
    EXPECT_EQ(reply, expected);
    // Bytes a few milliseconds apart arrive in many reads, the first of
    // them short.
    ASSERT_FALSE(s.sim.Reads().isEmpty());
    EXPECT_LT(s.sim.Reads().first(), expected.size() / 2);
    EXPECT_GE(s.sim.Reads().size(), 4);
}

TEST(SimFaults, ReconnectStormClosesAThousandConnectionsThenKeepsOne) {
    CSimHarness sim(QStringLiteral("reconnect-storm"));
    sim.Start();
    int closedAtOnce = 0;
    QList<QTcpSocket*> open;
    // Every connection the simulator closes without a byte counts; the one
    // that stays open is the kept one.
    ASSERT_TRUE(WaitUntil([&] {
        while (sim.Server().hasPendingConnections())
            open.append(sim.Server().nextPendingConnection());
        for (qsizetype i = 0; i < open.size();) {
            QTcpSocket* socket = open[i];
            if (socket->state() != QAbstractSocket::UnconnectedState) {
                ++i;
                continue;
            }
            EXPECT_EQ(socket->bytesAvailable(), 0);
            ++closedAtOnce;
            open.removeAt(i);
            socket->deleteLater();
        }
        return closedAtOnce == kStormConnections && open.size() == 1;
    }));
    QTcpSocket* kept = open.first();
    kept->write("GetProtVer:\n");
    EXPECT_TRUE(WaitUntil([&] { return kept->canReadLine(); }));
    EXPECT_EQ(kept->readLine(), "ok:4\n");
    EXPECT_EQ(sim.Log().filter(QStringLiteral("after closing 1000 connections at once")).size(), 1);
}
