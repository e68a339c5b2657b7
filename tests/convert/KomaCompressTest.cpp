#include "convert/KomaFile.h"
#include "support/KomFixtures.h"
#include "support/TestSupport.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

QByteArray CompressToBytes(const QByteArray& source, CKomaCompress& coder) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(
        coder.Compress(buffer, reinterpret_cast<const quint8*>(source.constData()), source.size()));
    return buffer.data();
}

// Decodes `stream` into a buffer of `size` bytes that starts out as `fill`.
QByteArray ExpandBytes(const QByteArray& stream, qint64 size, char fill = '\xEE',
                       bool* ok = nullptr) {
    QByteArray out(size, fill);
    QBuffer buffer;
    buffer.setData(stream);
    buffer.open(QIODevice::ReadOnly);
    const bool result =
        CKomaCompress::Expand(buffer, reinterpret_cast<quint8*>(out.data()), out.size());
    if (ok)
        *ok = result;
    else
        EXPECT_TRUE(result);
    return out;
}

struct CodedExample {
    const char* what;
    QByteArray source;
    QByteArray stream;
};

TEST(KomaCompress, CodesTheDocumentedExamplesExactly) {
    const CodedExample examples[] = {
        {"sixteen 5s are one run", QByteArray(16, 5),
         Hex("01000000 00000000 10000000 05 00000000")},
        {"ten equal bytes stay literals", QByteArray(10, 9),
         Hex("00000000 0A000000 09090909090909090909")},
        {"eleven A then B C", QByteArray("AAAAAAAAAAABC"),
         Hex("01000000 00000000 0B000000 41 02000000 4243")},
        {"B, twelve A, C", QByteArray("B") + QByteArray(12, 'A') + "C",
         Hex("01000000 01000000 0C000000 41 02000000 4243")},
        {"a lone last byte is a literal", QByteArray(11, 'x') + "y",
         Hex("01000000 00000000 0B000000 78 01000000 79")},
        {"empty", QByteArray(), Hex("00000000 00000000")},
    };
    for (const CodedExample& example : examples) {
        SCOPED_TRACE(example.what);
        CKomaCompress coder;
        const QByteArray stream = CompressToBytes(example.source, coder);
        EXPECT_EQ(stream.toHex(' '), example.stream.toHex(' '));
        EXPECT_EQ(ExpandBytes(stream, example.source.size()), example.source);
    }
}

TEST(KomaCompress, KeepsTheRunsOfTheLastLayer) {
    CKomaCompress coder;
    CompressToBytes(QByteArray("B") + QByteArray(12, 'A') + "C" + QByteArray(20, 'z'), coder);
    ASSERT_EQ(coder.GetRuns().size(), 2u);
    EXPECT_EQ(coder.GetRuns()[0].m_nPosition, 1u);
    EXPECT_EQ(coder.GetRuns()[1].m_nPosition, 2u);
    EXPECT_EQ(coder.GetRuns()[1].m_nLength, 20u);
    CompressToBytes(QByteArray("abc"), coder);
    EXPECT_TRUE(coder.GetRuns().empty());
}

TEST(KomaCompress, RoundTripsEveryKindOfLayer) {
    const QByteArray sources[] = {
        DrawingPixels(1 << 20, 1),
        DrawingPixels(4001, 2),
        QByteArray(70000, '\0'),
        QByteArray::fromStdString(std::string(1, '\xFF')),
        QByteArray(10, 'q') + QByteArray(11, 'q'), // one run of 21
    };
    for (const QByteArray& source : sources) {
        CKomaCompress coder;
        const QByteArray stream = CompressToBytes(source, coder);
        EXPECT_EQ(ExpandBytes(stream, source.size()), source);
    }
}

TEST(KomaCompress, ClampsOutputToTheBuffer) {
    // 4 literals and a run of 6 decode to 10 bytes: into 7, the rest drops.
    const QByteArray longer = KomStream({{2, 6, 'r'}}, "abcd");
    EXPECT_EQ(ExpandBytes(longer, 7), QByteArray("abrrrrr"));
    // Into 14, the last 4 bytes are left as they were.
    EXPECT_EQ(ExpandBytes(longer, 14), QByteArray("abrrrrrrcd") + QByteArray(4, '\xEE'));
}

TEST(KomaCompress, RunsOfBillionsFillOnlyTheBuffer) {
    const QByteArray stream =
        KomStream({{0, 0xFFFFFFFFu, 'x'}, {0, 0xFFFFFFFFu, 'y'}, {1, 3, 'z'}}, "L");
    EXPECT_EQ(ExpandBytes(stream, 100), QByteArray(100, 'x'));

    // The file position ends after the stream, so the next one still reads.
    QBuffer buffer;
    buffer.setData(stream + KomStream({}, "next"));
    buffer.open(QIODevice::ReadOnly);
    QByteArray first(5, '\0');
    QByteArray second(4, '\0');
    ASSERT_TRUE(CKomaCompress::Expand(buffer, reinterpret_cast<quint8*>(first.data()), 5));
    ASSERT_TRUE(CKomaCompress::Expand(buffer, reinterpret_cast<quint8*>(second.data()), 4));
    EXPECT_EQ(second, QByteArray("next"));
}

TEST(KomaCompress, EmitsRunsOnlyWhenTheirPositionIsReached) {
    // Two runs at the same position follow each other.
    EXPECT_EQ(ExpandBytes(KomStream({{1, 2, 'r'}, {1, 3, 's'}}, "ab"), 7), QByteArray("arrsssb"));
    // A run behind the literals already emitted stops every later run.
    EXPECT_EQ(ExpandBytes(KomStream({{2, 2, 'r'}, {1, 2, 's'}, {3, 2, 't'}}, "abcd"), 8),
              QByteArray("abrrcd") + QByteArray(2, '\xEE'));
    // A run past the last literal is never reached; one right after it is.
    EXPECT_EQ(ExpandBytes(KomStream({{2, 2, 'r'}, {3, 2, 's'}}, "ab"), 6),
              QByteArray("abrr") + QByteArray(2, '\xEE'));
}

TEST(KomaCompress, DecodesOnlyTheLiteralsThatCanBeRead) {
    // Ten literals declared, four present: runs up to position 4 are
    // reached, later ones are not.
    const QByteArray shortLiterals = KomStream({{2, 3, 'r'}, {4, 1, 's'}, {6, 2, 't'}}, "wxyz", 10);
    EXPECT_EQ(ExpandBytes(shortLiterals, 12), QByteArray("wxrrryzs") + QByteArray(4, '\xEE'));

    // A literal count of billions with three bytes behind it.
    EXPECT_EQ(ExpandBytes(KomStream({}, "abc", 0xFFFFFFFFu), 5), QByteArray("abc\xEE\xEE"));

    // No literal count at all: the runs alone are decoded.
    QByteArray noCount = KomStream({{0, 3, 'r'}}, {});
    noCount.chop(4);
    EXPECT_EQ(ExpandBytes(noCount, 4), QByteArray("rrr\xEE"));
}

TEST(KomaCompress, FailsWhenTheRunsCannotBeRead) {
    const QByteArray truncated[] = {
        Hex("010000"),                           // no run count
        Hex("FFFFFFFF 00000000 05000000 07"),    // billions of runs, one present
        Hex("02000000 00000000 05000000 07 00"), // second record cut short
    };
    for (const QByteArray& stream : truncated) {
        bool ok = true;
        ExpandBytes(stream, 8, '\0', &ok);
        EXPECT_FALSE(ok) << stream.toHex(' ').constData();
    }
}

} // namespace
