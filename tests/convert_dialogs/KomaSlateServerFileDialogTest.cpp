#include "convert/dialogs/KomaSlateServerFileDialog.h"

#include "base/IniFile.h"
#include "convert/SerializerList.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

// Failures show names as text.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString kPngFilter = u"PNG - Portable Network Graphics (*.png)"_s;
const QString kKomFilter = u"KOM - Koma Pixel Editor (*.kom)"_s;

QString ExportFilter() {
    CSerializerList list;
    list.AddStandardSerializers();
    return list.BuildFilter(false, CSerializer::CAP_EXPORT);
}

template <typename T> T* Child(const QWidget* dialog, const char* name) {
    T* child = dialog->findChild<T*>(QLatin1StringView(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QLineEdit* NameEdit(const QWidget* dialog) {
    return Child<QLineEdit>(dialog, "fileNameEdit");
}

QComboBox* TypeCombo(const QWidget* dialog) {
    return Child<QComboBox>(dialog, "fileTypeCombo");
}

QPushButton* SaveButton(const QWidget* dialog) {
    return Child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Save);
}

void PressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

// Picks file type `index` the way a user does, with the arrow keys on the
// type box; the key goes to the box without taking the focus from where it is.
void ChooseType(QWidget* dialog, int index) {
    QComboBox* combo = TypeCombo(dialog);
    while (combo->currentIndex() < index)
        PressKey(combo, Qt::Key_Down);
    while (combo->currentIndex() > index)
        PressKey(combo, Qt::Key_Up);
}

// Types `name` into the name field, as a user does with the field focused.
void TypeName(QWidget* dialog, const QString& name) {
    QLineEdit* edit = NameEdit(dialog);
    dialog->activateWindow();
    edit->setFocus();
    EXPECT_TRUE(WaitUntil([edit] { return edit->hasFocus(); }));
    edit->setText(name);
}

QString Canonical(const QString& folder) {
    return QDir(folder).canonicalPath();
}

// A message box shown while it lives: its caption, its text and its
// buttons' texts, answered with the button `answers` gives in turn (No
// once they are used up).
struct CBoxSeen {
    QString caption, text;
    QStringList buttons;
};

class CMessageBoxAnswerer : public QObject {
public:
    explicit CMessageBoxAnswerer(QList<QMessageBox::StandardButton> answers = {})
        : m_answers(std::move(answers)) {
        qApp->installEventFilter(this);
    }
    ~CMessageBoxAnswerer() override { qApp->removeEventFilter(this); }

    QList<CBoxSeen> seen;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show) {
            QMetaObject::invokeMethod(
                box, [this, box] { Answer(box); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Answer(QMessageBox* box) {
        CBoxSeen shown{box->windowTitle(), box->text(), {}};
        for (QAbstractButton* button : box->buttons())
            shown.buttons.append(button->text());
        seen.append(shown);
        const QMessageBox::StandardButton answer =
            m_answers.isEmpty() ? QMessageBox::No : m_answers.takeFirst();
        box->button(answer)->click();
    }

    QList<QMessageBox::StandardButton> m_answers;
};

} // namespace

class FileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(u"out"_s));
    }

    QString SettingsPath() const { return m_dir.filePath(u"settings.ini"_s); }
    QString OutFolder() const { return m_dir.filePath(u"out"_s); }
    QString OutPath(const QString& name) const { return OutFolder() + u'/' + name; }

    QString Setting(const QString& key) const {
        return CIniFile(SettingsPath(), false).GetString(u"FileDlg"_s, key, u"<missing>"_s);
    }
    void Remember(const QString& key, const QString& value) {
        ASSERT_TRUE(CIniFile(SettingsPath(), true).WriteString(u"FileDlg"_s, key, value));
    }

    // Runs `dialog` modally and acts on it once its loop runs. Should the
    // dialog stay open against expectation, a generous limit cancels it so
    // that the test fails instead of hanging.
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

    // Saves `initialName` under `typedName` (a full path) with type
    // `typeIndex` and the check box as `tile`; the dialog's result.
    int Save(CKomaSlateServerFileDialog& dialog, int typeIndex, bool tile,
             const QString& typedName) {
        return Run(dialog, [&] {
            ChooseType(&dialog, typeIndex);
            dialog.TileLayersBox()->setChecked(tile);
            TypeName(&dialog, typedName);
            SaveButton(&dialog)->click();
        });
    }

    QTemporaryDir m_dir;
};

