#include "WindowTestSupport.h"

#include "link/dialogs/WaitDlg.h"
#include "mainwnd/KomaSlateServerDlg.h"
#include "mainwnd/StatusLog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

CScriptedApp::CScriptedApp(quint16 port) {
    QObject::connect(&m_socket, &QTcpSocket::connected, [this] { m_bConnected = true; });
    QObject::connect(&m_socket, &QIODevice::readyRead, [this] { OnReadyRead(); });
    m_socket.connectToHost(QHostAddress::LocalHost, port);
}

void CScriptedApp::OnReadyRead() {
    m_received.append(m_socket.readAll());
    qsizetype end;
    while ((end = m_received.indexOf('\n')) >= 0) {
        const QByteArray line = m_received.left(end + 1);
        m_received.remove(0, end + 1);
        requests.append(line);
        if (answer) {
            const QByteArray reply = answer(*this, line);
            if (!reply.isEmpty())
                m_socket.write(reply);
        }
    }
}

QByteArray CAppScript::Answer(const QByteArray& request) const {
    if (request == "GetProtVer:\n")
        return version + '\n';
    if (request == "GetFileList:\n")
        return list + '\n';
    if (request.startsWith("GetThumb:")) {
        const QByteArray name = request.mid(9, request.size() - 10);
        return thumbs.value(name, "error:3") + '\n';
    }
    return "error:99\n";
}

CMessageBoxAnswerer::CMessageBoxAnswerer() : m_pPrevious(SetMessageSink(&m_sink)) {
    qApp->installEventFilter(this);
}

CMessageBoxAnswerer::~CMessageBoxAnswerer() {
    qApp->removeEventFilter(this);
    SetMessageSink(m_pPrevious);
}

bool CMessageBoxAnswerer::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (box && event->type() == QEvent::Show) {
        texts.append(box->text());
        captions.append(box->windowTitle());
        if (box->buttons().size() != 1 || !box->button(QMessageBox::Ok))
            onlyOkButtons = false;
        if (box->textFormat() != Qt::PlainText)
            onlyPlainText = false;
        if (onShown)
            onShown();
        QMetaObject::invokeMethod(
            box,
            [box] {
                if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
                else
                    box->reject();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

CWaitDlg* ActiveWaitDlg() {
    return qobject_cast<CWaitDlg*>(QApplication::activeModalWidget());
}

void PressEscape(QWidget* widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

QStringList LogLines(const CKomaSlateServerDlg& window) {
    QStringList lines = window.Log()->toPlainText().split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString Shown(const QString& message) {
    return QString(message).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QByteArray PngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray ThumbReply(const QImage& image) {
    return "ok:" + PngBytes(image).toHex();
}

QImage Filled(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}
