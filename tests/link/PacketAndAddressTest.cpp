#include "link/LocalAddress.h"
#include "link/Packet.h"
#include "link/SocketError.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

TEST(Packet, LinesSplitAtTheFirstColonOnly) {
    QByteArray name = "untouched";
    QByteArray value = "untouched";
    EXPECT_FALSE(SplitPacketLine("no colon", name, value));
    EXPECT_EQ(name, "untouched");
    EXPECT_EQ(value, "untouched");

    ASSERT_TRUE(SplitPacketLine("ok:", name, value));
    EXPECT_EQ(name, "ok");
    EXPECT_TRUE(value.isEmpty());

    ASSERT_TRUE(SplitPacketLine(QByteArrayView(":a:b\r\0", 6), name, value));
    EXPECT_TRUE(name.isEmpty());
    EXPECT_EQ(value, QByteArray("a:b\r\0", 5));
}

TEST(Packet, RequestLinesKeepTheArgumentBytes) {
    EXPECT_EQ(MakeRequestLine("GetFileList"), "GetFileList:\n");
    const QByteArray name("\0\xc3(\xff", 4);
    EXPECT_EQ(MakeRequestLine("DeleteFile", name), QByteArray("DeleteFile:\0\xc3(\xff\n", 16));
}

TEST(SocketError, QtErrorsMapToTheSystemsErrnoAndText) {
    EXPECT_EQ(ErrnoFromSocketError(QAbstractSocket::AddressInUseError), EADDRINUSE);
    EXPECT_EQ(ErrnoFromSocketError(QAbstractSocket::ConnectionRefusedError), ECONNREFUSED);
    EXPECT_EQ(ErrnoFromSocketError(QAbstractSocket::SocketAccessError), EACCES);
    EXPECT_EQ(ErrnoFromSocketError(QAbstractSocket::SocketTimeoutError), ETIMEDOUT);
    EXPECT_EQ(ErrnoFromSocketError(QAbstractSocket::UnknownSocketError), EIO);

    const CSocketError error = MakeSocketError(QAbstractSocket::SocketAddressNotAvailableError);
    EXPECT_EQ(error.nCode, EADDRNOTAVAIL);
    EXPECT_EQ(error.strText, QString::fromLocal8Bit(std::strerror(EADDRNOTAVAIL)));
}

TEST(LocalAddress, ShowsTheFirstIPv4OfAnInterfaceThatIsUpAndNotLoopback) {
    using F = QNetworkInterface::InterfaceFlag;
    const QNetworkInterface::InterfaceFlags up = F::IsUp | F::IsRunning;
    const QList<CInterfaceAddress> candidates = {
        {up | F::IsLoopBack, QHostAddress("127.0.0.1")},
        {F::IsRunning, QHostAddress("10.0.0.7")}, // down
        {up, QHostAddress("169.254.3.4")},        // link-local
        {up, QHostAddress("fe80::1")},
        {up, QHostAddress("2001:db8::5")},
        {up, QHostAddress("192.168.0.5")},
        {up, QHostAddress("192.168.1.9")},
    };
    EXPECT_EQ(FirstUsableIPv4(candidates), "192.168.0.5");
    EXPECT_EQ(FirstUsableIPv4(candidates.first(5)), "");
}

// Whether some interface of this machine that is up and not loopback has an
// IPv4 address the app could reach over the network.
bool MachineHasANetworkIPv4() {
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& networkInterface : interfaces) {
        const auto flags = networkInterface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = networkInterface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback() &&
                !ip.isLinkLocal())
                return true;
        }
    }
    return false;
}

TEST(LocalAddress, ShowsADottedIPv4AddressOfThisMachine) {
    const bool networked = MachineHasANetworkIPv4();
    const QString address = GetLocalAddress();
    if (!networked && address.isEmpty())
        GTEST_SKIP() << "this machine has no IPv4 address to show";
    // With a network address present, the window must show one.
    ASSERT_FALSE(address.isEmpty());

    QHostAddress parsed;
    ASSERT_TRUE(parsed.setAddress(address)) << address.toStdString();
    EXPECT_EQ(parsed.protocol(), QAbstractSocket::IPv4Protocol) << address.toStdString();
    EXPECT_EQ(parsed.toString(), address) << "not in dotted form";
    if (networked) {
        // The phone cannot reach this machine at a loopback or link-local address.
        EXPECT_FALSE(parsed.isLoopback()) << address.toStdString();
        EXPECT_FALSE(parsed.isLinkLocal()) << address.toStdString();
    }
    // It belongs to this machine: a server can listen on it.
    QTcpServer server;
    EXPECT_TRUE(server.listen(parsed, 0)) << address.toStdString();
}

} // namespace