TEST_F(FileDialogTest, FirstRunOffersThePngNameInQtsDefaultFolder) {
    for (const QString& initialName : {u"picture.kom"_s, u"picture"_s}) {
        QFileDialog plain;
        plain.setOption(QFileDialog::DontUseNativeDialog);
        CKomaSlateServerFileDialog dialog(initialName, ExportFilter(), SettingsPath(), nullptr);
        EXPECT_EQ(dialog.nameFilters(), (QStringList{kPngFilter, kKomFilter}));
        QString name, type, folder;
        bool ticked = true;
        const int result = Run(dialog, [&] {
            name = NameEdit(&dialog)->text();
            type = dialog.selectedNameFilter();
            folder = dialog.directory().absolutePath();
            ticked = dialog.TileLayersBox()->isChecked();
            dialog.reject();
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(name, u"picture.png"_s);
        EXPECT_EQ(type, kPngFilter);
        EXPECT_EQ(folder, plain.directory().absolutePath());
        EXPECT_FALSE(ticked);
        EXPECT_TRUE(dialog.GetPathName().isEmpty());
    }
    EXPECT_FALSE(QFile::exists(SettingsPath())) << "Cancel writes no setting";
}

TEST_F(FileDialogTest, NextSaveStartsWhereTheLastOneEnded) {
    {
        CKomaSlateServerFileDialog dialog(u"a"_s, ExportFilter(), SettingsPath(), nullptr);
        ASSERT_EQ(Save(dialog, 1, true, OutPath(u"a.kom"_s)), QDialog::Accepted);
        EXPECT_EQ(dialog.GetPathName(), OutPath(u"a.kom"_s));
        EXPECT_TRUE(dialog.m_bTileLayers);
    }
    EXPECT_EQ(Canonical(Setting(u"ExportFolder"_s)), Canonical(OutFolder()));
    EXPECT_EQ(Setting(u"ExportExt"_s), u".kom"_s);
    EXPECT_EQ(Setting(u"ExportLayerTile"_s), u"1"_s);

    CKomaSlateServerFileDialog dialog(u"b.png"_s, ExportFilter(), SettingsPath(), nullptr);
    EXPECT_FALSE(dialog.m_bTileLayers) << "the box is read when the dialog is shown";
    QString name, type, folder;
    bool ticked = false;
    Run(dialog, [&] {
        name = NameEdit(&dialog)->text();
        type = dialog.selectedNameFilter();
        folder = dialog.directory().absolutePath();
        ticked = dialog.TileLayersBox()->isChecked();
        dialog.reject();
    });
    EXPECT_EQ(name, u"b.kom"_s);
    EXPECT_EQ(type, kKomFilter);
    EXPECT_EQ(Canonical(folder), Canonical(OutFolder()));
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(dialog.m_bTileLayers);
}

TEST_F(FileDialogTest, TypedExtensionIsRememberedButTheTypesIsWritten) {
    {
        CKomaSlateServerFileDialog dialog(u"pic"_s, ExportFilter(), SettingsPath(), nullptr);
        ASSERT_EQ(Save(dialog, 0, false, OutPath(u"pic.bmp"_s)), QDialog::Accepted);
        EXPECT_EQ(dialog.GetPathName(), OutPath(u"pic.png"_s));
        EXPECT_FALSE(dialog.m_bTileLayers);
    }
    EXPECT_EQ(Setting(u"ExportExt"_s), u".bmp"_s);
    EXPECT_EQ(Setting(u"ExportLayerTile"_s), u"0"_s);

    // No type matches ".bmp": the first one is shown.
    CKomaSlateServerFileDialog dialog(u"next.kom"_s, ExportFilter(), SettingsPath(), nullptr);
    QString name, type;
    Run(dialog, [&] {
        name = NameEdit(&dialog)->text();
        type = dialog.selectedNameFilter();
        dialog.reject();
    });
    EXPECT_EQ(name, u"next.bmp"_s);
    EXPECT_EQ(type, kPngFilter);
}

TEST_F(FileDialogTest, RememberedTypeMatchesIgnoringCase) {
    Remember(u"ExportExt"_s, u".KoM"_s);
    CKomaSlateServerFileDialog dialog(u"x.png"_s, ExportFilter(), SettingsPath(), nullptr);
    EXPECT_EQ(dialog.selectedNameFilter(), kKomFilter);
    EXPECT_EQ(dialog.SelectedTypeExtension(), u".kom"_s);
}

TEST_F(FileDialogTest, EmptyInitialNameStaysEmptyWithTheFirstType) {
    Remember(u"ExportExt"_s, u".kom"_s);
    CKomaSlateServerFileDialog dialog(QString(), ExportFilter(), SettingsPath(), nullptr);
    EXPECT_TRUE(NameEdit(&dialog)->text().isEmpty());
    EXPECT_EQ(dialog.selectedNameFilter(), kPngFilter);
}

TEST_F(FileDialogTest, ExtensionFollowsTheTypeWhileTheNameFieldHasFocus) {
    CKomaSlateServerFileDialog dialog(u"x"_s, ExportFilter(), SettingsPath(), nullptr);
    QStringList names;
    bool focused = false;
    const int result = Run(dialog, [&] {
        QLineEdit* edit = NameEdit(&dialog);
        TypeName(&dialog, u"x.png"_s);
        focused = edit->hasFocus();
        ChooseType(&dialog, 1);
        names.append(edit->text());
        ChooseType(&dialog, 0);
        names.append(edit->text());
        edit->setText(u"x"_s); // no extension: the type's is appended
        ChooseType(&dialog, 1);
        names.append(edit->text());
        edit->clear();
        ChooseType(&dialog, 0);
        names.append(edit->text());
        // A name typed without an extension gets the type's on saving.
        ChooseType(&dialog, 1);
        edit->setText(OutPath(u"y"_s));
        SaveButton(&dialog)->click();
    });
    EXPECT_TRUE(focused);
    EXPECT_EQ(names, (QStringList{u"x.kom"_s, u"x.png"_s, u"x.kom"_s, QString()}));
    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.GetPathName(), OutPath(u"y.kom"_s));
    EXPECT_EQ(Setting(u"ExportExt"_s), u".kom"_s);
}

TEST_F(FileDialogTest, CancelKeepsEverySetting) {
    Remember(u"ExportFolder"_s, OutFolder());
    Remember(u"ExportExt"_s, u".png"_s);
    ASSERT_TRUE(CIniFile(SettingsPath(), false).WriteInt(u"FileDlg"_s, u"ExportLayerTile"_s, 0));
    QFile file(SettingsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    CKomaSlateServerFileDialog dialog(u"x"_s, ExportFilter(), SettingsPath(), nullptr);
    const int result = Run(dialog, [&] {
        ChooseType(&dialog, 1);
        dialog.TileLayersBox()->setChecked(true);
        TypeName(&dialog, m_dir.filePath(u"elsewhere.kom"_s));
        PressKey(NameEdit(&dialog), Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_FALSE(dialog.m_bTileLayers);
}

TEST_F(FileDialogTest, ForcedExtensionAsksBeforeReplacingAnotherFile) {
    QFile existing(OutPath(u"art.png"_s));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();

    CKomaSlateServerFileDialog dialog(u"art"_s, ExportFilter(), SettingsPath(), nullptr);
    CMessageBoxAnswerer answerer({QMessageBox::No, QMessageBox::Yes});
    bool openAfterNo = false;
    QString settingAfterNo;
    const int result = Run(dialog, [&] {
        TypeName(&dialog, OutPath(u"art.kom"_s));
        SaveButton(&dialog)->click();
        openAfterNo = dialog.isVisible();
        settingAfterNo = Setting(u"ExportExt"_s);
        SaveButton(&dialog)->click();
    });
    EXPECT_TRUE(openAfterNo);
    EXPECT_EQ(settingAfterNo, u"<missing>"_s) << "No writes nothing";
    ASSERT_EQ(answerer.seen.size(), 2);
    for (const CBoxSeen& box : answerer.seen) {
        EXPECT_EQ(box.caption, u"KomaSlate Utility"_s);
        EXPECT_TRUE(box.text.startsWith(u"art.png "_s)) << box.text.toStdString();
        EXPECT_TRUE(box.buttons.contains(u"はい(&Y)"_s));
        EXPECT_TRUE(box.buttons.contains(u"いいえ(&N)"_s));
    }
    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.GetPathName(), OutPath(u"art.png"_s));
    EXPECT_EQ(Setting(u"ExportExt"_s), u".kom"_s);
}

TEST_F(FileDialogTest, NoSecondQuestionWhenTheFinalPathIsFreeOrTheConfirmedOne) {
    QFile existing(OutPath(u"art.kom"_s));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    CMessageBoxAnswerer answerer({QMessageBox::Yes});
    {
        // Neither new.kom nor new.png exists: nobody asks.
        CKomaSlateServerFileDialog dialog(u"new"_s, ExportFilter(), SettingsPath(), nullptr);
        EXPECT_EQ(Save(dialog, 0, false, OutPath(u"new.kom"_s)), QDialog::Accepted);
        EXPECT_EQ(dialog.GetPathName(), OutPath(u"new.png"_s));
    }
    EXPECT_TRUE(answerer.seen.isEmpty());
    {
        // The confirmed path is the final one: Qt's own question is enough.
        CKomaSlateServerFileDialog dialog(u"art"_s, ExportFilter(), SettingsPath(), nullptr);
        EXPECT_EQ(Save(dialog, 1, false, OutPath(u"art.kom"_s)), QDialog::Accepted);
        EXPECT_EQ(dialog.GetPathName(), OutPath(u"art.kom"_s));
    }
    EXPECT_EQ(answerer.seen.size(), 1);
}

TEST_F(FileDialogTest, CheckBoxSitsUnderTheTypeRowAlignedWithTheNameLabel) {
    CKomaSlateServerFileDialog dialog(u"x"_s, ExportFilter(), SettingsPath(), nullptr);
    dialog.show();
    QApplication::processEvents();
    const QCheckBox* box = dialog.TileLayersBox();
    const QLabel* label = Child<QLabel>(&dialog, "fileNameLabel");
    EXPECT_EQ(box->text(), u"レイヤを１枚に並べて書き出す"_s);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->mapTo(&dialog, QPoint()).x(), label->mapTo(&dialog, QPoint()).x());
    const QComboBox* combo = TypeCombo(&dialog);
    EXPECT_GE(box->mapTo(&dialog, QPoint()).y(),
              combo->mapTo(&dialog, QPoint(0, combo->height())).y());
    // Qt's own texts are Japanese like the rest of the dialog.
    EXPECT_EQ(SaveButton(&dialog)->text(), u"保存(&S)"_s);
    EXPECT_EQ(label->text(), u"ファイル名(&N):"_s);
}

TEST_F(FileDialogTest, NameFromTheAppIsOfferedAsASafeFileName) {
    CKomaSlateServerFileDialog dialog(u"../../.profile"_s, ExportFilter(), SettingsPath(), nullptr);
    EXPECT_EQ(NameEdit(&dialog)->text(), u"_._.._.png"_s);
}
