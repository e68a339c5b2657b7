#include "convert/dialogs/KomaSlateServerFileDialog.h"

#include "base/FileHelpers.h"
#include "base/IniFile.h"
#include "convert/SerializerList.h"
#include "support/TestSupport.h"
#include "support/WidgetTestSupport.h"
#include "ui/Translations.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// Failures show names as text.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString kPng = u"PNG - Portable Network Graphics (*.png)"_s;
const QString kKom = u"KOM - Koma Pixel Editor (*.kom)"_s;

template <typename T> T* Child(const QWidget* dialog, const char* name) {
    T* child = dialog->findChild<T*>(QLatin1StringView(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}
QLineEdit* NameEdit(const QWidget* d) {
    return Child<QLineEdit>(d, "fileNameEdit");
}
QComboBox* TypeCombo(const QWidget* d) {
    return Child<QComboBox>(d, "fileTypeCombo");
}
QPushButton* SaveButton(const QWidget* d) {
    return Child<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Save);
}

void PressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

// Picks type `index` with the arrow keys, as a user does; the keys go to the
// type box without taking the focus from where it is.
void ChooseType(QWidget* dialog, int index) {
    QComboBox* combo = TypeCombo(dialog);
    while (combo->currentIndex() != index)
        PressKey(combo, combo->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
}

// Types `name` into the focused name field.
void TypeName(QWidget* dialog, const QString& name) {
    QLineEdit* edit = NameEdit(dialog);
    dialog->activateWindow();
    edit->setFocus();
    EXPECT_TRUE(WaitUntil([edit] { return edit->hasFocus(); }));
    edit->setText(name);
}

} // namespace

class FileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The dialog's own texts as a Japanese desktop shows them.
        ASSERT_TRUE(InstallJapaneseQtTranslations(*qApp));
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(u"out"_s));
        CSerializerList list;
        list.AddStandardSerializers();
        m_filter = list.BuildFilter(false, CSerializer::CAP_EXPORT);
    }

    QString Settings() const { return m_dir.filePath(u"settings.ini"_s); }
    QString Out(const QString& name = {}) const {
        return QDir(m_dir.filePath(u"out"_s)).canonicalPath() +
               (name.isEmpty() ? u""_s : u'/' + name);
    }
    QString Setting(const QString& key) const {
        return CIniFile(Settings(), false).GetString(u"FileDlg"_s, key, u"<missing>"_s);
    }
    void Remember(const QString& key, const QString& value) {
        ASSERT_TRUE(CIniFile(Settings(), true).WriteString(u"FileDlg"_s, key, value));
    }
    std::unique_ptr<CKomaSlateServerFileDialog> Dialog(const QString& initialName) {
        return std::make_unique<CKomaSlateServerFileDialog>(initialName, m_filter, Settings(),
                                                            nullptr);
    }

    // Runs `dialog` modally and acts on it once its loop runs. Should it
    // stay open against expectation, a generous limit cancels it so that
    // the test fails instead of hanging.
    int Run(CKomaSlateServerFileDialog& dialog, std::function<void()> action) {
        QTimer::singleShot(0, &dialog, std::move(action));
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &dialog, [&dialog] {
            ADD_FAILURE() << "the dialog is still open";
            dialog.reject();
        });
        limit.start(20000);
        return dialog.exec();
    }

    // What the dialog shows when it opens: name, type, folder, check box.
    QStringList Shown(CKomaSlateServerFileDialog& dialog) {
        QStringList shown;
        Run(dialog, [&] {
            shown = {NameEdit(&dialog)->text(), dialog.selectedNameFilter(),
                     QDir(dialog.directory()).canonicalPath(),
                     dialog.TileLayersBox()->isChecked() ? u"ticked"_s : u"clear"_s};
            dialog.reject();
        });
        return shown;
    }

    // Saves as `path` with type `type` and the box ticked as `tile`.
    int Save(CKomaSlateServerFileDialog& dialog, int type, bool tile, const QString& path) {
        return Run(dialog, [&] {
            ChooseType(&dialog, type);
            dialog.TileLayersBox()->setChecked(tile);
            TypeName(&dialog, path);
            SaveButton(&dialog)->click();
        });
    }

    QTemporaryDir m_dir;
    QString m_filter;
};

