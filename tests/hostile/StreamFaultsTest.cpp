// An app whose byte stream misbehaves: a line without end, a reply cut off
// in the middle, junk lines around the replies, a reply that trickles in.
#include "HostileSupport.h"

#include "e2e/EndToEndSupport.h"
#include "support/KomFixtures.h"

#include "convert/dialogs/KomaSlateServerFileDialog.h"
#include "link/dialogs/CommandDlgs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace {

// `count` lines that are no packets: empty lines, text without a colon and
// binary bytes without a colon, in turn.
QByteArray JunkLines(int count) {
    QByteArray junk;
    for (int i = 0; i < count; ++i) {
        switch (i % 3) {
        case 0:
            junk.append('\n');
            break;
        case 1:
            junk.append("junk line " + QByteArray::number(i) + " without a colon\n");
            break;
        default:
            junk.append("\x01\x7f\xff\xfe\r\t\x80 ").append('\0').append('\n');
            break;
        }
    }
    return junk;
}

// Answers the save dialog with the name it offers, in `folder`.
std::unique_ptr<COnShow<CKomaSlateServerFileDialog>> SaveInto(const QString& folder, int& shown) {
    return std::make_unique<COnShow<CKomaSlateServerFileDialog>>(
        [folder, &shown](CKomaSlateServerFileDialog* dialog) {
            ++shown;
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->setText(QDir(folder).filePath(QFileInfo(edit->text()).fileName()));
            dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
                ->button(QDialogButtonBox::Save)
                ->click();
        });
}

QStringList LabelTexts(const QWidget* widget) {
    QStringList texts;
    for (const QLabel* label : widget->findChildren<QLabel*>())
        texts.append(label->text());
    return texts;
}

} // namespace

// The two cases that move hundreds of megabytes run the simulator as a
// process of its own, so that the figures are the window's alone.
TEST_F(HostileAppTest, EndlessLineEndsAsASocketFailureWithItsText) {
    const QString store = m_work.filePath(QStringLiteral("endless"));
    PutDrawing(store, QStringLiteral("endless"), Drawing(8, 6, 2));
    auto sim = StartSimulator(Port(), store, {"--once", "--quiet", "--fault", "endless-line"});
    ASSERT_TRUE(WaitUntil([this] { return IsIdleWithRows(); })) << sim->Err().toStdString();
    SelectRawNames({"endless"});
    const qint64 mostReceived = DownloadWatchingReceivedBytes();

    const QString failure =
        Message(IDS_SOCKET_ERROR_TEXT,
                {FormatStringResource(IDS_LINE_TOO_LONG, {qint64(CDeviceLink::MAX_LINE_LENGTH)})});
    EXPECT_EQ(m_boxes.texts, QStringList({failure}));
    EXPECT_EQ(LogAfterInstructions(),
              QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed(), failure.trimmed()}));
    // The line was cut once it passed the limit, not long after.
    EXPECT_GE(mostReceived, CDeviceLink::MAX_LINE_LENGTH / 2);
    EXPECT_LE(mostReceived, CDeviceLink::MAX_LINE_LENGTH + 64 * 1024 * 1024);
    EXPECT_EQ(States(), kAllDisabled);
    EXPECT_TRUE(sim->WaitFinished());
    FinishCase(400);
}

TEST_F(HostileAppTest, ConnectionDroppedInTheMiddleOfTheLargestReply) {
    // The largest drawing the app takes: 1024 x 1024, 20 layers, a reply
    // line of 42 MB of which the simulator sends half.
    const QString store = m_work.filePath(QStringLiteral("largest"));
    PutDrawing(store, QStringLiteral("largest"), Drawing(1024, 1024, 20));
    ASSERT_GT(QFileInfo(QDir(store).filePath(QStringLiteral("largest.ksd"))).size(),
              20 * 1024 * 1024);
    auto sim = StartSimulator(Port(), store, {"--once", "--quiet", "--fault", "drop-mid-reply"});
    ASSERT_TRUE(WaitUntil([this] { return IsIdleWithRows(); }, 60000)) << sim->Err().toStdString();
    SelectRawNames({"largest"});
    int saveDialogs = 0;
    COnShow<CKomaSlateServerFileDialog> saves([&](CKomaSlateServerFileDialog* dialog) {
        ++saveDialogs;
        dialog->reject();
    });
    const qint64 mostReceived = DownloadWatchingReceivedBytes();

    EXPECT_EQ(saveDialogs, 0);
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed(),
                                                   Message(IDS_DISCONNECTED).trimmed()}));
    // The progress window saw the first half come in before the end.
    EXPECT_GT(mostReceived, 0);
    EXPECT_LE(mostReceived, 22 * 1024 * 1024);
    EXPECT_EQ(Window().FileList()->rowCount(), 0);
    EXPECT_EQ(States(), kAllDisabled);
    EXPECT_TRUE(sim->WaitFinished());
    FinishCase(400);
}

