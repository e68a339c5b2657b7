#include "WindowTestSupport.h"

#include "base/IniFile.h"
#include "base/TextRoutines.h"
#include "convert/SerializerList.h"
#include "convert/dialogs/KomaSlateServerFileDialog.h"
#include "link/dialogs/OverwriteDlg.h"
#include "model/KSData.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

const QString kKomFilter = QStringLiteral("KOM - Koma Pixel Editor (*.kom)");

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The requests that start with `command`.
QByteArrayList Requests(const CScriptedApp& app, const QByteArray& command) {
    QByteArrayList found;
    for (const QByteArray& request : app.requests)
        if (request.startsWith(command))
            found.append(request);
    return found;
}

} // namespace

class CommandsTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        m_registry.AddStandardSerializers();
    }

    // The list reply for documents of these names.
    static QByteArray ListOf(const QByteArrayList& names) {
        QByteArray list = "ok:filename,size,updateDate";
        for (const QByteArray& name : names)
            list += '\r' + name + "\r1\rD";
        return list;
    }

    void SelectRows(std::initializer_list<int> rows) {
        CFileListCtrl* list = Window().FileList();
        for (const int row : rows)
            list->selectionModel()->select(list->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // Writes `document` as a desktop file the way a download would.
    QString Export(const CKSData& document, const QString& name, bool tile = false) {
        const QString path = Path(name);
        EXPECT_TRUE(ExportDocument(m_registry, document, path, tile));
        return path;
    }

    // Answers every export dialog with the next of `saves`: a path to save
    // as (with the KOM type when it ends in .kom, the box ticked when
    // `tile`), or an empty path to cancel. Records the name each offered.
    struct CSave {
        CSave(QString path = {}, bool tile = false, std::function<void()> before = {})
            : path(std::move(path)), tile(tile), before(std::move(before)) {}
        QString path;
        bool tile;
        std::function<void()> before;
    };
    std::unique_ptr<COnShow<CKomaSlateServerFileDialog>> AnswerSaves(QList<CSave> saves) {
        return std::make_unique<COnShow<CKomaSlateServerFileDialog>>(
            [this, saves](CKomaSlateServerFileDialog* dialog) mutable {
                auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                m_offered.append({edit->text(), dialog->selectedNameFilter(),
                                  dialog->TileLayersBox()->isChecked()});
                if (saves.isEmpty() || saves.first().path.isEmpty()) {
                    if (!saves.isEmpty())
                        saves.removeFirst();
                    dialog->reject();
                    return;
                }
                const CSave save = saves.takeFirst();
                if (save.before)
                    save.before();
                if (save.path.endsWith(QStringLiteral(".kom")))
                    dialog->selectNameFilter(kKomFilter);
                dialog->TileLayersBox()->setChecked(save.tile);
                edit->setText(save.path);
                dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
                    ->button(QDialogButtonBox::Save)
                    ->click();
            });
    }

    // Answers every overwrite question with the button `pick` chooses.
    std::unique_ptr<COnShow<COverwriteDlg>>
    AnswerOverwrite(std::function<QPushButton*(COverwriteDlg*)> pick) {
        return std::make_unique<COnShow<COverwriteDlg>>([this, pick](COverwriteDlg* dialog) {
            m_questions.append(dialog->Question()->text() + u'|' +
                               dialog->SaveAsAltButton()->text());
            pick(dialog)->click();
        });
    }

    struct COffered {
        QString name, type;
        bool tiled;
    };
    CSerializerList m_registry;
    QList<COffered> m_offered;
    QStringList m_questions;
};

TEST_F(CommandsTest, DownloadWritesWhatExportDocumentWritesAndRemembersTheChoices) {
    const CKSData drawing = Drawing(12, 9, 3);
    CAppScript script;
    script.list = ListOf({"art"});
    script.files["art"] = FileReply(Bytes(drawing));
    auto app = Connect(script);
    ASSERT_EQ(Window().FileList()->rowCount(), 1);

    const QString expectedPng = Export(drawing, QStringLiteral("expected.png"));
    const QString expectedKom = Export(drawing, QStringLiteral("expected.kom"), true);
    auto saves = AnswerSaves({{Path("out.png"), false}, {Path("out.kom"), true}, {}});
    const QString settings = Window().SettingsPath();
    const auto setting = [&](const char* key) {
        return CIniFile(settings, false).GetString("FileDlg", key, "<missing>");
    };

    SelectRows({0});
    Window().DownloadButton()->click();
    EXPECT_EQ(Requests(*app, "GetFile:"), QByteArrayList({"GetFile:art\n"}));
    EXPECT_EQ(ReadFile(Path("out.png")), ReadFile(expectedPng));
    EXPECT_EQ(setting("ExportFolder"), QDir(m_dir.path()).absolutePath());
    EXPECT_EQ(setting("ExportExt"), ".png");
    EXPECT_EQ(setting("ExportLayerTile"), "0");

    Window().DownloadButton()->click();
    EXPECT_EQ(ReadFile(Path("out.kom")), ReadFile(expectedKom));
    EXPECT_EQ(setting("ExportExt"), ".kom");
    EXPECT_EQ(setting("ExportLayerTile"), "1");

    // The third dialog is cancelled: it opened with the last choices and
    // changed no setting.
    Window().DownloadButton()->click();
    ASSERT_EQ(m_offered.size(), 3);
    EXPECT_EQ(m_offered[0].name, "art.png");
    EXPECT_FALSE(m_offered[0].tiled);
    EXPECT_EQ(m_offered[2].name, "art.kom");
    EXPECT_EQ(m_offered[2].type, kKomFilter);
    EXPECT_TRUE(m_offered[2].tiled);
    EXPECT_EQ(setting("ExportExt"), ".kom");
    EXPECT_TRUE(m_boxes.texts.isEmpty());
}

TEST_F(CommandsTest, DownloadStopsAtTheFirstDrawingNotSaved) {
    const QByteArray bytes = Bytes(Drawing(4, 4, 1));
    CAppScript script;
    script.list = ListOf({"a", "b", "c"});
    for (const char* name : {"a", "b", "c"})
        script.files[name] = FileReply(bytes);
    auto app = Connect(script);
    auto saves = AnswerSaves({{Path("a.png")}, {}});
    SelectRows({0, 1, 2});
    Window().DownloadButton()->click();
    EXPECT_EQ(Requests(*app, "GetFile:"), QByteArrayList({"GetFile:a\n", "GetFile:b\n"}));
    EXPECT_TRUE(QFile::exists(Path("a.png")));
    EXPECT_EQ(Window().FileList()->SelectedRows(), QList<int>({0, 1, 2}));
}

TEST_F(CommandsTest, SaveTheRestAlikeWithoutMoreDialogs) {
    const QByteArray bytes = Bytes(Drawing(4, 4, 2));
    CAppScript script;
    script.list = "ok:filename,size,updateDate\ra\r" + QByteArray::number(bytes.size()) +
                  "\rD\rb\r\rD\rc\r1\rD";
    for (const char* name : {"a", "b", "c"})
        script.files[name] = FileReply(bytes);
    QStringList positions;
    bool barShown = false;
    auto app = Connect([&](CScriptedApp&, const QByteArray& request) {
        if (CWaitDlg* dlg = ActiveWaitDlg(); dlg && request.startsWith("GetFile:")) {
            positions.append(dlg->MessageText());
            barShown |= dlg->ProgressBar()->isVisible();
        }
        return script.Answer(request);
    });
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("out"));
    ASSERT_TRUE(QFile(Path("out/b.kom")).open(QIODevice::WriteOnly)); // b gets a numbered name
    bool offered = false;
    auto saves = AnswerSaves({{Path("out/a.kom"), true, [&] {
                                   QCheckBox* box = Window().findChild<QCheckBox*>("saveRestBox");
                                   offered = box && !box->isChecked();
                                   if (box)
                                       box->setChecked(true);
                               }}});
    SelectRows({0, 1, 2});
    Window().DownloadButton()->click();
    EXPECT_TRUE(offered);
    EXPECT_EQ(m_offered.size(), 1);
    const QString expected = Export(Drawing(4, 4, 2), "expected.kom", true);
    for (const char* name : {"out/a.kom", "out/b_2.kom", "out/c.kom"})
        EXPECT_EQ(ReadFile(Path(name)), ReadFile(expected)) << name;
    EXPECT_EQ(positions.size(), 3);
    EXPECT_TRUE(positions.value(1).endsWith("(2 / 3)")) << positions.value(1).toStdString();
    // The first drawing's size is known, so its reply shows a bar.
    EXPECT_TRUE(barShown);

    // A download of one drawing offers no such box.
    Window().FileList()->clearSelection();
    SelectRows({0});
    auto single = AnswerSaves({{}});
    bool boxOnSingle = true;
    COnShow<CKomaSlateServerFileDialog> look([&](CKomaSlateServerFileDialog* dialog) {
        boxOnSingle = dialog->SaveRestBox() != nullptr;
    });
    Window().DownloadButton()->click();
    EXPECT_FALSE(boxOnSingle);
}

