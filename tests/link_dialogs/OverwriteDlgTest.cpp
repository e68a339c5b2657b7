#include "link/dialogs/OverwriteDlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Runs `dialog` modally and acts on it once its loop runs.
int RunWith(COverwriteDlg& dialog, std::function<void()> action) {
    QTimer::singleShot(0, &dialog, std::move(action));
    return dialog.exec();
}

void PressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

TEST(OverwriteDlgTest, EachButtonEndsWithItsResult) {
    {
        COverwriteDlg dialog(u"a"_s, u"b"_s);
        EXPECT_EQ(RunWith(dialog, [&] { dialog.YesButton()->click(); }), COverwriteDlg::IDYES);
    }
    {
        COverwriteDlg dialog(u"a"_s, u"b"_s);
        EXPECT_EQ(RunWith(dialog, [&] { dialog.NoButton()->click(); }), COverwriteDlg::IDNO);
    }
    {
        COverwriteDlg dialog(u"a"_s, u"b"_s);
        EXPECT_EQ(RunWith(dialog, [&] { dialog.SaveAsAltButton()->click(); }),
                  COverwriteDlg::IDC_SAVE_AS_ALT);
    }
    EXPECT_EQ(COverwriteDlg::IDYES, 6);
    EXPECT_EQ(COverwriteDlg::IDNO, 7);
    EXPECT_EQ(COverwriteDlg::IDC_SAVE_AS_ALT, 1011);
}

TEST(OverwriteDlgTest, EscapeAndCloseBoxAnswerNo) {
    {
        COverwriteDlg dialog(u"a"_s, u"b"_s);
        EXPECT_EQ(RunWith(dialog, [&] { PressKey(dialog.YesButton(), Qt::Key_Escape); }),
                  COverwriteDlg::IDNO);
    }
    {
        COverwriteDlg dialog(u"a"_s, u"b"_s);
        EXPECT_EQ(RunWith(dialog, [&] { dialog.close(); }), COverwriteDlg::IDNO);
    }
}

TEST(OverwriteDlgTest, EnterPressesNothing) {
    COverwriteDlg dialog(u"a"_s, u"b"_s);
    bool stillOpen = true;
    const int result = RunWith(dialog, [&] {
        // Enter on each button, the focused one included, and on the dialog.
        for (QPushButton* button :
             {dialog.YesButton(), dialog.NoButton(), dialog.SaveAsAltButton()}) {
            button->setFocus();
            PressKey(button, Qt::Key_Return);
            PressKey(button, Qt::Key_Enter);
        }
        PressKey(&dialog, Qt::Key_Return);
        stillOpen = dialog.isVisible();
        dialog.NoButton()->click();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, COverwriteDlg::IDNO);
}

TEST(OverwriteDlgTest, ShowsTheNamesAsTheAppSentThem) {
    const QString name = u"<b>絵</b> & 1"_s;
    const QString altName = u"絵 & 2"_s;
    COverwriteDlg dialog(name, altName);
    EXPECT_EQ(dialog.windowTitle(), u"上書き確認"_s);
    // Message 124 breaks its line with CR LF; the label shows a line feed.
    EXPECT_EQ(dialog.Question()->text(),
              u"<b>絵</b> & 1 は既に存在しています。\n上書きしますか？"_s);
    EXPECT_EQ(dialog.Question()->textFormat(), Qt::PlainText);
    EXPECT_EQ(dialog.YesButton()->text(), u"はい"_s);
    EXPECT_EQ(dialog.NoButton()->text(), u"いいえ"_s);
    // '&' is doubled so that the button shows it instead of underlining the
    // next character.
    EXPECT_EQ(dialog.SaveAsAltButton()->text(), u"絵 && 2 という名前で保存"_s);
}

} // namespace
