#include "sim/FaultStrategy.h"

#include "base/TextRoutines.h"
#include "sim/RequestHandler.h"

#include <QAbstractSocket>
#include <QPointer>
#include <QTimer>
#include <QtEndian>

#include <zlib.h>

#include <functional>

void CFaultStrategy::Write(IReplyChannel& channel, const QByteArray& bytes, const CReply& reply) {
    (void)reply;
    channel.Send(bytes);
}

namespace {

bool IsOkReplyTo(const CReply& reply, const char* command) {
    return reply.m_command == command && reply.IsOk();
}

// GetFile answers with a digest that cannot match: every digit of the right
// one replaced by its complement (0 by f, 1 by e, ...), still 32 lower-case
// hexadecimal digits.
class CBadDigest : public CFaultStrategy {
public:
    void TransformReply(CReply& reply) override {
        if (!IsOkReplyTo(reply, "GetFile"))
            return;
        static constexpr char kDigits[] = "0123456789abcdef";
        char* digest = reply.m_line.data() + 3; // after "ok:"
        for (int i = 0; i < 32; ++i)
            digest[i] = kDigits[15 - QByteArrayView(kDigits).indexOf(digest[i])];
        reply.m_summary += QStringLiteral(" [digest altered]");
    }
};

// Every reply comes after a line without a colon and an empty line.
class CJunkLines : public CFaultStrategy {
public:
    QByteArray BeforeReply(const CReply&) override { return "this line has no colon\n\n"; }
};

// GetFile sends the first half of its reply, then closes the connection.
class CDropMidReply : public CFaultStrategy {
public:
    void TransformReply(CReply& reply) override {
        if (reply.m_command == "GetFile") {
            reply.m_summary +=
                QStringLiteral(" [closing after %1 bytes]").arg(reply.m_line.size() / 2);
        }
    }
    void Write(IReplyChannel& channel, const QByteArray& bytes, const CReply& reply) override {
        if (reply.m_command != "GetFile") {
            channel.Send(bytes);
            return;
        }
        channel.Send(bytes.left(bytes.size() - reply.m_line.size() / 2));
        channel.Close();
    }
};

// GetFile answers "ok:" and then hexadecimal digits without end, written a
// chunk at a time whenever the connection has taken most of what was queued,
// until the utility closes the connection.
class CEndlessLine : public CFaultStrategy {
public:
    void TransformReply(CReply& reply) override {
        if (reply.m_command == "GetFile")
            reply.m_summary = QStringLiteral("ok... [a line without end]");
    }
    void Write(IReplyChannel& channel, const QByteArray& bytes, const CReply& reply) override {
        if (reply.m_command != "GetFile") {
            channel.Send(bytes);
            return;
        }
        static const QByteArray chunk = QByteArray("0123456789abcdef").repeated(kChunkBytes / 16);
        QAbstractSocket& socket = channel.Socket();
        const auto topUp = [&socket] {
            while (socket.state() == QAbstractSocket::ConnectedState &&
                   socket.bytesToWrite() < kLowWater)
                socket.write(chunk);
        };
        channel.Send(bytes.left(bytes.size() - reply.m_line.size()) + "ok:");
        QObject::connect(&socket, &QAbstractSocket::bytesWritten, &socket, topUp);
        topUp();
    }

private:
    static constexpr qsizetype kChunkBytes = 256 * 1024;
    static constexpr qint64 kLowWater = 1024 * 1024;
};

// GetThumb answers its PNG image with a header that claims 100000 × 100000
// pixels, its checksum made right, so that only the size gives it away.
class CHugeThumbHeader : public CFaultStrategy {
public:
    void TransformReply(CReply& reply) override {
        if (!IsOkReplyTo(reply, "GetThumb"))
            return;
        QByteArray png;
        // "ok:" + hexadecimal PNG + LF; the handler wrote it, so it decodes.
        StrictHexToBytes(QByteArrayView(reply.m_line).sliced(3, reply.m_line.size() - 4), png);
        // Signature (8), IHDR length and type (8), width and height (8).
        constexpr qsizetype kWidthAt = 16;
        constexpr qsizetype kCrcAt = kWidthAt + 13;
        if (png.size() < kCrcAt + 4)
            return;
        uchar* bytes = reinterpret_cast<uchar*>(png.data());
        qToBigEndian<quint32>(kClaimedSize, bytes + kWidthAt);
        qToBigEndian<quint32>(kClaimedSize, bytes + kWidthAt + 4);
        // The CRC covers the chunk type and data.
        qToBigEndian<quint32>(quint32(crc32(0, bytes + 12, 4 + 13)), bytes + kCrcAt);
        reply.m_line = "ok:" + BytesToHex(png) + '\n';
        reply.m_summary += QStringLiteral(" [header claims %1x%1]").arg(kClaimedSize);
    }

private:
    static constexpr quint32 kClaimedSize = 100000;
};

// A timer that sends queued bytes one at a time; a child of the socket, so
// it ends with the connection.
class CDripper : public QObject {
public:
    explicit CDripper(QAbstractSocket& socket) : QObject(&socket), m_socket(socket) {
        m_timer.setInterval(kDripIntervalMs);
        connect(&m_timer, &QTimer::timeout, this, [this] { SendOne(); });
    }
    void Queue(const QByteArray& bytes) {
        m_pending.append(bytes);
        if (!m_timer.isActive())
            m_timer.start();
    }

private:
    void SendOne() {
        if (m_nNext >= m_pending.size()) {
            m_timer.stop();
            m_pending.clear();
            m_nNext = 0;
            return;
        }
        m_socket.write(m_pending.constData() + m_nNext++, 1);
    }

