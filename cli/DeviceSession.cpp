#include "cli/DeviceSession.h"

#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "link/GetFileListTransaction.h"
#include "link/GetProtVerTransaction.h"
#include "link/LocalAddress.h"

#include <QEventLoop>

namespace {

// Collects the rows of the list transaction.
class CListCollector : public IFileRowTarget {
public:
    void AddFileRow(const QByteArray& rawName, const QString&, const QString&, const CDibSection*,
                    qint64 nSizeBytes) override {
        files.append({rawName, nSizeBytes});
    }
    QList<CDeviceSession::CListedFile> files;
};

} // namespace

CDeviceSession::CDeviceSession(quint16 nPort) : m_link(nPort) {
    connect(&m_link, &CDeviceLink::ConnectionClosed, this,
            [] { ShowMessage(FormatStringResource(IDS_DISCONNECTED)); });
    connect(&m_link, &CDeviceLink::SocketFailed, this, [](quint64, int, const QString& text) {
        ShowMessage(FormatStringResource(IDS_SOCKET_ERROR_TEXT, {text}));
    });
}

bool CDeviceSession::Listen() {
    if (!m_link.Listen()) {
        ShowMessage(FormatStringResource(IDS_SOCKET_ERROR_CODE, {m_link.ListenError().nCode}));
        return false;
    }
    ShowMessage(
        FormatStringResource(IDS_CONNECT_INSTRUCTIONS, {GetLocalAddress(), int(m_link.Port())}));
    return true;
}

bool CDeviceSession::WaitForApp() {
    QEventLoop loop;
    const QMetaObject::Connection accepted =
        connect(&m_link, &CDeviceLink::ConnectionAccepted, &loop, [&](quint64 nSerial) {
            m_nSerial = nSerial;
            loop.quit();
        });
    loop.exec();
    disconnect(accepted);
    ShowMessage(FormatStringResource(IDS_CONNECTION_ACCEPTED));

    CGetProtVerTransaction version(m_link);
    if (RunTransaction(version) != CTransaction::kSucceeded) {
        m_link.Disconnect();
        return false;
    }
    m_nProtocolVersion = version.ProtocolVersion();
    return m_link.ConnectionSerial() == m_nSerial;
}

std::optional<QList<CDeviceSession::CListedFile>> CDeviceSession::ListFiles() {
    CListCollector collector;
    CGetFileListTransaction list(m_link, collector, false);
    if (Run(list) != CTransaction::kSucceeded)
        return std::nullopt;
    return collector.files;
}

int CDeviceSession::Run(CTransaction& transaction, CTransaction::IObserver* observer) {
    // A transaction never goes to an app that connected after this one.
    if (m_nSerial == 0 || m_link.ConnectionSerial() != m_nSerial)
        return CTransaction::kFailed;
    return RunTransaction(transaction, observer);
}
