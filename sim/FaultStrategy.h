#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QAbstractSocket;
struct CReply;

// What a fault strategy may do with the connection a reply goes out on.
class IReplyChannel {
public:
    virtual ~IReplyChannel() = default;
    // Queues bytes on the connection.
    virtual void Send(const QByteArray& bytes) = 0;
    // Ends the connection once the bytes queued so far have gone out.
    virtual void Close() = 0;
    // The connection's socket. Timers and signal connections that must end
    // with the connection use it as their parent or context.
    virtual QAbstractSocket& Socket() = 0;
};

// How the simulated app misbehaves on purpose, for trying the utility
// against a faulty app. The base behaves: it keeps every connection, adds
// nothing before a reply, changes no reply and sends each reply at once.
// Each fault mode overrides the hooks it needs.
class CFaultStrategy {
public:
    virtual ~CFaultStrategy() = default;

    // Called when a connection has been made; false closes it at once and
    // connects again without waiting.
    virtual bool KeepConnection() { return true; }
    // Changes a reply before it is sent (and logged).
    virtual void TransformReply(CReply& reply) { (void)reply; }
    // Bytes sent ahead of the reply.
    virtual QByteArray BeforeReply(const CReply& reply) {
        (void)reply;
        return {};
    }
    // Sends `bytes`: what BeforeReply gave, then the reply line.
    virtual void Write(IReplyChannel& channel, const QByteArray& bytes, const CReply& reply);
};

// The fault modes --fault takes.
QStringList FaultModeNames();

// The strategy of fault mode `name`; the well-behaved base for an empty name
// or "none"; null for a name that is no mode.
std::unique_ptr<CFaultStrategy> MakeFaultStrategy(const QString& name);

// Connections that reconnect-storm closes at once before it keeps one.
constexpr int kStormConnections = 1000;
// Milliseconds between two bytes under slow-drip.
constexpr int kDripIntervalMs = 3;
