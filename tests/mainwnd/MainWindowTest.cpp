#include "WindowTestSupport.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "link/LocalAddress.h"
#include "link/SocketError.h"
#include "link/dialogs/AnimateCtrl.h"
#include "link/dialogs/CommandDlgs.h"
#include "mainwnd/AboutDlg.h"
#include "mainwnd/FileListCtrl.h"
#include "mainwnd/KomaSlateServerDlg.h"
#include "mainwnd/StatusLog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

namespace {

// The shown text of the labels of `dialog`.
QStringList LabelTexts(const QWidget* dialog) {
    QStringList texts;
    for (const QLabel* label : dialog->findChildren<QLabel*>())
        texts.append(label->text());
    return texts;
}

// Checks what a user needs of a fixed layout: every shown control of
// `window` lies inside it, overlaps no other, and has room for its whole
// text in its own font (the mnemonic marker '&' is not drawn).
void ExpectReadableLayout(const QWidget& window) {
    QList<const QWidget*> controls;
    for (const QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisible() && !child->isWindow())
            controls.append(child);
    }
    ASSERT_GE(controls.size(), 2);
    const auto name = [](const QWidget* control) {
        QString text;
        if (const auto* label = qobject_cast<const QLabel*>(control))
            text = label->text();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(control))
            text = button->text();
        return text.remove(u'&');
    };
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QWidget* control = controls[i];
        const QString text = name(control);
        const std::string what =
            std::string(control->metaObject()->className()) + " \"" + text.toStdString() + "\"";
        EXPECT_TRUE(window.rect().contains(control->geometry())) << what;
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            EXPECT_FALSE(control->geometry().intersects(controls[j]->geometry()))
                << what << " and " << controls[j]->metaObject()->className() << " \""
                << name(controls[j]).toStdString() << "\"";
        }
        if (!text.isEmpty())
            EXPECT_LE(control->fontMetrics().horizontalAdvance(text), control->width()) << what;
    }
}

} // namespace

TEST_F(MainWindowTest, StartsListeningWithInstructionsAndEverythingDisabled) {
    EXPECT_EQ(Window().windowTitle(), QStringLiteral("KomaSlate Utility Version 1.04"));
    EXPECT_TRUE(Window().Link().IsListening());
    EXPECT_NE(Port(), 0);
    EXPECT_EQ(Window().Log()->toPlainText(), Instructions());
    EXPECT_TRUE(Instructions().contains(QStringLiteral(u"ポート: %1\n").arg(Port())));
    EXPECT_EQ(States(), kAllDisabled);
    EXPECT_FALSE(Window().windowIcon().isNull());
    EXPECT_EQ(Window().SettingsPath(), m_dir.filePath("settings.ini"));
    EXPECT_EQ(Window().DownloadButton()->text(), QStringLiteral(u"ダウンロード(&O)..."));
    EXPECT_EQ(Window().UploadButton()->text(), QStringLiteral(u"アップロード(&U)..."));
    EXPECT_EQ(Window().DeleteButton()->text(), QStringLiteral(u"削除(&D)"));
    EXPECT_EQ(Window().DisconnectButton()->text(), QStringLiteral(u"切断(&C)"));
}

TEST_F(MainWindowTest, FixedSizeWindowShowsEveryControlWholeAndReadable) {
    EXPECT_EQ(Window().minimumSize(), Window().size());
    EXPECT_EQ(Window().maximumSize(), Window().size());
    ExpectReadableLayout(Window());
    // The commands stand to the right of the list, the log above it.
    const QRect list = Window().FileList()->geometry();
    EXPECT_LT(Window().Log()->geometry().bottom(), list.top());
    for (const QPushButton* button : {Window().DownloadButton(), Window().UploadButton(),
                                      Window().DeleteButton(), Window().DisconnectButton()})
        EXPECT_GT(button->geometry().left(), list.right()) << button->text().toStdString();
}

TEST(MainWindowStart, PortInUseLogsTheErrorCode) {
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::AnyIPv4, 0));
    QTemporaryDir dir;
    CKomaSlateServerDlg window(blocker.serverPort(), dir.filePath("settings.ini"));
    EXPECT_FALSE(window.Link().IsListening());
    EXPECT_EQ(window.Log()->toPlainText(),
              QStringLiteral(u"ソケットエラーが発生しました: エラーコード %1\n").arg(EADDRINUSE));
    EXPECT_FALSE(window.FileList()->isEnabled());
    EXPECT_FALSE(window.UploadButton()->isEnabled());
    EXPECT_FALSE(window.DisconnectButton()->isEnabled());
}

