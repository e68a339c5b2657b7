#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The longest line either side takes, in bytes without its line feed: a
// document travels in one line as hexadecimal text, and a longer line ends
// the connection instead of growing the receive buffer without bound.
constexpr qsizetype MAX_PACKET_LINE_LENGTH = qsizetype(256) * 1024 * 1024;

// A request line: command, colon, argument, line feed. The argument goes out
// byte for byte (invalid UTF-8, NUL and carriage returns included).
QByteArray MakeRequestLine(QByteArrayView command, QByteArrayView argument = {});
// A reply line ("ok" or "error", colon, value, line feed); replies have the
// same form as requests.
inline QByteArray MakeReplyLine(QByteArrayView name, QByteArrayView value = {}) {
    return MakeRequestLine(name, value);
}

// Cuts a received line (without its line feed) at its first colon. False,
// with name and value untouched, when the line has no colon.
bool SplitPacketLine(QByteArrayView line, QByteArray& name, QByteArray& value);
