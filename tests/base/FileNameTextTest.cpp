#include "base/FileNameText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(NormalizeFileNameTest, ComposesSeparateVoicingMarks) {
    // "か" + combining voiced mark, "ハ" + combining semi-voiced mark.
    const QString decomposed = u"\u304B\u3099\u30CF\u309A.png"_s;
    EXPECT_EQ(NormalizeFileName(decomposed), u"\u304C\u30D1.png"_s);
    EXPECT_EQ(NormalizeFileName(u"\u304C\u30D1"_s), u"\u304C\u30D1"_s);
}

TEST(MakeSafeFileNameTest, SeparatorsAndControlCharactersBecomeUnderscores) {
    EXPECT_EQ(MakeSafeFileName(u"../../.bashrc"_s), u"_._.._.bashrc"_s);
    EXPECT_EQ(MakeSafeFileName(u"a\\b/c"_s), u"a_b_c"_s);
    QString controls = u"x"_s;
    controls += QChar(0);
    controls += u"\t\n\r\u001F\u007F"_s;
    EXPECT_EQ(MakeSafeFileName(controls), u"x______"_s);
}

TEST(MakeSafeFileNameTest, OrdinaryNamesStayAsTheyAre) {
    for (const QString& name : {u"絵 1.png"_s, u"a.b.c"_s, u"~x"_s, u"name."_s, u"\u00A0 \u0080"_s})
        EXPECT_EQ(MakeSafeFileName(name), name) << name.toStdString();
}

TEST(MakeSafeFileNameTest, LongNamesAreCutBetweenCharactersToFitAFileSystem) {
    EXPECT_EQ(MakeSafeFileName(QString(10000, u'n')), QString(kMaxSafeFileNameBytes, u'n'));
    const QString fits(kMaxSafeFileNameBytes, u'x');
    EXPECT_EQ(MakeSafeFileName(fits), fits);
    // Three bytes each: 66 of them fill 198 bytes, a 67th would not fit.
    EXPECT_EQ(MakeSafeFileName(QString(100, u'\u3042')), QString(66, u'\u3042'));
    // Four bytes and two UTF-16 units each: no pair is cut in half.
    QString emoji;
    for (int i = 0; i < 60; ++i)
        emoji += u"\U0001F600"_s;
    const QString cut = MakeSafeFileName(u"a"_s + emoji);
    EXPECT_EQ(cut, u"a"_s + emoji.left(2 * 49));
    EXPECT_LE(cut.toUtf8().size(), kMaxSafeFileNameBytes);
}

TEST(MakeSafeFileNameTest, DotNamesAndHiddenNamesBecomeVisibleFiles) {
    EXPECT_EQ(MakeSafeFileName(u"."_s), u"_"_s);
    EXPECT_EQ(MakeSafeFileName(u".."_s), u"__"_s);
    EXPECT_EQ(MakeSafeFileName(u"..."_s), u"_.."_s);
    EXPECT_EQ(MakeSafeFileName(u".hidden"_s), u"_hidden"_s);
    EXPECT_EQ(MakeSafeFileName(QString()), u"_"_s);
    // Making a safe name safe again changes nothing.
    for (const QString& name : {u"."_s, u".."_s, u".x"_s, u"a/b"_s})
        EXPECT_EQ(MakeSafeFileName(MakeSafeFileName(name)), MakeSafeFileName(name));
}

TEST(ShortenedForDisplayTest, LongNamesKeepTheirStartAndEndAroundAnEllipsis) {
    const QString fits(kMaxShownNameLength, u'a');
    EXPECT_EQ(ShortenedForDisplay(fits), fits);
    EXPECT_EQ(ShortenedForDisplay(u"short"_s), u"short"_s);
    const QString name = QString(5000, u'a') + QString(5000, u'z');
    const QString shown = ShortenedForDisplay(name);
    EXPECT_LE(shown.size(), kMaxShownNameLength);
    EXPECT_EQ(shown, QString(49, u'a') + QChar(0x2026) + QString(49, u'z'));
}

TEST(ShortenedForDisplayTest, NoSurrogatePairIsCutInHalf) {
    // Pairs of two UTF-16 units each, at both cut points whatever the
    // parity of the name's length.
    for (const QString& prefix : {QString(), u"x"_s}) {
        QString name = prefix;
        for (int i = 0; i < 200; ++i)
            name += u"\U0001F600"_s;
        const QString shown = ShortenedForDisplay(name);
        EXPECT_LE(shown.size(), kMaxShownNameLength);
        EXPECT_FALSE(shown.contains(QChar(0xFFFD)));
        for (qsizetype i = 0; i < shown.size(); ++i) {
            if (shown.at(i).isHighSurrogate())
                EXPECT_TRUE(i + 1 < shown.size() && shown.at(i + 1).isLowSurrogate()) << i;
            if (shown.at(i).isLowSurrogate())
                EXPECT_TRUE(i > 0 && shown.at(i - 1).isHighSurrogate()) << i;
        }
    }
}
