#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QString>

// One address of a network interface, with the flags of its interface.
struct CInterfaceAddress {
    QNetworkInterface::InterfaceFlags flags;
    QHostAddress address;
};

// The first IPv4 address of an interface that is up, not loopback, and that
// is not itself loopback or link-local (169.254/16); empty when there is none.
QString FirstUsableIPv4(const QList<CInterfaceAddress>& candidates);

// The address the user types into the app: FirstUsableIPv4 over this
// machine's interfaces, else the first IPv4 address the host-name lookup
// gives, else empty.
QString GetLocalAddress();
