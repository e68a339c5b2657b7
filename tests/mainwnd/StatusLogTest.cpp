#include "mainwnd/StatusLog.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

constexpr int kBound = CStatusLog::kTextLimit - 5;

QString Line(int number) {
    return QStringLiteral("line %1\r\n").arg(number, 5, 10, QLatin1Char('0'));
}

} // namespace

TEST(StatusLog, DropsWholeLinesFromTheTopAndNoMoreThanNeeded) {
    // Each line is 11 characters in the log; 2727 of them fill it. The
    // lines before that only grow it.
    CStatusLog log;
    for (int number = 0; number < 2700; ++number)
        log.AppendLog(Line(number));
    ASSERT_EQ(log.TextLength(), 2700 * 11);

    int first = 0;
    bool trimmed = false;
    for (int number = 2700; number < 2800; ++number) {
        const QString before = log.toPlainText();
        log.AppendLog(Line(number));
        const QString text = log.toPlainText();
        ASSERT_LT(text.size(), kBound);

        // What is left is an unbroken run of whole lines ending with the new one.
        const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
        static const QRegularExpression whole(QStringLiteral("^line \\d{5}$"));
        ASSERT_TRUE(whole.match(lines.first()).hasMatch()) << lines.first().toStdString();
        const int top = lines.first().mid(5).toInt();
        ASSERT_EQ(top + lines.size() - 1, number);
        if (top != first) {
            // One line fewer removed would not have made room.
            trimmed = true;
            ASSERT_GE(text.size() + 11, kBound);
            first = top;
        } else {
            ASSERT_EQ(text, before + Line(number).replace("\r\n", "\n"));
        }
    }
    EXPECT_TRUE(trimmed);
    // The caret ends at the end, after the last message.
    EXPECT_EQ(log.textCursor().position(), log.TextLength());
}

TEST(StatusLog, ALineTooLongToKeepGoesWhole) {
    CStatusLog log;
    log.AppendLog(QString(29000, u'x') + QStringLiteral("\r\n"));
    log.AppendLog(QString(1000, u'y') + QStringLiteral("\r\n"));
    EXPECT_EQ(log.toPlainText(), QString(1000, u'y') + u'\n');

    // Text without any line break is one line as well.
    CStatusLog unbroken;
    unbroken.AppendLog(QString(29990, u'a'));
    unbroken.AppendLog(QStringLiteral("b\r\n"));
    EXPECT_EQ(unbroken.TextLength(), 29992);
    unbroken.AppendLog(QStringLiteral("cccccc\r\n"));
    EXPECT_EQ(unbroken.toPlainText(), QStringLiteral("cccccc\n"));
}

TEST(StatusLog, AMessageAboveTheLimitKeepsItsEnd) {
    CStatusLog log;
    log.AppendLog(QStringLiteral("first\r\n"));
    QString huge = QString(40000, u'h');
    huge += QStringLiteral("end\r\n");
    log.AppendLog(huge);
    const QString text = log.toPlainText();
    EXPECT_EQ(text.size(), kBound - 1);
    EXPECT_TRUE(text.endsWith(QStringLiteral("hend\n")));
    EXPECT_FALSE(text.contains(QStringLiteral("first")));
}