TEST_F(MainWindowTest, ConnectionChecksVersionThenListsEveryDocumentWithItsThumbnail) {
    const QByteArray rawName("\xE3\x81\x82\xFF", 4); // "あ" and a byte that is no UTF-8
    CAppScript script;
    script.list = "ok:filename,size,updateDate"
                  "\ra\r2048\r2024/01/02 03:04:05"
                  "\rb,c\r1\rD2"
                  "\r" +
                  rawName +
                  "\r1025\rD3"
                  "\rbig\r0\rD4"
                  "\rodd\r\rD5"
                  "\rempty\r5000000000\rD6"
                  "\rtall\r10240\rD7"
                  "\rbroken\r1024\rD8";
    QImage square(44, 44, QImage::Format_RGB32);
    for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 44; ++x)
            square.setPixel(x, y, qRgb(x * 5, y * 5, 100));
    script.thumbs["a"] = ThumbReply(square);
    script.thumbs["b,c"] = ThumbReply(Filled(100, 50, qRgb(200, 0, 0)));
    script.thumbs[rawName] = "error:3";
    script.thumbs["big"] = ThumbReply(Filled(5000, 2, qRgb(0, 200, 0)));
    script.thumbs["odd"] = "ok:abc";
    script.thumbs["empty"] = "ok:";
    script.thumbs["tall"] = ThumbReply(Filled(320, 480, qRgb(0, 0, 200)));
    script.thumbs["broken"] = "ok:" + PngBytes(square).left(40).toHex();

    CControlStates duringCheck{}, duringList{};
    QString checkText, listText, checkTitle;
    bool animating = false;
    auto app = Connect([&](CScriptedApp&, const QByteArray& request) {
        if (request == "GetProtVer:\n") {
            duringCheck = States();
            CWaitDlg* dlg = ActiveWaitDlg();
            EXPECT_TRUE(RunsTransaction<CGetProtVerTransaction>(dlg));
            if (dlg) {
                checkTitle = dlg->windowTitle();
                checkText = LabelTexts(dlg).join(u'|');
                animating = dlg->Animation()->IsPlaying();
            }
        } else if (request == "GetFileList:\n") {
            duringList = States();
            CWaitDlg* dlg = ActiveWaitDlg();
            EXPECT_TRUE(RunsTransaction<CGetFileListTransaction>(dlg));
            if (dlg)
                listText = LabelTexts(dlg).join(u'|');
        }
        return script.Answer(request);
    });

    EXPECT_EQ(app->requests,
              QByteArrayList({"GetProtVer:\n", "GetFileList:\n", "GetThumb:a\n", "GetThumb:b,c\n",
                              "GetThumb:" + rawName + "\n", "GetThumb:big\n", "GetThumb:odd\n",
                              "GetThumb:empty\n", "GetThumb:tall\n", "GetThumb:broken\n"}));
    EXPECT_EQ(duringCheck, kConnected);
    EXPECT_EQ(duringList, kConnected);
    EXPECT_EQ(checkTitle, QStringLiteral(u"処理中..."));
    EXPECT_TRUE(checkText.contains(QStringLiteral(u"バージョンを確認しています。")));
    EXPECT_TRUE(checkText.contains(QStringLiteral(u"送信データ: ")));
    EXPECT_TRUE(listText.contains(QStringLiteral(u"ファイルの一覧を取得しています。")));
    EXPECT_TRUE(animating);
    EXPECT_TRUE(m_boxes.texts.isEmpty());
    EXPECT_EQ(Window().ProtocolVersion(), 4);
    EXPECT_EQ(Window().Log()->toPlainText(), Instructions() + Message(IDS_CONNECTION_ACCEPTED));

    CFileListCtrl& list = *Window().FileList();
    ASSERT_EQ(list.rowCount(), 8);
    EXPECT_EQ(Names(), QStringList({"a", "b,c", QString::fromUtf8(rawName), "big", "odd", "empty",
                                    "tall", "broken"}));
    EXPECT_EQ(list.RowRawName(2), rawName);
    EXPECT_EQ(Column(1),
              QStringList({"2 KB", "1 KB", "2 KB", "0 KB", "", "4882813 KB", "10 KB", "1 KB"}));
    EXPECT_EQ(Column(2),
              QStringList({"2024/01/02 03:04:05", "D2", "D3", "D4", "D5", "D6", "D7", "D8"}));

    // Pictures: the square one as sent, the others fitted on white; none for
    // an error reply, a picture above 4096 pixels, odd or empty hexadecimal
    // or a PNG that ends early.
    const QImage first = list.RowPicture(0);
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.pixel(13, 31) & 0xFFFFFF, square.pixel(13, 31) & 0xFFFFFF);
    const QImage wide = list.RowPicture(1);
    ASSERT_FALSE(wide.isNull());
    EXPECT_EQ(wide.pixel(20, 10) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(wide.pixel(20, 11) & 0xFFFFFF, 0xC80000u);
    EXPECT_EQ(wide.pixel(20, 33) & 0xFFFFFF, 0xFFFFFFu);
    for (int row : {2, 3, 4, 5, 7})
        EXPECT_TRUE(list.RowPicture(row).isNull()) << row;
    const QImage tall = list.RowPicture(6);
    EXPECT_EQ(tall.pixel(6, 20) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(tall.pixel(7, 20) & 0xFFFFFF, 0x0000C8u);
    EXPECT_EQ(tall.pixel(36, 20) & 0xFFFFFF, 0xFFFFFFu);

    // Idle: commands follow the selection.
    EXPECT_EQ(States(), kConnected);
    list.selectRow(1);
    EXPECT_EQ(States(), kConnectedSelected);
    list.clearSelection();
    EXPECT_EQ(States(), kConnected);

    // Disconnect: logged, list emptied, everything disabled, the app let go.
    list.selectRow(0);
    Window().DisconnectButton()->click();
    EXPECT_EQ(LogLines(Window()).last(), QStringLiteral(u"切断しました。"));
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(States(), kAllDisabled);
    EXPECT_TRUE(WaitUntil([&] { return app->IsClosed(); }));

    // A new connection afterwards is served normally.
    auto again = Connect(script);
    EXPECT_EQ(again->requests.size(), 10);
    EXPECT_EQ(list.rowCount(), 8);
}

TEST_F(MainWindowTest, ProgressCountersGrowOverTheRequestsOfOneWindow) {
    CAppScript script;
    script.list = "ok:filename\rx\ry\rz";
    script.thumbs["x"] = "error:1";
    script.thumbs["y"] = ThumbReply(Filled(10, 10, qRgb(1, 1, 1)));
    struct CSeen {
        qint64 sent, received;
        bool labelsMatch;
    };
    QList<CSeen> seen;
    QByteArrayList replies;
    auto app = Connect([&](CScriptedApp&, const QByteArray& request) {
        CWaitDlg* dlg = ActiveWaitDlg();
        EXPECT_TRUE(dlg);
        if (dlg) {
            const QStringList labels = LabelTexts(dlg);
            seen.append({dlg->SentBytes(), dlg->ReceivedBytes(),
                         labels.contains(QString::number(dlg->SentBytes())) &&
                             labels.contains(QString::number(dlg->ReceivedBytes()))});
        }
        replies.append(script.Answer(request));
        return replies.last();
    });
    ASSERT_EQ(app->requests.size(), 5);
    ASSERT_EQ(seen.size(), 5);
    for (const CSeen& s : seen)
        EXPECT_TRUE(s.labelsMatch);
    // The version window counts its own request only.
    EXPECT_EQ(seen[0].sent, app->requests[0].size());
    EXPECT_EQ(seen[0].received, 0);
    // The list window starts from 0 and adds every request and reply.
    qint64 sent = 0;
    qint64 received = 0;
    for (int i = 1; i < 5; ++i) {
        sent += app->requests[i].size();
        EXPECT_EQ(seen[i].sent, sent) << i;
        EXPECT_EQ(seen[i].received, received) << i;
        received += replies[i].size();
    }
}

TEST_F(MainWindowTest, SecondConnectionIsClosedAtOnceWithoutALogLine) {
    CAppScript script;
    script.list = "ok:filename\rx";
    std::unique_ptr<CScriptedApp> second;
    auto app = Connect([&](CScriptedApp& self, const QByteArray& request) -> QByteArray {
        if (request != "GetProtVer:\n")
            return script.Answer(request);
        // A second app knocks while the version check waits; the first
        // answers once the second has been turned away.
        second = std::make_unique<CScriptedApp>(Port());
        QObject::connect(&second->Socket(), &QTcpSocket::disconnected,
                         [&self] { self.Send("ok:4\n"); });
        return {};
    });
    ASSERT_TRUE(WaitUntil([&] { return Window().FileList()->rowCount() == 1; }));
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->WasConnected());
    EXPECT_TRUE(second->requests.isEmpty());
    EXPECT_EQ(Window().Log()->toPlainText(), Instructions() + Message(IDS_CONNECTION_ACCEPTED));

    // And while idle.
    const quint64 serial = Window().Link().ConnectionSerial();
    CScriptedApp third(Port());
    ASSERT_TRUE(WaitUntil([&] { return third.WasConnected() && third.IsClosed(); }));
    EXPECT_TRUE(third.requests.isEmpty());
    EXPECT_EQ(Window().Link().ConnectionSerial(), serial);
    EXPECT_EQ(Window().FileList()->rowCount(), 1);
    EXPECT_EQ(States(), kConnected);
    EXPECT_EQ(Window().Log()->toPlainText(), Instructions() + Message(IDS_CONNECTION_ACCEPTED));
    EXPECT_FALSE(app->IsClosed());
}