TEST_F(FileDialogTest, FirstRunOffersAPngNameInQtsDefaultFolder) {
    QFileDialog plain;
    plain.setOption(QFileDialog::DontUseNativeDialog);
    const QString qtDefault = QDir(plain.directory()).canonicalPath();
    EXPECT_EQ(Shown(*Dialog(u"picture.kom"_s)),
              (QStringList{u"picture.png"_s, kPng, qtDefault, u"clear"_s}));
    EXPECT_EQ(Shown(*Dialog(u"picture"_s)).value(0), u"picture.png"_s);
    // The name from the app is offered as a safe file name.
    EXPECT_EQ(Shown(*Dialog(u"../../.profile"_s)).value(0), u"_._.._.png"_s);
    EXPECT_FALSE(QFile::exists(Settings())) << "Cancel writes no setting";
}

TEST_F(FileDialogTest, NextSaveStartsWhereTheLastOneEnded) {
    auto first = Dialog(u"a"_s);
    ASSERT_EQ(Save(*first, 1, true, Out(u"a.kom"_s)), QDialog::Accepted);
    EXPECT_EQ(first->GetPathName(), Out(u"a.kom"_s));
    EXPECT_TRUE(first->m_bTileLayers);
    EXPECT_EQ((QStringList{Setting(u"ExportFolder"_s), Setting(u"ExportExt"_s),
                           Setting(u"ExportLayerTile"_s)}),
              (QStringList{Out(), u".kom"_s, u"1"_s}));

    auto next = Dialog(u"b.png"_s);
    EXPECT_FALSE(next->m_bTileLayers) << "the box is read when the dialog is shown";
    EXPECT_EQ(Shown(*next), (QStringList{u"b.kom"_s, kKom, Out(), u"ticked"_s}));
    EXPECT_TRUE(next->m_bTileLayers);
}

TEST_F(FileDialogTest, TypedExtensionIsRememberedButTheTypesIsWritten) {
    auto dialog = Dialog(u"pic"_s);
    ASSERT_EQ(Save(*dialog, 0, false, Out(u"pic.bmp"_s)), QDialog::Accepted);
    EXPECT_EQ(dialog->GetPathName(), Out(u"pic.png"_s));
    EXPECT_EQ(Setting(u"ExportExt"_s), u".bmp"_s);
    EXPECT_EQ(Setting(u"ExportLayerTile"_s), u"0"_s);
    // No type matches ".bmp": the name keeps it and the first type shows.
    EXPECT_EQ(Shown(*Dialog(u"next.kom"_s)).mid(0, 2), (QStringList{u"next.bmp"_s, kPng}));
}

TEST_F(FileDialogTest, RememberedTypeIsPreselectedOnlyForANamedDrawing) {
    Remember(u"ExportExt"_s, u".KoM"_s);
    EXPECT_EQ(Dialog(u"x.png"_s)->selectedNameFilter(), kKom) << "letters match ignoring case";
    auto unnamed = Dialog(QString());
    EXPECT_EQ(NameEdit(unnamed.get())->text(), QString());
    EXPECT_EQ(unnamed->selectedNameFilter(), kPng);
}

TEST_F(FileDialogTest, ExtensionFollowsTheTypeWhileTheNameFieldHasFocus) {
    auto dialog = Dialog(u"x"_s);
    QStringList names;
    const int result = Run(*dialog, [&] {
        QLineEdit* edit = NameEdit(dialog.get());
        TypeName(dialog.get(), u"x.png"_s);
        for (const auto& [text, type] :
             {std::pair{u"x.png"_s, 1}, {u"x.kom"_s, 0}, {u"x"_s, 1}, {QString(), 0}}) {
            edit->setText(text);
            ChooseType(dialog.get(), type);
            names.append(edit->text());
        }
        EXPECT_TRUE(edit->hasFocus());
        // A name saved without an extension gets the chosen type's.
        ChooseType(dialog.get(), 1);
        edit->setText(Out(u"y"_s));
        SaveButton(dialog.get())->click();
    });
    EXPECT_EQ(names, (QStringList{u"x.kom"_s, u"x.png"_s, u"x.kom"_s, QString()}));
    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog->GetPathName(), Out(u"y.kom"_s));
    EXPECT_EQ(Setting(u"ExportExt"_s), u".kom"_s);
}

