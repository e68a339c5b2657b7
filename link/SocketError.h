#pragma once

#include <QAbstractSocket>
#include <QString>

// A socket failure as the user sees it: the system's errno value and the
// system's text for it.
struct CSocketError {
    int nCode = 0;
    QString strText;
};

// The errno value that stands for a Qt socket error (AddressInUseError gives
// EADDRINUSE, 98 on Linux).
int ErrnoFromSocketError(QAbstractSocket::SocketError error);

// The system's text for an errno value (strerror).
QString ErrnoText(int nCode);

// Both of the above in one.
CSocketError MakeSocketError(QAbstractSocket::SocketError error);
