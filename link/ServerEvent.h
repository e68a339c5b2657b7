#pragma once

#include "link/ValueStream.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

// What the connection owner tells the running transaction. Every operation
// defaults to doing nothing, so a transaction overrides only what it needs.
class CServerEvent {
public:
    virtual ~CServerEvent() = default;

    // Bytes just read from the connection (after every read, before the bytes
    // are examined).
    virtual void OnReceived(qint64 nBytes) { Q_UNUSED(nBytes); }

    // A reply line for this transaction named `name` has begun to arrive.
    // A stream returned here receives the line's value as it arrives, and
    // OnPacket then gets an empty value. Called from inside the read
    // notification, so the stream must not run event loops.
    virtual IValueStream* StreamValueOf(QByteArrayView name) {
        Q_UNUSED(name);
        return nullptr;
    }

    // One complete reply line, cut at its first colon; the line feed is not
    // part of the value. Never called while a previous OnPacket of the same
    // transaction is still running, so a handler may open modal dialogs.
    virtual void OnPacket(QByteArray name, QByteArray value) {
        Q_UNUSED(name);
        Q_UNUSED(value);
    }

    // Bytes the system has taken from the connection's send queue.
    virtual void OnSent(qint64 nBytes) { Q_UNUSED(nBytes); }

    // The connection this transaction runs on is gone (closed by the peer, by
    // Disconnect or by a socket failure), or there was none when it started.
    // The transaction ends with failure.
    virtual void OnClosed() {}
};
