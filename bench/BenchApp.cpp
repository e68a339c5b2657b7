#include "BenchApp.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>

CBenchApp::CBenchApp(quint16 port) {
    // Replies go out at once: the app answers every request by itself.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(&m_socket, &QIODevice::readyRead, this, &CBenchApp::OnReadyRead);
    m_socket.connectToHost(QHostAddress::LocalHost, port);
}

void CBenchApp::OnReadyRead() {
    m_received.append(m_socket.readAll());
    qsizetype start = 0;
    qsizetype end;
    while ((end = m_received.indexOf('\n', start)) >= 0) {
        m_socket.write(Answer(QByteArrayView(m_received).sliced(start, end - start)));
        ++m_nRequests;
        start = end + 1;
    }
    m_received.remove(0, start);
}

QByteArray CBenchApp::Answer(QByteArrayView request) const {
    const qsizetype colon = request.indexOf(':');
    const QByteArrayView command = request.first(std::max<qsizetype>(colon, 0));
    const QByteArray argument = request.sliced(colon + 1).toByteArray();
    if (command == "GetProtVer")
        return "ok:4\n";
    if (command == "GetFileList")
        return list + '\n';
    if (command == "GetThumb")
        return thumbs.value(argument, "error:3") + '\n';
    if (command == "GetFile")
        return files.value(argument, "error:3") + '\n';
    if (command == "IsOverwrite")
        return "ok:0\r" + argument + '\r' + argument + "_2\n";
    if (command == "SetFile" || command == "DeleteFile")
        return "ok:\n";
    return "error:99\n";
}

QByteArray ListReply(const std::vector<QByteArray>& names, qint64 nSize) {
    QByteArray list = "ok:filename,size,updateDate";
    for (const QByteArray& name : names)
        list += '\r' + name + '\r' + QByteArray::number(nSize) + "\r2026-12-09 10:00:00";
    return list;
}

QByteArray ThumbReply(const QImage& picture) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return "ok:" + png.toHex();
}

QImage BlockPicture(int side, quint32 seed) {
    QImage picture(side, side, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    constexpr int kBlock = 8;
    for (int y = 0; y < side; y += kBlock) {
        for (int x = 0; x < side; x += kBlock) {
            const QColor colour =
                QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256));
            for (int dy = y; dy < std::min(side, y + kBlock); ++dy)
                for (int dx = x; dx < std::min(side, x + kBlock); ++dx)
                    picture.setPixelColor(dx, dy, colour);
        }
    }
    return picture;
}

double ResidentMB() {
    const qint64 nKiB = ResidentKb();
    return nKiB < 0 ? -1 : double(nKiB) * 1024 / 1e6;
}
