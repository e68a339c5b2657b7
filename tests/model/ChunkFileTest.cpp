#include "model/ChunkFile.h"
#include "base/FileException.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Writes into a growable memory stream and returns the bytes.
template <typename Fn> QByteArray Written(Fn&& write) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CChunkFile file(&buffer, false);
    write(file);
    EXPECT_FALSE(file.HasOpenChunks());
    return buffer.data();
}

// Records the children it is handed and reads `bytesToRead` of each payload.
class CRecordingReader : public CChunkSerializer {
public:
    explicit CRecordingReader(qint64 bytesToRead = 0) : m_bytesToRead(bytesToRead) {}
    void OnBeginRead() override { ++beginReads; }
    void ReadChunk(CFileUtility& file, quint16 id, quint32 size) override {
        children.emplace_back(id, size);
        if (m_bytesToRead > 0)
            file.ReadBytes(m_bytesToRead);
    }
    int beginReads = 0;
    std::vector<std::pair<quint16, quint32>> children;

private:
    qint64 m_bytesToRead;
};

// A signed document with a fixed list of children.
class CSignedDocument : public CRecordingReader {
public:
    QByteArray GetSignature() const override { return "SIG"; }
    void WriteChunks(CChunkFile& file) const override { file.WriteIntChunk(7, 42); }
};

QBuffer* ReadOnly(QBuffer& buffer, const QByteArray& bytes) {
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return &buffer;
}

} // namespace

TEST(ChunkFileWriting, FixedSizeChunksHaveExactBytes) {
    EXPECT_EQ(Written([](CChunkFile& f) { f.WriteByteChunk(1005, 1); }), Hex("ED03 01000000 01"));
    EXPECT_EQ(Written([](CChunkFile& f) { f.WriteIntChunk(1001, 320); }),
              Hex("E903 04000000 40010000"));
    EXPECT_EQ(Written([](CChunkFile& f) { f.WriteTextChunk(1008, ""); }), Hex("F003 00000000"));
    EXPECT_EQ(Written([](CChunkFile& f) { f.WriteDataChunk(3, "\x01\x02", 2); }),
              Hex("0300 02000000 0102"));
}

TEST(ChunkFileWriting, NestedSizesCountChildHeaders) {
    const QByteArray bytes = Written([](CChunkFile& f) {
        f.BeginChunk(1);
        f.BeginChunk(2);
        f.EndChunk(); // empty object: 6-byte chunk of size 0
        f.WriteByteChunk(3, 9);
        f.EndChunk();
        f.WriteByteChunk(4, 8);
    });
    EXPECT_EQ(bytes, Hex("0100 0D000000  0200 00000000  0300 01000000 09  0400 01000000 08"));
}

TEST(ChunkFileReading, ZeroLengthListCallsOnlyBeginRead) {
    QBuffer buffer;
    CFileUtility file(ReadOnly(buffer, QByteArray()), false);
    CRecordingReader reader;
    ReadChunks(file, reader, 0);
    EXPECT_EQ(reader.beginReads, 1);
    EXPECT_TRUE(reader.children.empty());
}

TEST(ChunkFileReading, HandlersReadingShortOrLongStayFramed) {
    // Three children: a 10-byte payload, an unknown id, and a 1-byte payload.
    // Bytes after the list give a handler that reads too far something to
    // read, so only the framing decides where the next header is taken from.
    const QByteArray list = Hex("0100 0A000000 00112233445566778899  6300 02000000 AAAA"
                                "0200 01000000 05");
    const QByteArray after = Hex("FFFF FFFF FFFF FFFF");
    // 0 reads nothing, 2 reads short of the first payload and past the last,
    // 8 reads short of the first and past the second into the third header.
    for (qint64 readAmount : {0, 2, 8}) {
        QBuffer buffer;
        CFileUtility file(ReadOnly(buffer, list + after), false);
        CRecordingReader reader(readAmount);
        ReadChunks(file, reader, quint32(list.size()));
        ASSERT_EQ(reader.children.size(), 3u) << readAmount;
        EXPECT_EQ(reader.children[0], std::make_pair(quint16(1), quint32(10))) << readAmount;
        EXPECT_EQ(reader.children[1], std::make_pair(quint16(0x63), quint32(2))) << readAmount;
        EXPECT_EQ(reader.children[2], std::make_pair(quint16(2), quint32(1))) << readAmount;
        EXPECT_EQ(file.GetPosition(), list.size()) << readAmount;
    }
}

TEST(ChunkFileReading, HandlerReadingPastItsPayloadIsPutBack) {
    // The first handler reads 4 bytes from a 1-byte payload; the next header
    // must still be read from its own position.
    const QByteArray list = Hex("0100 01000000 05  0200 01000000 06");
    QBuffer buffer;
    CFileUtility file(ReadOnly(buffer, list + "tail"), false);
    CRecordingReader reader(4);
    ReadChunks(file, reader, quint32(list.size()));
    EXPECT_EQ(file.GetPosition(), list.size());
    ASSERT_EQ(reader.children.size(), 2u);
    EXPECT_EQ(reader.children[1].first, 2);
}