TEST_F(FileDialogTest, CancelKeepsEverySetting) {
    Remember(u"ExportExt"_s, u".png"_s);
    const QByteArray before = ReadFileBytes(Settings());
    auto dialog = Dialog(u"x"_s);
    const int result = Run(*dialog, [&] {
        ChooseType(dialog.get(), 1);
        dialog->TileLayersBox()->setChecked(true);
        TypeName(dialog.get(), Out(u"x.kom"_s));
        PressKey(NameEdit(dialog.get()), Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(ReadFileBytes(Settings()), before);
    EXPECT_FALSE(dialog->m_bTileLayers);
}

TEST_F(FileDialogTest, ForcedExtensionAsksBeforeReplacingAnotherFile) {
    ASSERT_TRUE(WriteFileBytes(Out(u"art.png"_s), "old"));
    CMessageBoxAnswerer answerer;
    answerer.questionAnswers = {QMessageBox::No, QMessageBox::Yes};
    {
        // new.png is free: nobody asks.
        auto dialog = Dialog(u"new"_s);
        ASSERT_EQ(Save(*dialog, 0, false, Out(u"new.kom"_s)), QDialog::Accepted);
        EXPECT_TRUE(answerer.texts.isEmpty());
    }
    auto dialog = Dialog(u"art"_s);
    bool openAfterNo = false;
    QString extensionAfterNo;
    const int result = Run(*dialog, [&] {
        ChooseType(dialog.get(), 0);
        TypeName(dialog.get(), Out(u"art.kom"_s));
        SaveButton(dialog.get())->click();
        openAfterNo = dialog->isVisible();
        extensionAfterNo = Setting(u"ExportExt"_s);
        SaveButton(dialog.get())->click();
    });
    EXPECT_TRUE(openAfterNo);
    EXPECT_EQ(extensionAfterNo, u".kom"_s) << "No wrote nothing: the setting of new.kom stays";
    const QString question = u"art.png は既に存在します。\n置き換えますか?"_s;
    EXPECT_EQ(answerer.texts, (QStringList{question, question}));
    EXPECT_EQ(answerer.captions, (QStringList{u"KomaSlate Utility"_s, u"KomaSlate Utility"_s}));
    EXPECT_EQ(answerer.buttons.value(0), u"いいえ(&N),はい(&Y)"_s);
    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog->GetPathName(), Out(u"art.png"_s));
}

TEST_F(FileDialogTest, CheckBoxSitsUnderTheTypeRowAlignedWithTheNameLabel) {
    auto dialog = Dialog(u"x"_s);
    dialog->show();
    QApplication::processEvents();
    const QCheckBox* box = dialog->TileLayersBox();
    const QPoint boxAt = box->mapTo(dialog.get(), QPoint());
    const QLabel* label = Child<QLabel>(dialog.get(), "fileNameLabel");
    const QComboBox* combo = TypeCombo(dialog.get());
    EXPECT_EQ(box->text(), u"レイヤを１枚に並べて書き出す"_s);
    EXPECT_EQ(boxAt.x(), label->mapTo(dialog.get(), QPoint()).x());
    EXPECT_GE(boxAt.y(), combo->mapTo(dialog.get(), QPoint(0, combo->height())).y());
    // Qt's own texts are Japanese like the rest of the dialog.
    EXPECT_EQ(SaveButton(dialog.get())->text(), u"保存(&S)"_s);
    EXPECT_EQ(label->text(), u"ファイル名(&N):"_s);
}
