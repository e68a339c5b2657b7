#include "base/BackgroundMd5.h"
#include "base/TextRoutines.h"

#include <gtest/gtest.h>

#include <vector>

TEST(BackgroundMd5Test, HashOfPiecesFromSeveralBuffersInOrder) {
    QByteArray source(3 * 1024 * 1024 + 5, Qt::Uninitialized);
    for (qsizetype i = 0; i < source.size(); ++i)
        source[i] = char(i ^ (i >> 9));
    CBackgroundMd5 hash;
    // Pieces of uneven size: runs of them continue each other in one
    // buffer, and every few a new buffer starts.
    std::vector<QByteArray> buffers;
    for (qsizetype at = 0, i = 0; at < source.size(); ++i) {
        const qsizetype n = std::min<qsizetype>(100 * 1024 + at % 777, source.size() - at);
        if (i % 4 == 0) {
            buffers.emplace_back();
            buffers.back().reserve(5 * 101 * 1024);
        }
        QByteArray& buffer = buffers.back();
        const qsizetype nOld = buffer.size();
        buffer.append(source.constData() + at, n);
        hash.Add(buffer.constData() + nOld, n);
        at += n;
    }
    EXPECT_EQ(hash.Result(), MD5Hex(source));
    // Result starts the hash again.
    EXPECT_EQ(hash.Result(), MD5Hex(QByteArray()));
    hash.Add("abc", 3);
    EXPECT_EQ(hash.Result(), MD5Hex(QByteArray("abc")));
}
