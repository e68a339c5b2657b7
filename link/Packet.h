#pragma once

#include <QByteArray>
#include <QByteArrayView>

// A request line: command, colon, argument, line feed. The argument goes out
// byte for byte (invalid UTF-8, NUL and carriage returns included).
QByteArray MakeRequestLine(QByteArrayView command, QByteArrayView argument = {});

// Cuts a received line (without its line feed) at its first colon. False,
// with name and value untouched, when the line has no colon.
bool SplitPacketLine(QByteArrayView line, QByteArray& name, QByteArray& value);
