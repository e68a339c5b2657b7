#pragma once

#include "BenchSupport.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QTcpSocket>

#include <chrono>
#include <vector>

// Helpers for the benchmarks that drive the main window: an app on the
// loopback address answering from replies built beforehand, so that what is
// timed or weighed is the window's side, and the figures the convention of
// scripts/bench.sh asks for.

// The app: connects to `port` and answers every request line at once. The
// version request gets "ok:4", the list request `list`, GetThumb and GetFile
// the reply stored for the name ("error:3" for others), IsOverwrite "the name
// is free", SetFile and DeleteFile "ok:". Every reply ends with a line feed.
class CBenchApp : public QObject {
public:
    explicit CBenchApp(quint16 port);

    QByteArray list = "ok:";
    QHash<QByteArray, QByteArray> thumbs;
    QHash<QByteArray, QByteArray> files;

    bool IsConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    // Request lines answered so far.
    qint64 Requests() const { return m_nRequests; }
    void Close() { m_socket.disconnectFromHost(); }
    QTcpSocket& Socket() { return m_socket; }

private:
    void OnReadyRead();
    QByteArray Answer(QByteArrayView request) const;

    QTcpSocket m_socket;
    QByteArray m_received;
    qint64 m_nRequests = 0;
};

// The list reply for drawings named by `names`, with the columns filename,
// size and updateDate.
QByteArray ListReply(const std::vector<QByteArray>& names, qint64 nSize);
// A thumbnail reply: `picture` as PNG bytes in hexadecimal after "ok:".
QByteArray ThumbReply(const QImage& picture);
// An 88 x 88 picture of coloured blocks that differs with `seed`, like a
// thumbnail of a pixel drawing.
QImage BlockPicture(int side, quint32 seed);

// The resident size of this process in MB (10^6 bytes), from /proc; -1 when
// it cannot be read.
double ResidentMB();
