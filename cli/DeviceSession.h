#pragma once

#include "link/DeviceLink.h"
#include "link/Transaction.h"

#include <QByteArray>
#include <QList>

#include <optional>

// The tool's side of the connection, without windows: it listens like the
// program's window does, prints where the app should connect, waits for the
// app, checks its protocol version and runs transactions until the
// connection ends. Connection events and failures are printed through the
// message sink.
class CDeviceSession : public QObject {
public:
    explicit CDeviceSession(quint16 nPort);

    // Listens and prints the address and port to type into the app; false,
    // with the reason printed, when the port cannot be opened.
    bool Listen();
    // Waits for an app and checks its protocol version; false when the
    // version is refused or the connection ends first.
    bool WaitForApp();
    bool IsConnected() const { return m_link.IsConnected(); }
    int ProtocolVersion() const { return m_nProtocolVersion; }
    CDeviceLink& Link() { return m_link; }

    // A document of the app's list: its name as the app sent it and its
    // size in bytes (-1 when the app gave none).
    struct CListedFile {
        QByteArray m_rawName;
        qint64 m_nSizeBytes;
    };
    // The app's documents without their thumbnails; nothing when the list
    // could not be fetched.
    std::optional<QList<CListedFile>> ListFiles();

    // Runs `transaction` on the connection; 1 or 2.
    int Run(CTransaction& transaction, CTransaction::IObserver* observer = nullptr);

private:
    CDeviceLink m_link;
    quint64 m_nSerial = 0;
    int m_nProtocolVersion = 0;
};
