#include "base/AnsiCodePage.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(AnsiCodePage, ConvertsJapaneseBothWays) {
    const QString text = QStringLiteral(u"レイヤ1 テスト");
    const QByteArray bytes = Hex("838C 8343 8384 31 20 8365 8358 8367");
    EXPECT_EQ(AnsiCodePage::FromUnicode(text).toHex(' '), bytes.toHex(' '));
    EXPECT_EQ(AnsiCodePage::ToUnicode(bytes), text);
    EXPECT_EQ(AnsiCodePage::FromUnicode(QString()), QByteArray());
    EXPECT_EQ(AnsiCodePage::ToUnicode(QByteArray()), QString());
}

TEST(AnsiCodePage, WritesAQuestionMarkForWhatTheCodePageCannotHold) {
    // One '?' per character, whether it takes one UTF-16 unit or two.
    EXPECT_EQ(AnsiCodePage::FromUnicode(QStringLiteral(u"aéb😀c")), QByteArray("a?b?c"));
    EXPECT_EQ(AnsiCodePage::FromUnicode(QStringLiteral(u"한"), 1), QByteArray("?"));
    EXPECT_EQ(AnsiCodePage::FromUnicode(QStringLiteral(u"한"), 0), QByteArray());
}

TEST(AnsiCodePage, NeverSplitsACharacterWhenCutting) {
    const QString text = QStringLiteral(u"aあいう");
    EXPECT_EQ(AnsiCodePage::FromUnicode(text, 7), AnsiCodePage::FromUnicode(text));
    EXPECT_EQ(AnsiCodePage::FromUnicode(text, 5), Hex("61 82A0 82A2"));
    EXPECT_EQ(AnsiCodePage::FromUnicode(text, 4), Hex("61 82A0"));
    EXPECT_EQ(AnsiCodePage::FromUnicode(text, 2), Hex("61"));
    // 100 ASCII characters cut at 79 bytes keep 79 characters.
    EXPECT_EQ(AnsiCodePage::FromUnicode(QString(100, u'x'), 79), QByteArray(79, 'x'));
    // 100 Japanese characters cut at 79 bytes keep 39 whole characters.
    const QByteArray cut = AnsiCodePage::FromUnicode(QString(100, u'あ'), 79);
    EXPECT_EQ(cut.size(), 78);
    EXPECT_EQ(AnsiCodePage::ToUnicode(cut), QString(39, u'あ'));
}

TEST(AnsiCodePage, DropsALoneLeadByteAtTheEndAndMarksInvalidBytes) {
    EXPECT_EQ(AnsiCodePage::ToUnicode(Hex("61 82A0 82")), QStringLiteral(u"aあ"));
    EXPECT_EQ(AnsiCodePage::ToUnicode(Hex("82")), QString());
    // 0x82 followed by a byte that cannot trail it: the lead byte becomes
    // '?', and the next byte is read on its own.
    EXPECT_EQ(AnsiCodePage::ToUnicode(Hex("82 20 62")), QStringLiteral(u"? b"));
    // Half-width katakana are single bytes.
    EXPECT_EQ(AnsiCodePage::ToUnicode(Hex("B1 B2")), QStringLiteral(u"ｱｲ"));
}

} // namespace
