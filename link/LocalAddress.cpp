#include "link/LocalAddress.h"

#include <QHostInfo>

namespace {

bool IsShownIPv4(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback() &&
           !address.isLinkLocal();
}

} // namespace

QString FirstUsableIPv4(const QList<CInterfaceAddress>& candidates) {
    for (const CInterfaceAddress& candidate : candidates) {
        if (!candidate.flags.testFlag(QNetworkInterface::IsUp) ||
            candidate.flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (IsShownIPv4(candidate.address))
            return candidate.address.toString();
    }
    return {};
}

QString GetLocalAddress() {
    QList<CInterfaceAddress> candidates;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& networkInterface : interfaces) {
        const QList<QNetworkAddressEntry> entries = networkInterface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries)
            candidates.append({networkInterface.flags(), entry.ip()});
    }
    QString address = FirstUsableIPv4(candidates);
    if (!address.isEmpty())
        return address;

    const QHostInfo host = QHostInfo::fromName(QHostInfo::localHostName());
    const QList<QHostAddress> addresses = host.addresses();
    for (const QHostAddress& hostAddress : addresses) {
        if (hostAddress.protocol() == QAbstractSocket::IPv4Protocol)
            return hostAddress.toString();
    }
    return {};
}
