#pragma once

#include "support/TestSupport.h"

#include "ui/MessageBoxSink.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QImage>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTcpSocket>

#include <functional>

class CKomaSlateServerDlg;
class CWaitDlg;

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
// request with `list` and each thumbnail request with the reply stored for
// its name (an "error:3" reply for unknown names). Every reply line is
// ended with a line feed here.
struct CAppScript {
    QByteArray version = "ok:4";
    QByteArray list = "ok:";
    QMap<QByteArray, QByteArray> thumbs;

    QByteArray Answer(const QByteArray& request) const;
};

// Shows every message of the program in a real message box, records its
// caption and text and presses its OK button from the event loop.
class CMessageBoxAnswerer : public QObject {
public:
    CMessageBoxAnswerer();
    ~CMessageBoxAnswerer() override;

    QStringList texts;
    QStringList captions;
    // Whether every box offered exactly one button, OK, and showed its text
    // as plain text.
    bool onlyOkButtons = true;
    bool onlyPlainText = true;
    // Runs when a box is shown, before it is answered.
    std::function<void()> onShown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CMessageBoxSink m_sink;
    IMessageSink* m_pPrevious;
};

// The transaction window that is running, or null.
CWaitDlg* ActiveWaitDlg();
// Presses Escape in `widget`.
void PressEscape(QWidget* widget);

// The log's lines, without the empty one after the last line break.
QStringList LogLines(const CKomaSlateServerDlg& window);
// A message as the log and the message boxes show it: line breaks as LF.
QString Shown(const QString& message);

// PNG bytes of `image`, and a thumbnail reply carrying them.
QByteArray PngBytes(const QImage& image);
QByteArray ThumbReply(const QImage& image);
// A picture of one colour.
QImage Filled(int width, int height, QRgb colour);