TEST_F(HostileAppTest, TenThousandJunkLinesAroundTheRepliesAreDropped) {
    const CKSData drawing = Drawing(8, 6, 2);
    const QByteArray junk = JunkLines(10000);
    CAppScript script;
    script.list = "ok:filename,size,updateDate\rjunk\r200\r2026/01/01";
    script.thumbs["junk"] = ThumbReply(Filled(44, 44, qRgb(200, 0, 0)));
    script.files["junk"] = FileReply(Bytes(drawing));
    StartWatching();
    // Every reply of the list transaction and of the download comes after
    // 10,000 junk lines.
    CScriptedApp& app = ConnectListed([&](CScriptedApp&, const QByteArray& request) -> QByteArray {
        if (request == "GetProtVer:\n")
            return script.Answer(request);
        return junk + script.Answer(request);
    });
    EXPECT_EQ(Names(), QStringList({"junk"}));
    EXPECT_FALSE(Window().FileList()->RowPicture(0).isNull());

    const QString out = m_work.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    int saveDialogs = 0;
    auto saves = SaveInto(out, saveDialogs);
    SelectRawNames({"junk"});
    Window().DownloadButton()->click();
    EXPECT_EQ(saveDialogs, 1);
    const QString expected = m_work.filePath(QStringLiteral("expected.png"));
    ASSERT_TRUE(ExportDocument(m_registry, drawing, expected, false));
    const QByteArray saved = ReadFile(QDir(out).filePath(QStringLiteral("junk.png")));
    EXPECT_FALSE(saved.isEmpty());
    EXPECT_EQ(saved, ReadFile(expected));

    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed()}));
    EXPECT_EQ(app.requests.size(), 4);
    FinishCase(250);
}

TEST_F(HostileAppTest, SlowDripMovesTheCountersAndEscapeCancels) {
    const QByteArray reply = FileReply(Bytes(Drawing(16, 16, 2))) + '\n';
    CAppScript script;
    script.list = "ok:filename,size,updateDate\rdrip\r300\r2026/01/01";
    CDripWriter* drip = nullptr;
    ConnectListed([&](CScriptedApp& self, const QByteArray& request) -> QByteArray {
        if (!request.startsWith("GetFile:"))
            return script.Answer(request);
        drip = new CDripWriter(self.Socket(), reply);
        return {};
    });
    SelectRawNames({"drip"});

    // The received counts the progress window shows, each once; Escape once
    // it has shown ten.
    constexpr int kCountsBeforeEscape = 10;
    QList<qint64> shown;
    bool countsMatchLabels = true;
    QTimer watch;
    watch.callOnTimeout([&] {
        CWaitDlg* dlg = ActiveWaitDlg();
        if (!RunsTransaction<CGetFileTransaction>(dlg) || dlg->HasEnded())
            return;
        const qint64 received = dlg->ReceivedBytes();
        if (!shown.isEmpty() && shown.last() == received)
            return;
        countsMatchLabels &= LabelTexts(dlg).contains(QString::number(received));
        shown.append(received);
        if (shown.size() == kCountsBeforeEscape)
            PressEscape(dlg);
    });
    watch.start(3);
    StartWatching();
    Window().DownloadButton()->click();
    watch.stop();

    ASSERT_TRUE(drip);
    EXPECT_GE(shown.size(), kCountsBeforeEscape);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_TRUE(countsMatchLabels);
    // Cancelled long before the reply was whole.
    EXPECT_LT(drip->Sent(), reply.size() / 2);
    EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(u'|').toStdString();
    EXPECT_EQ(LogAfterInstructions(), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed()}));
    EXPECT_EQ(States(), kConnectedSelected);

    // The rest of the cancelled reply comes just ahead of the next list's
    // reply: it must not pass for the list.
    drip->Flush();
    script.list = "ok:filename\rafter";
    Window().RefreshFileList();
    EXPECT_EQ(Names(), QStringList({"after"}));
    EXPECT_TRUE(m_boxes.texts.isEmpty());
    FinishCase(250);
}
