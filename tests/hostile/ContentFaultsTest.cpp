// An app whose replies are well formed lines with hostile content:
// thumbnails that lie or are no pictures, names that are no file names,
// overwrite answers of the wrong size.
#include "HostileSupport.h"

#include "support/KomFixtures.h"

#include "base/FileNameText.h"
#include "base/TextRoutines.h"
#include "convert/dialogs/KomaSlateServerFileDialog.h"
#include "link/dialogs/OverwriteDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QtEndian>

#include <algorithm>

#include <zlib.h>

namespace {

// A PNG image whose header claims `width` x `height` pixels, with its
// checksum made right, so that only the size gives it away.
QByteArray PngClaiming(quint32 width, quint32 height) {
    QByteArray png = PngBytes(Filled(44, 44, qRgb(1, 2, 3)));
    // Signature (8), IHDR length and type (8), then width and height.
    constexpr qsizetype kWidthAt = 16;
    constexpr qsizetype kCrcAt = kWidthAt + 13;
    auto* bytes = reinterpret_cast<uchar*>(png.data());
    qToBigEndian<quint32>(width, bytes + kWidthAt);
    qToBigEndian<quint32>(height, bytes + kWidthAt + 4);
    // The checksum covers the chunk type and data.
    qToBigEndian<quint32>(quint32(crc32(0, bytes + 12, 4 + 13)), bytes + kCrcAt);
    return png;
}

// A list reply value: the header, then name, size and date of each name.
QByteArray ListOf(const QByteArrayList& names) {
    QByteArray value("ok:filename,size,updateDate");
    for (const QByteArray& name : names)
        value.append('\r').append(name).append("\r200\r2026/01/01 10:00:00");
    return value;
}

// Whether `name` could leave the folder it is saved in or hides characters.
bool IsUnsafeFileName(const QString& name) {
    if (name.isEmpty() || name.startsWith(u'.') || name.contains(u'/') || name.contains(u'\\'))
        return true;
    return std::any_of(name.begin(), name.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// Every file below `folder`, as paths relative to it.
QStringList FilesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

} // namespace

TEST_F(HostileAppTest, ThumbnailsThatLieOrAreNoPicturesGiveRowsWithoutPictures) {
    const QByteArray real = PngBytes(Filled(44, 44, qRgb(0, 90, 200)));
    CAppScript script;
    script.list =
        ListOf({"huge", "wide", "text", "truncated", "oddhex", "nothex", "empty", "good"});
    script.thumbs["huge"] = "ok:" + PngClaiming(100000, 100000).toHex();
    script.thumbs["wide"] = "ok:" + PngClaiming(100000, 1).toHex();
    script.thumbs["text"] = "ok:" + QByteArray("this is not a PNG image at all").toHex();
    script.thumbs["truncated"] = "ok:" + real.left(real.size() / 2).toHex();
    script.thumbs["oddhex"] = "ok:" + real.toHex().chopped(1);
    script.thumbs["nothex"] = "ok:zz" + real.toHex();
    script.thumbs["empty"] = "ok:";
    script.thumbs["good"] = "ok:" + real.toHex();
    StartWatching();
    CScriptedApp& app = ConnectListed(script);

    EXPECT_EQ(Names(), QStringList({"huge", "wide", "text", "truncated", "oddhex", "nothex",
                                    "empty", "good"}));
    for (int row = 0; row < 7; ++row)
        EXPECT_TRUE(Window().FileList()->RowPicture(row).isNull()) << row;
    EXPECT_FALSE(Window().FileList()->RowPicture(7).isNull());
    EXPECT_EQ(app.requests.size(), 2 + 8);
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed()}));
    EXPECT_EQ(States(), kConnected);
    FinishCase(200);
}