TEST(StandardDocumentTest, SaveAndLoadRoundTrip) {
    CSignedDocument document;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(StandardDocument::Save(document, out, nullptr));
    EXPECT_EQ(out.data(), QByteArray("SIG") + Hex("0000 0A000000 0700 04000000 2A000000"));

    CSignedDocument loaded;
    QBuffer in;
    QString error;
    EXPECT_TRUE(StandardDocument::Load(loaded, *ReadOnly(in, out.data()), &error));
    ASSERT_EQ(loaded.children.size(), 1u);
    EXPECT_EQ(loaded.children[0], std::make_pair(quint16(7), quint32(4)));
    EXPECT_TRUE(error.isEmpty());
}

TEST(StandardDocumentTest, EmptyRootLoads) {
    CSignedDocument document;
    QBuffer in;
    EXPECT_TRUE(
        StandardDocument::Load(document, *ReadOnly(in, "SIG" + Hex("000000000000")), nullptr));
    EXPECT_TRUE(document.children.empty());
}

TEST(StandardDocumentTest, WrongSignatureOrRootIdFailsWithoutMessage) {
    CCapturingSink sink;
    for (const QByteArray& bytes :
         {QByteArray("XIG") + Hex("000000000000"), QByteArray("SIG") + Hex("010000000000")}) {
        CSignedDocument document;
        QBuffer in;
        QString error;
        EXPECT_FALSE(StandardDocument::Load(document, *ReadOnly(in, bytes), &error));
        EXPECT_TRUE(error.isEmpty());
        QBuffer again;
        EXPECT_FALSE(StandardDocument::Load(document, *ReadOnly(again, bytes), nullptr));
    }
    EXPECT_TRUE(sink.Messages().isEmpty());
}

TEST(StandardDocumentTest, TruncatedStreamsFailWithText) {
    const QByteArray whole = QByteArray("SIG") + Hex("0000 0A000000 0700 04000000 2A000000");
    // Cut inside the signature, the root header, a child header and a child
    // size that points past the end of the data.
    for (int cut : {2, 5, 10, 14}) {
        CSignedDocument document;
        QBuffer in;
        QString error;
        EXPECT_FALSE(StandardDocument::Load(document, *ReadOnly(in, whole.left(cut)), &error))
            << cut;
        EXPECT_FALSE(error.isEmpty()) << cut;
    }
    // Without an error target the text goes to the message sink.
    CCapturingSink sink;
    CSignedDocument document;
    QBuffer in;
    EXPECT_FALSE(StandardDocument::Load(document, *ReadOnly(in, whole.left(12)), nullptr));
    EXPECT_EQ(sink.Messages().size(), 1);
}

TEST(StandardDocumentTest, SizePastTheEndOfAMemoryStreamIsAnError) {
    // The root claims 100 bytes, the child 50: seeking past a fixed memory
    // stream fails instead of reading beyond it.
    const QByteArray bytes = QByteArray("SIG") + Hex("0000 64000000 0700 32000000 2A000000");
    CSignedDocument document;
    QBuffer in;
    QString error;
    EXPECT_FALSE(StandardDocument::Load(document, *ReadOnly(in, bytes), &error));
    EXPECT_EQ(error, CMemoryException().GetErrorMessage());
}

TEST(LoadFromPathTest, MissingFileReportsTextAndPath) {
    QTemporaryDir dir;
    const QString path = dir.filePath("missing.ksd");
    CSignedDocument document;
    QString error;
    EXPECT_FALSE(LoadFromPath(document, path, &error));
    EXPECT_TRUE(error.endsWith("\n\n" + path)) << error.toStdString();
}

TEST(ReportFailureTest, FormatsAndRoutesTheMessage) {
    QString target;
    ReportFailure(&target, "text", QString());
    EXPECT_EQ(target, "text");
    ReportFailure(&target, "text", "detail");
    EXPECT_EQ(target, "text\n\ndetail");

    CCapturingSink sink;
    ReportFailure(nullptr, "shown", "here");
    EXPECT_EQ(sink.Messages(), QStringList{"shown\n\nhere"});
}

TEST(FileUtilityTest, TypedReads) {
    QBuffer buffer;
    CFileUtility file(ReadOnly(buffer, Hex("03000000 414243  FEFF  FFFFFFFF")), false);
    EXPECT_EQ(file.ReadNarrowString(-1), "ABC");
    EXPECT_EQ(file.ReadWord(), 0xFFFE);
    EXPECT_EQ(file.ReadLong(), -1);
    EXPECT_THROW(file.ReadByte(), CFileException);
}

TEST(FileUtilityTest, ShortReadsThrowWithoutAllocating) {
    QBuffer buffer;
    CFileUtility file(ReadOnly(buffer, Hex("0102")), false);
    EXPECT_THROW(file.ReadLong(), CFileException);
    file.Seek(0);
    EXPECT_THROW(file.ReadBytes(qint64(1) << 40), CFileException);
    EXPECT_THROW(file.ReadNarrowString(-1), CFileException);
}