TEST_F(CommandsTest, BadDownloadRepliesSaveNothing) {
    const QByteArray bytes = Bytes(Drawing(4, 4, 1));
    const QByteArray hex = BytesToHex(bytes);
    CAppScript script;
    script.list = ListOf({"upper", "odd", "empty", "notfound", "garbage"});
    script.files["upper"] = "ok:" + MD5Hex(bytes).toUpper() + '\r' + hex;
    script.files["odd"] = "ok:" + MD5Hex(bytes) + '\r' + hex + 'a';
    // A matching digest over an empty payload: no document, no message.
    script.files["empty"] = "ok:" + MD5Hex(QByteArray()) + '\r';
    script.files["garbage"] = FileReply("not a document");
    auto app = Connect(script);
    auto saves = AnswerSaves({});
    for (int row = 0; row < 5; ++row) {
        Window().FileList()->clearSelection();
        SelectRows({row});
        Window().DownloadButton()->click();
    }
    EXPECT_EQ(Requests(*app, "GetFile:").size(), 5);
    EXPECT_TRUE(m_offered.isEmpty());
    ASSERT_EQ(m_boxes.texts.size(), 4);
    EXPECT_EQ(m_boxes.texts[0], Message(IDS_HASH_MISMATCH));
    EXPECT_EQ(m_boxes.texts[1], Message(IDS_HASH_MISMATCH));
    EXPECT_EQ(m_boxes.texts[2], Message(IDS_FILE_NOT_FOUND));
    EXPECT_FALSE(m_boxes.texts[3].isEmpty()); // what the document reader says
    EXPECT_TRUE(QDir(m_dir.path()).entryList({"*.png"}).isEmpty());
}