TEST_F(HostileAppTest, NamesThatAreNoFileNamesTravelAsTheyCameAndAreSavedUnderSafeNames) {
    const QByteArray longName(10000, 'n');
    const QByteArrayList names = {
        QByteArray("nul\0name", 8), "../../escape",        "dir/name", "..",
        "\xff\xfe\xc3(bad utf-8",   "tab\tand\x01control", longName};
    const CKSData drawing = Drawing(8, 6, 1);
    const QByteArray reply = FileReply(Bytes(drawing));
    CAppScript script;
    script.list = ListOf(names);
    for (const QByteArray& name : names) {
        script.thumbs[name] = ThumbReply(Filled(44, 44, qRgb(9, 9, 9)));
        script.files[name] = reply;
    }
    StartWatching();
    CScriptedApp& app = ConnectListed(script);

    // Every row, every picture, every request with the name's bytes as the
    // app sent them.
    ASSERT_EQ(Window().FileList()->rowCount(), names.size());
    for (int row = 0; row < names.size(); ++row) {
        EXPECT_EQ(Window().FileList()->RowRawName(row), names[row]) << row;
        EXPECT_FALSE(Window().FileList()->RowPicture(row).isNull()) << row;
        EXPECT_EQ(app.requests.value(2 + row), "GetThumb:" + names[row] + '\n') << row;
    }

    // A download of each: the save dialog offers a safe name; the file lands
    // in the chosen folder and nowhere else.
    const QString out = m_work.filePath(QStringLiteral("out/inner"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QStringList filesBefore = FilesBelow(m_work.path());
    QStringList offered;
    COnShow<CKomaSlateServerFileDialog> saves([&](CKomaSlateServerFileDialog* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        offered.append(edit->text());
        dialog->setDirectory(out);
        edit->setText(QDir(out).filePath(edit->text()));
        dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
            ->button(QDialogButtonBox::Save)
            ->click();
    });
    Window().FileList()->selectAll();
    const qsizetype requestsBefore = app.requests.size();
    Window().DownloadButton()->click();

    ASSERT_EQ(app.requests.size() - requestsBefore, names.size());
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(app.requests[requestsBefore + i], "GetFile:" + names[i] + '\n') << i;
    ASSERT_EQ(offered.size(), names.size());
    for (const QString& name : offered)
        EXPECT_FALSE(IsUnsafeFileName(name)) << name.left(80).toStdString();
    // The name of 10,000 characters is offered cut to what a file system
    // takes.
    EXPECT_EQ(offered.last(), QString(kMaxSafeFileNameBytes, u'n') + QStringLiteral(".png"));
    // The names the program offers, and nothing beside them.
    QStringList expected = filesBefore;
    for (const QString& name : offered)
        expected.append(QStringLiteral("out/inner/") + name);
    expected.sort();
    EXPECT_EQ(FilesBelow(m_work.path()), expected);
    EXPECT_EQ(ReadFile(QDir(out).filePath(QStringLiteral("nul_name.png"))).left(8),
              QByteArray("\x89PNG\r\n\x1a\n"));
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').left(300).toStdString();
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed()}));
    FinishCase(250);
}

TEST_F(HostileAppTest, LineFeedsAndCarriageReturnsInNamesOnlyReshapeTheList) {
    // A line feed ends the list reply early: the rest is a line without a
    // colon and is dropped. A carriage return splits a name into two cells,
    // which moves the cells after it.
    CAppScript script;
    script.list = "ok:filename,size,updateDate\rfirst\r100\r2026/01/01\rline\nfeed\r100\rdate";
    StartWatching();
    CScriptedApp& app = ConnectListed(
        [&](CScriptedApp&, const QByteArray& request) { return script.Answer(request); });
    EXPECT_EQ(Names(), QStringList({"first", "line"}));
    EXPECT_EQ(app.requests.mid(2), QByteArrayList({"GetThumb:first\n", "GetThumb:line\n"}));

    script.list = "ok:filename,size,updateDate\rcarriage\rreturn\r100\r2026/01/01";
    Window().RefreshFileList();
    EXPECT_EQ(Names(), QStringList({"carriage", "2026/01/01"}));
    EXPECT_EQ(Column(1), QStringList({"0 KB", ""}));
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed()}));
    FinishCase(200);
}

class OverwriteAnswerTest : public HostileAppTest {
protected:
    // Uploads a drawing named "up" to an app that answers IsOverwrite with
    // `answer`; `onQuestion` answers the overwrite dialog.
    void Upload(const QByteArray& answer, std::function<void(COverwriteDlg*)> onQuestion) {
        CAppScript script;
        script.list = "ok:filename\rup";
        script.isOverwrite = answer;
        CScriptedApp& app = ConnectListed(script);
        m_nRequestsBefore = app.requests.size();
        const QString path = UploadFile(QStringLiteral("up"), Drawing(8, 6, 1));
        COnShow<COverwriteDlg> asks([&](COverwriteDlg* dialog) {
            ++m_nQuestions;
            onQuestion(dialog);
        });
        StartWatching();
        Window().OnDropFiles({path});
        m_requests = app.requests.mid(m_nRequestsBefore);
    }

    // The name field of the SetFile request among `m_requests`, if any.
    QByteArray SetFileName() const {
        for (const QByteArray& request : m_requests) {
            if (request.startsWith("SetFile:"))
                return request.mid(8, request.indexOf('\r') - 8);
        }
        return {};
    }

