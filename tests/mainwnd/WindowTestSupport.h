#pragma once

#include "support/TestSupport.h"
#include "support/WidgetTestSupport.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "link/LocalAddress.h"
#include "link/dialogs/WaitDlg.h"
#include "mainwnd/FileListCtrl.h"
#include "mainwnd/KomaSlateServerDlg.h"
#include "model/KSData.h"
#include "ui/MessageBoxSink.h"

#include <QApplication>
#include <QByteArray>
#include <QByteArrayList>
#include <QImage>
#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

// A scripted app on the loopback address: it records every request line
// and answers each at once with what `answer` returns (nothing for an empty
// result). The answer runs inside the window's modal loops, so it is also
// where a test looks at the window while a transaction runs.
class CScriptedApp {
public:
    explicit CScriptedApp(quint16 port);

    std::function<QByteArray(CScriptedApp& app, const QByteArray& request)> answer;
    // Request lines received, line feeds kept.
    QByteArrayList requests;

    void Send(const QByteArray& bytes) { m_socket.write(bytes); }
    void Close() { m_socket.disconnectFromHost(); }
    bool IsClosed() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    bool WasConnected() const { return m_bConnected; }
    QTcpSocket& Socket() { return m_socket; }

private:
    void OnReadyRead();

    QTcpSocket m_socket;
    QByteArray m_received;
    bool m_bConnected = false;
};

// The usual app: answers the version request with `version`, the list
// request with `list`, each thumbnail and download request with the reply
// stored for its name (an "error:3" reply for unknown names), IsOverwrite
// with `isOverwrite` (by default: the name is free, "ok:0", name, name_2),
// SetFile with `setFile` and DeleteFile with the reply stored for the name
// ("ok:" when none is). Every reply line is ended with a line feed here.
struct CAppScript {
    QByteArray version = "ok:4";
    QByteArray list = "ok:";
    QMap<QByteArray, QByteArray> thumbs;
    QMap<QByteArray, QByteArray> files;
    QByteArray isOverwrite;
    QByteArray setFile = "ok:";
    QMap<QByteArray, QByteArray> deletes;

    QByteArray Answer(const QByteArray& request) const;
};

// The reply to GetFile that carries `document` with its digest.
QByteArray FileReply(const QByteArray& document);

// The transaction window that is running, or null.
CWaitDlg* ActiveWaitDlg();
// Whether `dlg` runs a transaction of type T.
template <typename T> bool RunsTransaction(const CWaitDlg* dlg) {
    return dlg && dynamic_cast<const T*>(&dlg->GetTransaction());
}
// Presses Escape in `widget`.
void PressEscape(QWidget* widget);

// The log's lines, without the empty one after the last line break.
QStringList LogLines(const CKomaSlateServerDlg& window);
// A message as the log and the message boxes show it: line breaks as LF.
QString Shown(const QString& message);

// PNG bytes of `image`, and a thumbnail reply carrying them.
QByteArray PngBytes(const QImage& image);
QByteArray ThumbReply(const QImage& image);
// A drawing of `layers` layers with a different pattern on each, and its
// bytes as a device document.
CKSData Drawing(int width, int height, int layers);
QByteArray Bytes(const CKSData& document);

// A picture of one colour.
QImage Filled(int width, int height, QRgb colour);

// String-table message `id` as the log and the message boxes show it.
inline QString Message(int id, std::initializer_list<CMessageArg> args = {}) {
    return Shown(FormatStringResource(id, args));
}

// Which of list, download, upload, delete and disconnect are enabled.
struct CControlStates {
    bool list, download, upload, remove, disconnect;
    bool operator==(const CControlStates&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const CControlStates& s) {
    return out << "list " << s.list << " download " << s.download << " upload " << s.upload
               << " delete " << s.remove << " disconnect " << s.disconnect;
}

inline constexpr CControlStates kAllDisabled{false, false, false, false, false};
inline constexpr CControlStates kConnected{true, false, true, false, true};
inline constexpr CControlStates kConnectedSelected{true, true, true, true, true};

// The main window on a free loopback port with its own settings file; every
// message box is recorded and answered.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_window = std::make_unique<CKomaSlateServerDlg>(0, m_dir.filePath("settings.ini"));
        m_window->show();
    }

    CKomaSlateServerDlg& Window() { return *m_window; }
    quint16 Port() const { return m_window->Link().Port(); }

    CControlStates States() const {
        return {m_window->FileList()->isEnabled(), m_window->DownloadButton()->isEnabled(),
                m_window->UploadButton()->isEnabled(), m_window->DeleteButton()->isEnabled(),
                m_window->DisconnectButton()->isEnabled()};
    }

    QString Instructions() const {
        return Message(IDS_CONNECT_INSTRUCTIONS, {GetLocalAddress(), int(Port())});
    }

    // Connects an app that answers with `answer` and waits until the window
    // has run every transaction it starts for it.
    using Answer = std::function<QByteArray(CScriptedApp&, const QByteArray&)>;
    std::unique_ptr<CScriptedApp> Connect(Answer answer) {
        auto app = std::make_unique<CScriptedApp>(Port());
        app->answer = std::move(answer);
        const quint64 serialBefore = m_window->Link().ConnectionSerial();
        CScriptedApp* pApp = app.get();
        EXPECT_TRUE(WaitUntil([&] {
            return pApp->WasConnected() && QApplication::activeModalWidget() == nullptr &&
                   (m_window->Link().ConnectionSerial() != serialBefore || pApp->IsClosed()) &&
                   !pApp->requests.isEmpty();
        }));
        return app;
    }
    std::unique_ptr<CScriptedApp> Connect(const CAppScript& script) {
        return Connect(
            [script](CScriptedApp&, const QByteArray& request) { return script.Answer(request); });
    }

    QStringList Names() const {
        QStringList names;
        for (int row = 0; row < m_window->FileList()->rowCount(); ++row)
            names.append(m_window->FileList()->item(row, 0)->text());
        return names;
    }
    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < m_window->FileList()->rowCount(); ++row)
            texts.append(m_window->FileList()->item(row, column)->text());
        return texts;
    }

    QTemporaryDir m_dir;
    CMessageBoxAnswerer m_boxes;
    std::unique_ptr<CKomaSlateServerDlg> m_window;
};