TEST_F(MainWindowTest, RefusedOrFailedVersionChecksDisconnect) {
    const struct {
        const char* reply;
        QString message;
    } cases[] = {
        {"ok:5", Message(IDS_VERSION_TOO_NEW)},    {"ok:99999999999", Message(IDS_VERSION_TOO_NEW)},
        {"OK:4", Message(IDS_UNKNOWN_PACKET)},     {"error:3", Message(IDS_FILE_NOT_FOUND)},
        {"error:", Message(IDS_ERROR_REPLY, {0})}, {"error:7", Message(IDS_ERROR_REPLY, {7})},
    };
    QString expectedLog = Instructions();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        m_boxes.texts.clear();
        CAppScript script;
        script.version = c.reply;
        auto app = Connect(script);
        EXPECT_EQ(app->requests, QByteArrayList({"GetProtVer:\n"}));
        EXPECT_EQ(m_boxes.texts, QStringList({c.message}));
        expectedLog += Message(IDS_CONNECTION_ACCEPTED) + Message(IDS_DISCONNECTED);
        EXPECT_EQ(Window().Log()->toPlainText(), expectedLog);
        EXPECT_TRUE(WaitUntil([&] { return app->IsClosed(); }));
        EXPECT_EQ(States(), kAllDisabled);
    }
    EXPECT_EQ(m_boxes.captions.size(), 6);
    EXPECT_EQ(m_boxes.captions.filter(QStringLiteral("KomaSlate Utility")).size(), 6);
    EXPECT_TRUE(m_boxes.onlyOkButtons);
    EXPECT_TRUE(m_boxes.onlyPlainText);
}

