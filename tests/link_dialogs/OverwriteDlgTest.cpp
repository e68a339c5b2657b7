#include "link/dialogs/OverwriteDlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Runs a dialog modally and acts on it once its loop runs.
int RunWith(std::function<void(COverwriteDlg&)> action) {
    COverwriteDlg dialog(u"a"_s, u"b"_s);
    QTimer::singleShot(0, &dialog, [&] { action(dialog); });
    return dialog.exec();
}

void PressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

TEST(OverwriteDlgTest, ButtonsEscapeAndCloseBoxEndWithTheirResults) {
    EXPECT_EQ(RunWith([](COverwriteDlg& d) { d.YesButton()->click(); }), 6);
    EXPECT_EQ(RunWith([](COverwriteDlg& d) { d.NoButton()->click(); }), 7);
    EXPECT_EQ(RunWith([](COverwriteDlg& d) { d.SaveAsAltButton()->click(); }), 1011);
    EXPECT_EQ(RunWith([](COverwriteDlg& d) { PressKey(d.YesButton(), Qt::Key_Escape); }), 7);
    EXPECT_EQ(RunWith([](COverwriteDlg& d) { d.close(); }), 7);
}

TEST(OverwriteDlgTest, EnterPressesNothing) {
    bool stillOpen = false;
    const int result = RunWith([&](COverwriteDlg& d) {
        // Enter on each button, focused, and on the dialog itself.
        for (QPushButton* button : {d.YesButton(), d.NoButton(), d.SaveAsAltButton()}) {
            button->setFocus();
            PressKey(button, Qt::Key_Return);
            PressKey(button, Qt::Key_Enter);
        }
        PressKey(&d, Qt::Key_Return);
        stillOpen = d.isVisible();
        d.NoButton()->click();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, COverwriteDlg::IDNO);
}

TEST(OverwriteDlgTest, ShowsTheNamesAsTheAppSentThem) {
    COverwriteDlg dialog(u"<b>絵</b> & 1"_s, u"絵 & 2"_s);
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