TEST_F(CommandsTest, DrawingIsSavedWhenTheAppGoesWhileTheDialogIsOpen) {
    const QByteArray bytes = Bytes(Drawing(4, 4, 2));
    CAppScript script;
    script.list = ListOf({"a", "b"});
    script.files["a"] = script.files["b"] = FileReply(bytes);
    auto app = Connect(script);
    CScriptedApp* peer = app.get();
    auto saves =
        AnswerSaves({{Path("kept.kom"), false, [&] {
                          peer->Close();
                          EXPECT_TRUE(WaitUntil([&] { return !Window().Link().IsConnected(); }));
                      }}});
    SelectRows({0, 1});
    Window().DownloadButton()->click();
    EXPECT_EQ(ReadFile(Path("kept.kom")), ReadFile(Export(Drawing(4, 4, 2), "expected.kom")));
    // The loop ended with the connection: one dialog, one request.
    EXPECT_EQ(m_offered.size(), 1);
    EXPECT_EQ(Requests(*app, "GetFile:"), QByteArrayList({"GetFile:a\n"}));
}

TEST_F(CommandsTest, AppNamesReachTheirDrawingRawButAreOfferedSafely) {
    const QByteArray bytes = Bytes(Drawing(4, 4, 1));
    // "か" with a separate voicing mark, a slash and a byte that is no UTF-8.
    const QByteArray decomposed = "\xE3\x81\x8B\xE3\x82\x99/..\xFF";
    CAppScript script;
    script.list = ListOf({decomposed, ".."});
    script.files[decomposed] = script.files[".."] = FileReply(bytes);
    auto app = Connect(script);
    auto saves = AnswerSaves({});
    SelectRows({0, 1});
    Window().DownloadButton()->click(); // the first dialog is cancelled
    Window().FileList()->clearSelection();
    SelectRows({1});
    Window().DownloadButton()->click();
    EXPECT_EQ(Requests(*app, "GetFile:"),
              QByteArrayList({"GetFile:" + decomposed + '\n', "GetFile:..\n"}));
    ASSERT_EQ(m_offered.size(), 2);
    // Composed form, no folder separator, not hidden.
    EXPECT_TRUE(m_offered[0].name.startsWith(QStringLiteral(u"が_")));
    EXPECT_FALSE(m_offered[0].name.contains(u'/'));
    EXPECT_FALSE(m_offered[1].name.startsWith(u'.'));
    EXPECT_FALSE(m_offered[1].name.contains(u'/'));
}