TEST_F(MainWindowTest, VersionsUpToFourAreAccepted) {
    for (const auto& [reply, version] : {std::pair{"ok:4", 4}, std::pair{"ok:abc", 0},
                                         std::pair{"ok:-3", -3}, std::pair{"ok:1", 1}}) {
        SCOPED_TRACE(reply);
        CAppScript script;
        script.version = reply;
        auto app = Connect(script);
        EXPECT_EQ(app->requests, QByteArrayList({"GetProtVer:\n", "GetFileList:\n"}));
        EXPECT_EQ(Window().ProtocolVersion(), version);
        EXPECT_TRUE(m_boxes.texts.isEmpty());
        Window().Disconnect();
    }
}

TEST_F(MainWindowTest, PeerCloseDuringTheVersionCheckLogsDisconnectTwice) {
    auto app = Connect([&](CScriptedApp& self, const QByteArray&) -> QByteArray {
        EXPECT_TRUE(RunsTransaction<CGetProtVerTransaction>(ActiveWaitDlg()));
        QMetaObject::invokeMethod(
            &Window(), [&self] { self.Close(); }, Qt::QueuedConnection);
        return {};
    });
    ASSERT_TRUE(WaitUntil([&] { return app->IsClosed(); }));
    EXPECT_EQ(Window().Log()->toPlainText(), Instructions() + Message(IDS_CONNECTION_ACCEPTED) +
                                                 Message(IDS_DISCONNECTED) +
                                                 Message(IDS_DISCONNECTED));
    EXPECT_EQ(States(), kAllDisabled);
    EXPECT_TRUE(m_boxes.texts.isEmpty());
}

