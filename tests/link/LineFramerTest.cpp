#include "link/LineFramer.h"

#include <gtest/gtest.h>

#include <QList>

#include <random>

namespace {

// Collects a streamed value.
class CCollectingStream : public IValueStream {
public:
    void AppendValue(const char* pData, qsizetype nBytes) override {
        m_value.append(pData, nBytes);
        ++m_nPieces;
    }
    QByteArray m_value;
    int m_nPieces = 0;
};

// Tags packet lines 1, 2, 3... in the order their colons arrive and streams
// the values of the packets named by `streamed`.
class CRouter : public CLineFramer::IRouter {
public:
    quint64 RoutePacket(QByteArrayView name, IValueStream*& pStream) override {
        m_names.append(name.toByteArray());
        if (name == m_streamedName) {
            m_streams.append(new CCollectingStream);
            pStream = m_streams.back();
        }
        return quint64(m_names.size());
    }
    ~CRouter() override { qDeleteAll(m_streams); }

    QByteArray m_streamedName = "ok";
    QByteArrayList m_names;
    QList<CCollectingStream*> m_streams;
};

struct CTakenLine {
    quint64 nOwner;
    bool bPacket;
    QByteArray name;
    QByteArray value;
    bool operator==(const CTakenLine&) const = default;
};

// Takes every complete line; keeps those that answer somebody (the ones a
// link hands over).
QList<CTakenLine> TakeAll(CLineFramer& framer) {
    QList<CTakenLine> lines;
    while (framer.HasLine()) {
        CTakenLine line{framer.FrontOwner(), false, {}, {}};
        line.bPacket = framer.TakeLine(line.name, line.value);
        if (line.nOwner != 0)
            lines.append(line);
    }
    return lines;
}

// Feeds `stream` in pieces of the given sizes (cycled); false on an error.
bool Feed(CLineFramer& framer, const QByteArray& stream, const std::vector<qsizetype>& pieces,
          QList<CTakenLine>* pTaken = nullptr) {
    CSocketError error;
    for (qsizetype at = 0, i = 0; at < stream.size(); ++i) {
        const qsizetype n = std::min(pieces[size_t(i) % pieces.size()], stream.size() - at);
        if (!framer.Append(QByteArrayView(stream).sliced(at, n), error))
            return false;
        at += n;
        // Taking lines between pieces moves the buffer under the framer.
        if (pTaken && i % 3 == 0)
            pTaken->append(TakeAll(framer));
    }
    return true;
}

const QByteArray kStream = QByteArray("ok:0123\n"
                                      "no colon here\n"
                                      "\n"
                                      "error:1\n"
                                      "ok:abc:def\n"
                                      "ok:\n"
                                      "x:y\r\n"
                                      "partial:");

} // namespace

TEST(LineFramer, AnySplitOfTheStreamGivesTheSameLinesAndValues) {
    CRouter wholeRouter;
    CLineFramer whole(wholeRouter, 1000, 1000);
    ASSERT_TRUE(Feed(whole, kStream, {kStream.size()}));
    const QList<CTakenLine> expected = TakeAll(whole);
    // Streamed values arrive empty; their text went to the stream.
    const QList<CTakenLine> expectedLines = {{1, true, "ok", ""},
                                             {2, true, "error", "1"},
                                             {3, true, "ok", ""},
                                             {4, true, "ok", ""},
                                             {5, true, "x", "y\r"}};
    EXPECT_EQ(expected, expectedLines);
    ASSERT_EQ(wholeRouter.m_streams.size(), 3);
    EXPECT_EQ(wholeRouter.m_streams[0]->m_value, "0123");
    EXPECT_EQ(wholeRouter.m_streams[1]->m_value, "abc:def");
    EXPECT_EQ(wholeRouter.m_streams[2]->m_value, "");

    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<qsizetype> pieces;
        for (int i = 0; i < 5; ++i)
            pieces.push_back(qsizetype(random() % 9) + 1);
        CRouter router;
        CLineFramer framer(router, 1000, 1000);
        QList<CTakenLine> taken;
        ASSERT_TRUE(Feed(framer, kStream, pieces, &taken));
        taken.append(TakeAll(framer));
        ASSERT_EQ(taken, expected) << "round " << round;
        ASSERT_EQ(router.m_names, wholeRouter.m_names);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(router.m_streams[i]->m_value, wholeRouter.m_streams[i]->m_value);
    }
}

TEST(LineFramer, StreamedValuesAreNotKeptAndStillCountTowardsTheLineLimit) {
    CRouter router;
    CLineFramer framer(router, 100, 1000);
    CSocketError error;
    ASSERT_TRUE(framer.Append("ok:", error));
    for (int i = 0; i < 9; ++i) {
        ASSERT_TRUE(framer.Append(QByteArray(10, 'a'), error));
        // Only the line's head stays in the buffer.
        EXPECT_EQ(framer.PendingBytes(), 3);
    }
    EXPECT_FALSE(framer.Append(QByteArray(10, 'a'), error));
    EXPECT_EQ(error.nCode, EMSGSIZE);
    EXPECT_FALSE(error.strText.isEmpty());
}

TEST(LineFramer, LimitsOnLinesAndOnUntakenBytes) {
    CRouter router;
    router.m_streamedName = "none";
    CSocketError error;
    // A line of exactly the limit passes; one byte more fails, with or
    // without its line feed.
    CLineFramer exact(router, 10, 1000);
    EXPECT_TRUE(exact.Append("ok:4567890\n", error));
    CLineFramer longer(router, 10, 1000);
    EXPECT_FALSE(longer.Append("ok:45678901\n", error));
    CLineFramer unfinished(router, 10, 1000);
    EXPECT_FALSE(unfinished.Append("ok:45678901", error));
    // Complete lines nobody takes are bounded too.
    CLineFramer untaken(router, 10, 20);
    EXPECT_TRUE(untaken.Append("a:1\nb:2\nc:3\nd:4\n", error));
    EXPECT_FALSE(untaken.Append("e:5\nf:6\n", error));
}

TEST(LineFramer, DroppedStreamGetsNothingMoreAndItsLineAnswersNobody) {
    CRouter router;
    CLineFramer framer(router, 1000, 1000);
    CSocketError error;
    ASSERT_TRUE(framer.Append("ok:abc", error));
    framer.DropStream();
    ASSERT_TRUE(framer.Append("def\nerror:2\n", error));
    EXPECT_EQ(router.m_streams[0]->m_value, "abc");
    const QList<CTakenLine> lines = TakeAll(framer);
    ASSERT_EQ(lines.size(), 1); // the dropped line went at once
    EXPECT_EQ(lines[0], (CTakenLine{2, true, "error", "2"}));
}