    QAbstractSocket& m_socket;
    QTimer m_timer;
    QByteArray m_pending;
    qsizetype m_nNext = 0;
};

// Every reply goes out one byte every few milliseconds.
class CSlowDrip : public CFaultStrategy {
public:
    void Write(IReplyChannel& channel, const QByteArray& bytes, const CReply&) override {
        if (!m_pDripper || m_pDripper->parent() != &channel.Socket())
            m_pDripper = new CDripper(channel.Socket());
        m_pDripper->Queue(bytes);
    }

private:
    QPointer<CDripper> m_pDripper;
};

// The first kStormConnections connections are closed as soon as they are
// made; the next one is kept.
class CReconnectStorm : public CFaultStrategy {
public:
    bool KeepConnection() override {
        if (m_nClosed >= kStormConnections)
            return true;
        ++m_nClosed;
        return false;
    }

private:
    int m_nClosed = 0;
};

struct CFaultMode {
    const char* name;
    std::function<std::unique_ptr<CFaultStrategy>()> make;
};

template <typename Strategy> CFaultMode Mode(const char* name) {
    return {name, [] { return std::make_unique<Strategy>(); }};
}

const QList<CFaultMode>& Modes() {
    static const QList<CFaultMode> modes = {
        Mode<CBadDigest>("bad-digest"),
        Mode<CJunkLines>("junk-lines"),
        Mode<CDropMidReply>("drop-mid-reply"),
        Mode<CEndlessLine>("endless-line"),
        Mode<CHugeThumbHeader>("huge-thumb-header"),
        Mode<CSlowDrip>("slow-drip"),
        Mode<CReconnectStorm>("reconnect-storm"),
    };
    return modes;
}

} // namespace

QStringList FaultModeNames() {
    QStringList names;
    for (const CFaultMode& mode : Modes())
        names.append(QLatin1String(mode.name));
    return names;
}

std::unique_ptr<CFaultStrategy> MakeFaultStrategy(const QString& name) {
    if (name.isEmpty() || name == u"none")
        return std::make_unique<CFaultStrategy>();
    for (const CFaultMode& mode : Modes()) {
        if (name == QLatin1String(mode.name))
            return mode.make();
    }
    return nullptr;
}