TEST_F(MainWindowTest, SocketFailureDuringTheVersionCheckLogsTheFailureThenDisconnect) {
    const QString errorText = ErrnoText(ECONNRESET);
    auto app = Connect([&](CScriptedApp&, const QByteArray&) -> QByteArray {
        // What the link does on a failed socket call: close the connection,
        // end its transaction, then report.
        CDeviceLink& link = Window().Link();
        const quint64 serial = link.ConnectionSerial();
        link.Disconnect();
        emit link.SocketFailed(serial, ECONNRESET, errorText);
        return {};
    });
    const QString failure = Message(IDS_SOCKET_ERROR_TEXT, {errorText});
    EXPECT_EQ(Window().Log()->toPlainText(), Instructions() + Message(IDS_CONNECTION_ACCEPTED) +
                                                 failure + Message(IDS_DISCONNECTED));
    EXPECT_EQ(m_boxes.texts, QStringList({failure}));
    EXPECT_EQ(States(), kAllDisabled);
    EXPECT_TRUE(WaitUntil([&] { return app->IsClosed(); }));
}

TEST_F(MainWindowTest, LosingTheConnectionWhileListing) {
    // A peer close empties the list and is logged once.
    CAppScript script;
    script.list = "ok:filename\ra\rb\rc";
    auto closing = Connect([&](CScriptedApp& self, const QByteArray& request) -> QByteArray {
        if (request == "GetThumb:b\n") {
            EXPECT_EQ(Window().FileList()->rowCount(), 1);
            QMetaObject::invokeMethod(
                &Window(), [&self] { self.Close(); }, Qt::QueuedConnection);
            return {};
        }
        return script.Answer(request);
    });
    ASSERT_TRUE(WaitUntil([&] { return closing->IsClosed(); }));
    EXPECT_EQ(LogLines(Window()).mid(3), QStringList({QStringLiteral(u"接続を受け付けました。"),
                                                      QStringLiteral(u"切断しました。")}));
    EXPECT_EQ(Window().FileList()->rowCount(), 0);

    // A socket failure keeps the rows so far, disabled with the list.
    const QString errorText = ErrnoText(EPIPE);
    auto failing = Connect([&](CScriptedApp&, const QByteArray& request) -> QByteArray {
        if (request == "GetThumb:b\n") {
            CDeviceLink& link = Window().Link();
            const quint64 serial = link.ConnectionSerial();
            link.Disconnect();
            emit link.SocketFailed(serial, EPIPE, errorText);
            return {};
        }
        return script.Answer(request);
    });
    EXPECT_EQ(LogLines(Window()).mid(5),
              QStringList({QStringLiteral(u"接続を受け付けました。"),
                           Message(IDS_SOCKET_ERROR_TEXT, {errorText}).trimmed()}));
    EXPECT_EQ(Names(), QStringList({"a"}));
    EXPECT_EQ(States(), kAllDisabled);
}

TEST_F(MainWindowTest, RepliesAfterAMessageBoxAreNotStranded) {
    // The first app's error reply is shown in a box; the app that connects
    // next is served at once, reply after reply.
    CAppScript refused;
    refused.version = "error:7";
    auto first = Connect(refused);
    ASSERT_EQ(m_boxes.texts.size(), 1);

    CAppScript script;
    script.list = "ok:filename,size\rp\r1\rq\r2";
    int boxesWhileListing = 0;
    auto second = Connect([&](CScriptedApp&, const QByteArray& request) {
        boxesWhileListing += int(m_boxes.texts.size()) - 1;
        return script.Answer(request);
    });
    EXPECT_EQ(second->requests.size(), 4);
    EXPECT_EQ(Names(), QStringList({"p", "q"}));
    EXPECT_EQ(boxesWhileListing, 0);

    // A message box shown while the list window waits does not hold up the
    // reply that arrives meanwhile.
    bool boxShown = false;
    auto& app = *second;
    app.answer = [&](CScriptedApp&, const QByteArray& request) -> QByteArray {
        if (request == "GetFileList:\n") {
            QMetaObject::invokeMethod(
                &Window(),
                [&] {
                    // The reply comes while the box is open.
                    m_boxes.onShown = [&] {
                        boxShown = true;
                        app.Send(script.Answer("GetFileList:\n"));
                    };
                    ShowMessage(QStringLiteral("note"));
                },
                Qt::QueuedConnection);
            return {};
        }
        return script.Answer(request);
    };
    Window().RefreshFileList();
    EXPECT_TRUE(boxShown);
    EXPECT_EQ(Names(), QStringList({"p", "q"}));
}