TEST_F(CommandsTest, UploadAsksThenSendsTheDocumentAndRefreshesTheList) {
    const QString path = Export(Drawing(10, 6, 3), "a.b.kom");
    CKSData imported;
    ASSERT_TRUE(ImportDocument(m_registry, imported, path));
    const QByteArray document = Bytes(imported);

    CAppScript script;
    auto app = Connect(script);
    app->requests.clear();
    Window().OnDropFiles({path});
    EXPECT_EQ(app->requests, QByteArrayList({"IsOverwrite:a.b\n",
                                             "SetFile:a.b\r" + MD5Hex(document) + '\r' +
                                                 BytesToHex(document) + '\n',
                                             "GetFileList:\n"}));
    EXPECT_TRUE(m_boxes.texts.isEmpty());
}

TEST_F(CommandsTest, OverwriteAnswersChooseTheName) {
    const QString path = Export(Drawing(4, 4, 1), "pic.png");
    const struct {
        QByteArray answer;
        std::function<QPushButton*(COverwriteDlg*)> pick;
        QByteArray sentName; // empty: nothing sent
    } cases[] = {
        {"ok:0\rN\rA", nullptr, "N"},
        {"ok:1\rN\rA", &COverwriteDlg::YesButton, "N"},
        {"ok:1\rN\rA", &COverwriteDlg::NoButton, ""},
        {"ok:1\rN\rA", &COverwriteDlg::SaveAsAltButton, "A"},
        {"ok:1\rN", nullptr, ""},
        // A name that cannot travel in the SetFile line.
        {QByteArray("ok:0\rN\0x\rA", 11), nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.toStdString());
        CAppScript script;
        script.isOverwrite = c.answer;
        auto app = Connect(script);
        auto question = AnswerOverwrite(c.pick ? c.pick : &COverwriteDlg::NoButton);
        m_questions.clear();
        app->requests.clear();
        EXPECT_EQ(Window().UploadFile(path), !c.sentName.isEmpty());
        const QByteArrayList sets = Requests(*app, "SetFile:");
        if (c.sentName.isEmpty()) {
            EXPECT_TRUE(sets.isEmpty());
        } else {
            ASSERT_EQ(sets.size(), 1);
            EXPECT_TRUE(sets[0].startsWith("SetFile:" + c.sentName + '\r'));
        }
        EXPECT_EQ(m_questions.size(), c.pick ? 1 : 0);
        if (c.pick)
            EXPECT_EQ(m_questions[0],
                      QStringLiteral(u"N は既に存在しています。\n上書きしますか？|A "
                                     u"という名前で保存"));
        Window().Disconnect();
    }
    EXPECT_TRUE(m_boxes.texts.isEmpty());
}