    qsizetype m_nRequestsBefore = 0;
    QByteArrayList m_requests;
    int m_nQuestions = 0;
};

TEST_F(OverwriteAnswerTest, ThousandFieldsUseTheFirstThree) {
    QByteArray answer("ok:1\rup\rup_alt");
    for (int i = 3; i < 1000; ++i)
        answer.append("\rfield" + QByteArray::number(i));
    QString question;
    Upload(answer, [&](COverwriteDlg* dialog) {
        question = dialog->Question()->text();
        EXPECT_TRUE(dialog->SaveAsAltButton()->text().contains(u"up_alt"));
        dialog->SaveAsAltButton()->click();
    });
    EXPECT_EQ(m_nQuestions, 1);
    EXPECT_TRUE(question.startsWith(u"up ")) << question.toStdString();
    EXPECT_EQ(SetFileName(), "up_alt");
    // The list is fetched again after the upload.
    EXPECT_EQ(m_requests.value(2), "GetFileList:\n");
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();
    FinishCase(200);
}

TEST_F(OverwriteAnswerTest, NoFieldsEndTheUploadWithoutSendingIt) {
    Upload("ok:", [](COverwriteDlg* dialog) { dialog->NoButton()->click(); });
    EXPECT_EQ(m_nQuestions, 0);
    EXPECT_EQ(m_requests, QByteArrayList({"IsOverwrite:up\n"}));
    EXPECT_EQ(Window().Link().PendingSendBytes(), 0);
    EXPECT_EQ(States(), kConnected);
    FinishCase(200);
}

TEST_F(OverwriteAnswerTest, AlternativeNameOfAMegabyteIsAskedAboutAndSentWhole) {
    // Kana take the slow path of text layout, which a long name makes
    // longer still.
    QByteArray altName;
    while (altName.size() < 1024 * 1024)
        altName.append("\xe3\x81\x82\xe3\x81\x84"); // あい
    QString shown;
    Upload("ok:1\rup\r" + altName, [&](COverwriteDlg* dialog) {
        shown = dialog->SaveAsAltButton()->text();
        dialog->SaveAsAltButton()->click();
    });
    EXPECT_EQ(m_nQuestions, 1);
    // The button shows the name's start and end, not a megabyte of it.
    EXPECT_EQ(shown, FormatStringResource(IDS_SAVE_AS_NAME,
                                          {ShortenedForDisplay(QString::fromUtf8(altName))}));
    EXPECT_LT(shown.size(), 200);
    // The app proposed the name, so it goes back whole.
    EXPECT_EQ(SetFileName(), altName);
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();
    FinishCase(250);
}

TEST_F(HostileAppTest, DeleteQuestionAboutANameOfTenThousandCharacters) {
    const QByteArray longName = QByteArray("\xe7\xb5\xb5").repeated(10000); // 絵
    CAppScript script;
    script.list = ListOf({longName});
    CScriptedApp& app = ConnectListed(script);
    SelectRawNames({longName});
    m_boxes.questionAnswers = {QMessageBox::Yes};
    StartWatching();
    Window().DeleteButton()->click();
    // The question shows the name shortened; the request carries it whole.
    ASSERT_EQ(m_boxes.texts.size(), 1);
    EXPECT_EQ(m_boxes.texts[0],
              Message(IDS_DELETE_QUESTION, {ShortenedForDisplay(QString::fromUtf8(longName))}));
    EXPECT_EQ(app.requests.last(), "DeleteFile:" + longName + '\n');
    EXPECT_EQ(Window().FileList()->rowCount(), 0);
    FinishCase(250);
}

TEST_F(HostileAppTest, ListedNameOfAMegabyteIsShownShortAndRequestedWhole) {
    const QByteArray longName = QByteArray("\xe7\xb5\xb5").repeated(350000); // 絵
    CAppScript script;
    script.list = ListOf({longName, "short"});
    StartWatching();
    CScriptedApp& app = ConnectListed(script);
    EXPECT_EQ(Names(), QStringList({ShortenedForDisplay(QString::fromUtf8(longName)), "short"}));
    EXPECT_EQ(Window().FileList()->RowRawName(0), longName);
    EXPECT_EQ(app.requests.value(2), "GetThumb:" + longName + '\n');
    // Sorting and painting deal with the shown text only.
    Window().FileList()->OnColumnClick(CFileListCtrl::COLUMN_NAME);
    Window().FileList()->viewport()->repaint();
    EXPECT_EQ(Window().FileList()->RowRawName(1), longName);
    EXPECT_TRUE(m_boxes.texts.isEmpty());
    FinishCase(250);
}