TEST_F(MainWindowTest, EscapeEndsTheTransactionAndItsLateReplyIsDropped) {
    CAppScript script;
    script.list = "ok:filename\ra\rb\rc";
    bool escaped = false;
    auto app = Connect([&](CScriptedApp&, const QByteArray& request) -> QByteArray {
        if (request == "GetThumb:b\n" && !escaped) {
            escaped = true;
            CWaitDlg* dlg = ActiveWaitDlg();
            EXPECT_TRUE(dlg);
            QMetaObject::invokeMethod(
                dlg, [dlg] { PressEscape(dlg); }, Qt::QueuedConnection);
            return {};
        }
        return script.Answer(request);
    });
    ASSERT_TRUE(escaped);
    EXPECT_EQ(Names(), QStringList({"a"}));
    EXPECT_EQ(States(), kConnected);

    // The owed thumbnail reply comes just before the next list reply: it
    // must not pass for the list.
    script.list = "ok:filename\rnew";
    app->answer = [&](CScriptedApp&, const QByteArray& request) -> QByteArray {
        if (request == "GetFileList:\n")
            return script.Answer("GetThumb:b\n") + script.Answer(request);
        return script.Answer(request);
    };
    Window().RefreshFileList();
    EXPECT_EQ(app->requests.mid(4), QByteArrayList({"GetFileList:\n", "GetThumb:new\n"}));
    EXPECT_EQ(Names(), QStringList({"new"}));
}

TEST_F(MainWindowTest, EscapeDuringTheVersionCheckDisconnects) {
    auto app = Connect([&](CScriptedApp&, const QByteArray&) -> QByteArray {
        CWaitDlg* dlg = ActiveWaitDlg();
        EXPECT_TRUE(dlg);
        QMetaObject::invokeMethod(
            dlg, [dlg] { PressEscape(dlg); }, Qt::QueuedConnection);
        return {};
    });
    EXPECT_EQ(LogLines(Window()).mid(3), QStringList({QStringLiteral(u"接続を受け付けました。"),
                                                      QStringLiteral(u"切断しました。")}));
    EXPECT_TRUE(WaitUntil([&] { return app->IsClosed(); }));
}

TEST_F(MainWindowTest, TransactionWithoutConnectionEndsAtOnce) {
    CGetProtVerDlg versionDlg(&Window(), Window().Link());
    EXPECT_EQ(versionDlg.exec(), CWaitDlg::kFailed);
    Window().RefreshFileList();
    EXPECT_EQ(Window().FileList()->rowCount(), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowTest, ListReplyNameIsNotExamined) {
    // The list is parsed whatever the reply's name; the thumbnails are asked
    // for in list order and every document gets its row.
    CAppScript script;
    script.list = "error:filename,size\ra\r2048\rb";
    auto app = Connect(script);
    EXPECT_EQ(app->requests,
              QByteArrayList({"GetProtVer:\n", "GetFileList:\n", "GetThumb:a\n", "GetThumb:b\n"}));
    EXPECT_EQ(Names(), QStringList({"a", "b"}));
    EXPECT_EQ(Column(1), QStringList({"2 KB", ""}));
    EXPECT_EQ(States(), kConnected);
    EXPECT_TRUE(m_boxes.texts.isEmpty());
}

TEST_F(MainWindowTest, ContextMenuOpensTheAboutBox) {
    QString title, copyright, caption;
    COnShow<QMenu> chooseAbout([&](QMenu* menu) {
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral(u"バージョン情報(&A)..."));
        menu->setActiveAction(menu->actions()[0]);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(menu, &enter);
    });
    COnShow<CAboutDlg> readAbout([&](CAboutDlg* about) {
        title = about->TitleLine();
        copyright = about->CopyrightLine();
        caption = about->windowTitle();
        ExpectReadableLayout(*about);
        about->accept();
    });
    const QPoint background(Window().width() - 5, Window().height() - 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, background, Window().mapToGlobal(background));
    QApplication::sendEvent(&Window(), &event);
    EXPECT_EQ(title, QStringLiteral("KomaSlate Utility Version 1.04"));
    EXPECT_EQ(caption, QStringLiteral(u"バージョン情報"));
    EXPECT_FALSE(copyright.isEmpty());
}

TEST_F(MainWindowTest, EscapeEndsTheWindow) {
    ASSERT_TRUE(Window().isVisible());
    PressEscape(&Window());
    EXPECT_FALSE(Window().isVisible());
}