TEST_F(CommandsTest, UploadRefusalsShowTheirMessageAndTheLoopGoesOn) {
    const QString tooMany = Export(Drawing(320, 480, 11), "many.kom");
    const QString unsendable = Export(Drawing(4, 4, 1), "line\nbreak.png");
    const QString good = Export(Drawing(4, 4, 1), "good.png");
    CAppScript script;
    script.version = "ok:2";
    script.setFile = "error:7";
    auto app = Connect(script);
    app->requests.clear();
    Window().OnDropFiles({tooMany, unsendable, Path("missing.bmp"), good});
    EXPECT_EQ(Requests(*app, "IsOverwrite:"), QByteArrayList({"IsOverwrite:good\n"}));
    // The app refused the only file sent, so the list is not fetched again.
    EXPECT_TRUE(Requests(*app, "GetFileList:").isEmpty());
    EXPECT_EQ(m_boxes.texts,
              QStringList({Shown(LoadStringResource(IDS_IMAGE_BUFFER_TOO_LARGE)) + '\n' +
                               Shown(LoadStringResource(IDS_IMAGE_BUFFER_HINT)),
                           Message(IDS_NAME_NOT_SENDABLE, {QStringLiteral("line\nbreak.png")}),
                           Message(IDS_FORMAT_NOT_SUPPORTED), Message(IDS_ERROR_REPLY, {7})}));
}

TEST_F(CommandsTest, UploadThroughTheOpenDialog) {
    const QString path = Export(Drawing(4, 4, 1), "chosen.png");
    CAppScript script;
    auto app = Connect(script);
    QStringList filters;
    COnShow<QFileDialog> open([&](QFileDialog* dialog) {
        filters = dialog->nameFilters();
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
            ->button(QDialogButtonBox::Open)
            ->click();
    });
    Window().UploadButton()->click();
    EXPECT_EQ(filters.value(0), QStringLiteral(u"対応したすべての形式 (*.png *.kom)"));
    EXPECT_EQ(Requests(*app, "IsOverwrite:"), QByteArrayList({"IsOverwrite:chosen\n"}));
    EXPECT_EQ(Requests(*app, "GetFileList:").size(), 2);
}

TEST_F(CommandsTest, DropsCountOnlyWhileConnected) {
    const QString path = Export(Drawing(4, 4, 1), "dropped.png");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path), QUrl("https://example.org/x.png")});
    const auto drop = [&] {
        const QPointF at(10, 10);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&Window(), &enter);
        QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&Window(), &event);
        return enter.isAccepted();
    };
    EXPECT_FALSE(drop());

    CAppScript script;
    auto app = Connect(script);
    EXPECT_TRUE(drop());
    EXPECT_TRUE(WaitUntil([&] { return !Requests(*app, "SetFile:").isEmpty(); }));
    EXPECT_EQ(Requests(*app, "IsOverwrite:"), QByteArrayList({"IsOverwrite:dropped\n"}));
}

TEST_F(CommandsTest, DeleteAsksForEachRowAndNoOnlyDeselects) {
    CAppScript script;
    script.list = ListOf({"a", "b", "c"});
    auto app = Connect(script);
    SelectRows({0, 2});
    m_boxes.questionAnswers = {QMessageBox::No, QMessageBox::Yes};
    Window().DeleteButton()->click();
    EXPECT_EQ(m_boxes.texts, QStringList({Message(IDS_DELETE_QUESTION, {QStringLiteral("a")}),
                                          Message(IDS_DELETE_QUESTION, {QStringLiteral("c")})}));
    EXPECT_EQ(Requests(*app, "DeleteFile:"), QByteArrayList({"DeleteFile:c\n"}));
    EXPECT_EQ(Names(), QStringList({"a", "b"}));
    EXPECT_FALSE(Window().FileList()->HasSelection());
    EXPECT_EQ(States(), kConnected);
}

TEST_F(CommandsTest, FailedDeleteKeepsTheRowAndStops) {
    const QByteArray raw("x\xFF", 2);
    CAppScript script;
    script.list = ListOf({raw, "b"});
    script.deletes[raw] = "error:3";
    auto app = Connect(script);
    SelectRows({0, 1});
    m_boxes.questionAnswers = {QMessageBox::Yes, QMessageBox::Yes};
    Window().DeleteButton()->click();
    EXPECT_EQ(Requests(*app, "DeleteFile:"), QByteArrayList({"DeleteFile:" + raw + '\n'}));
    EXPECT_EQ(m_boxes.texts.size(), 2);
    EXPECT_EQ(m_boxes.texts.value(1), Message(IDS_FILE_NOT_FOUND));
    EXPECT_EQ(Window().FileList()->rowCount(), 2);
    EXPECT_EQ(Window().FileList()->SelectedRows(), QList<int>({0, 1}));
}
