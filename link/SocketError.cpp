#include "link/SocketError.h"

#include <cerrno>
#include <cstring>

int ErrnoFromSocketError(QAbstractSocket::SocketError error) {
    using E = QAbstractSocket::SocketError;
    switch (error) {
    case E::ConnectionRefusedError:
    case E::ProxyConnectionRefusedError:
        return ECONNREFUSED;
    case E::RemoteHostClosedError:
    case E::ProxyConnectionClosedError:
        return ECONNRESET;
    case E::HostNotFoundError:
    case E::ProxyNotFoundError:
        return EHOSTUNREACH;
    case E::SocketAccessError:
    case E::ProxyAuthenticationRequiredError:
        return EACCES;
    case E::SocketResourceError:
        return EMFILE;
    case E::SocketTimeoutError:
    case E::ProxyConnectionTimeoutError:
        return ETIMEDOUT;
    case E::DatagramTooLargeError:
        return EMSGSIZE;
    case E::AddressInUseError:
        return EADDRINUSE;
    case E::SocketAddressNotAvailableError:
        return EADDRNOTAVAIL;
    case E::UnsupportedSocketOperationError:
        return EOPNOTSUPP;
    case E::UnfinishedSocketOperationError:
        return EINPROGRESS;
    case E::ProxyProtocolError:
    case E::SslHandshakeFailedError:
    case E::SslInternalError:
    case E::SslInvalidUserDataError:
        return EPROTO;
    case E::TemporaryError:
        return EAGAIN;
    case E::OperationError:
        return EINVAL;
    case E::NetworkError:
    case E::UnknownSocketError:
        break;
    }
    return EIO;
}

QString ErrnoText(int nCode) {
    // strerror's buffer is only read here, on the one thread that uses sockets.
    return QString::fromLocal8Bit(std::strerror(nCode));
}

CSocketError MakeSocketError(QAbstractSocket::SocketError error) {
    const int nCode = ErrnoFromSocketError(error);
    return {nCode, ErrnoText(nCode)};
}
