#include "base/BackgroundMd5.h"
#include "base/TextRoutines.h"

#include <gtest/gtest.h>

TEST(BackgroundMd5Test, HashOfABufferFilledAndMovedPieceByPiece) {
    QByteArray source(3 * 1024 * 1024 + 5, Qt::Uninitialized);
    for (qsizetype i = 0; i < source.size(); ++i)
        source[i] = char(i ^ (i >> 9));
    CBackgroundMd5 hash;
    QByteArray buffer;
    for (qsizetype at = 0; at < source.size();) {
        const qsizetype n = std::min<qsizetype>(100 * 1024 + at % 777, source.size() - at);
        if (buffer.size() + n > buffer.capacity()) {
            // Growing may move the bytes: the hash must have let go of them.
            hash.Drain();
            buffer.reserve(buffer.size() + n);
        }
        buffer.append(source.constData() + at, n);
        hash.Publish(buffer.constData(), buffer.size());
        at += n;
    }
    EXPECT_EQ(hash.Result(), MD5Hex(source));
    // Result starts the hash again.
    EXPECT_EQ(hash.Result(), MD5Hex(QByteArray()));
    hash.Publish("abc", 3);
    EXPECT_EQ(hash.Result(), MD5Hex(QByteArray("abc")));
}
