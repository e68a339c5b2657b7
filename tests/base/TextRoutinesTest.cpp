#include "base/TextRoutines.h"
#include "base/MessageFormat.h"
#include "base/StringTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include <limits>

TEST(HexToBytesTest, DecodesEitherCase) {
    QByteArray out;
    EXPECT_TRUE(HexToBytes("0aFF", 0, out));
    EXPECT_EQ(out, QByteArray("\x0a\xff", 2));
    EXPECT_TRUE(HexToBytes("xx0001", 2, out));
    EXPECT_EQ(out, QByteArray("\x00\x01", 2));
}

TEST(HexToBytesTest, OddLengthFromStartFails) {
    QByteArray out("stale");
    EXPECT_FALSE(HexToBytes("abc", 0, out));
    EXPECT_TRUE(out.isEmpty());
    const QByteArray text32(32, 'a'), text31(31, 'a');
    out = "stale";
    EXPECT_FALSE(HexToBytes(text32, 33, out));
    EXPECT_TRUE(out.isEmpty());
    out = "stale";
    EXPECT_TRUE(HexToBytes(text31, 33, out));
    EXPECT_TRUE(out.isEmpty());
}

TEST(HexToBytesTest, PairsReadLikeStrtol) {
    QByteArray out;
    // " a": white space, then a digit. "-1": a sign, giving 0xFF. "g1": no
    // digit first, so 0. "a ": reading stops at the space. "+f": sign.
    ASSERT_TRUE(HexToBytes(" a-1g1a +f--\t7", 0, out));
    EXPECT_EQ(out, QByteArray("\x0a\xff\x00\x0a\x0f\x00\x07", 7));
}

TEST(HexToBytesTest, LongTextReadsLikeStrtolPairByPair) {
    // Long runs are decoded in blocks; the result must not depend on where
    // an odd character falls. Characters at the edges of the digit ranges.
    const QByteArray alphabet("0123456789abcdefABCDEF/:@G`g +-\t\x80\xff");
    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        QByteArray text(2 * (int(random() % 80) + 1), '0');
        const bool plain = round % 3 == 0; // some texts are digits only
        for (char& c : text)
            c = alphabet[qsizetype(random() % (plain ? 22 : alphabet.size()))];
        if (round % 5 == 0 && !plain)
            text[qsizetype(random() % text.size())] = 'x'; // one stray character
        QByteArray expected;
        for (qsizetype i = 0; i < text.size(); i += 2) {
            const std::string pair = text.sliced(i, 2).toStdString();
            expected.append(char(std::strtol(pair.c_str(), nullptr, 16) & 0xFF));
        }
        QByteArray out;
        ASSERT_TRUE(HexToBytes(text, 0, out));
        ASSERT_EQ(out, expected) << text.toStdString();
    }
}

TEST(BytesToHexTest, LowerCaseHighNibbleFirst) {
    EXPECT_EQ(BytesToHex(QByteArray("\x00\x0a\xff\x5c", 4)), "000aff5c");
    QByteArray back;
    const QByteArray all = [] {
        QByteArray b(256, 0);
        for (int i = 0; i < 256; ++i)
            b[i] = char(i);
        return b;
    }();
    ASSERT_TRUE(HexToBytes(BytesToHex(all), 0, back));
    EXPECT_EQ(back, all);
    // Every length, so that each byte value lands both in the blocks and in
    // the tail, appended after what is there.
    for (qsizetype n = 0; n <= 40; ++n) {
        for (qsizetype from = 0; from + n <= all.size(); from += 37) {
            QByteArray out("x:");
            AppendHex(out, all.constData() + from, n);
            ASSERT_EQ(out, "x:" + all.sliced(from, n).toHex()) << from << " " << n;
        }
    }
}

TEST(MD5HexTest, Rfc1321Vectors) {
    EXPECT_EQ(MD5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(MD5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(MD5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(MD5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(MD5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(MD5Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                     "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(SplitStringTest, NDelimitersGiveNPlusOnePieces) {
    QStringList pieces{"stale"};
    SplitString(pieces, "a\rb\r", "\r", false);
    EXPECT_EQ(pieces, (QStringList{"a", "b", ""}));
    SplitString(pieces, "", "\r", false);
    EXPECT_EQ(pieces, QStringList{""});
    SplitString(pieces, " a , b ", ",", true);
    EXPECT_EQ(pieces, (QStringList{"a", "b"}));

    QByteArrayList raw;
    SplitString(raw, QByteArray("x\0y\rz", 5), "\r", false);
    EXPECT_EQ(raw, (QByteArrayList{QByteArray("x\0y", 3), "z"}));
}

TEST(ReadDecimalIntTest, BehavesLikeAtoiAndClamps) {
    EXPECT_EQ(ReadDecimalInt("3"), 3);
    EXPECT_EQ(ReadDecimalInt("  -42xyz"), -42);
    EXPECT_EQ(ReadDecimalInt("+7"), 7);
    EXPECT_EQ(ReadDecimalInt(""), 0);
    EXPECT_EQ(ReadDecimalInt("abc"), 0);
    EXPECT_EQ(ReadDecimalInt("- 5"), 0);
    EXPECT_EQ(ReadDecimalInt("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(ReadDecimalInt("-99999999999999999999999"), INT_MIN);
    EXPECT_EQ(ReadDecimalInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ReadDecimalInt64(" 9223372036854775807"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(ReadDecimalInt64("99999999999999999999"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(ReadDecimalInt64("-9223372036854775808x"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(ReadDecimalInt64("-99999999999999999999"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(ReadDecimalInt64("4294967296"), qint64(1) << 32);
}

TEST(MessageFormatTest, InsertSyntax) {
    EXPECT_EQ(FormatMessageText("IP: %1!s!%nPort: %2!d!%n", {QString("10.0.0.2"), 3210}),
              "IP: 10.0.0.2\r\nPort: 3210\r\n");
    EXPECT_EQ(FormatMessageText("%1 and %1!s!, 100%%", {QString("x")}), "x and x, 100%");
    EXPECT_EQ(FormatMessageText("code %1!d!", {-7}), "code -7");
    EXPECT_EQ(FormatMessageText("cut%0 here"), "cut");
    EXPECT_EQ(FormatMessageText("%2 missing", {1}), " missing");
}

TEST(MessageFormatTest, PlainDirectives) {
    EXPECT_EQ(FormatDirectives(LoadStringResource(IDS_IMAGE_TOO_LARGE), {320, 480}),
              QStringLiteral(u"画像サイズが上限（320 x 480）を超えています。"));
    EXPECT_EQ(FormatDirectives("%s Version %s", {QString("KomaSlate Utility"), QString("1.04")}),
              "KomaSlate Utility Version 1.04");
    EXPECT_EQ(FormatDirectives("%d KB, 5%%", {12}), "12 KB, 5%");
}

TEST(StringTableTest, HoldsEveryMessageId) {
    for (int id = 101; id <= 134; ++id)
        EXPECT_FALSE(LoadStringResource(id).isEmpty()) << id;
    EXPECT_TRUE(LoadStringResource(100).isEmpty());
    EXPECT_EQ(FormatStringResource(IDS_ERROR_REPLY, {7}),
              QStringLiteral(u"エラーが発生しました。\r\nエラーコード: 7"));
}
