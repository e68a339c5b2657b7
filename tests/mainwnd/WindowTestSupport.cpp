#include "WindowTestSupport.h"

#include "base/TextRoutines.h"

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
    // The argument of a one-line request: from the colon to the line feed.
    const QByteArray argument = request.mid(request.indexOf(':') + 1).chopped(1);
    if (request.startsWith("GetThumb:"))
        return thumbs.value(argument, "error:3") + '\n';
    if (request.startsWith("GetFile:"))
        return files.value(argument, "error:3") + '\n';
    if (request.startsWith("IsOverwrite:")) {
        if (!isOverwrite.isEmpty())
            return isOverwrite + '\n';
        return "ok:0\r" + argument + '\r' + argument + "_2\n";
    }
    if (request.startsWith("SetFile:"))
        return setFile + '\n';
    if (request.startsWith("DeleteFile:"))
        return deletes.value(argument, "ok:") + '\n';
    return "error:99\n";
}

QByteArray FileReply(const QByteArray& document) {
    return "ok:" + MD5Hex(document) + '\r' + BytesToHex(document);
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

CKSData Drawing(int width, int height, int layers) {
    CKSData document;
    document.Create(width, height);
    for (int i = 1; i < layers; ++i)
        document.m_pLayers->AddNewLayer(width, height, i);
    for (int i = 0; i < layers; ++i) {
        quint8* bits = document.m_pLayers->GetLayer(i)->m_pBits.get();
        for (int p = 0; p < width * height; ++p)
            bits[p] = quint8((p % 7 == i) ? 10 + i : 0);
    }
    return document;
}

QByteArray Bytes(const CKSData& document) {
    QByteArray bytes;
    EXPECT_TRUE(document.SaveToBytes(bytes, nullptr));
    return bytes;
}
