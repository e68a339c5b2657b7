#include "SimHarness.h"

#include "model/KSData.h"

#include <QFile>

CSimHarness::CSimHarness(const QString& faultMode, int protocolVersion)
    : m_store(m_dir.path() + QStringLiteral("/store")), m_pFault(MakeFaultStrategy(faultMode)),
      m_handler(m_store, protocolVersion) {
    m_store.Prepare();
    m_server.listen(QHostAddress::LocalHost, 0);
    m_nPort = m_server.serverPort();
}

CSimHarness::~CSimHarness() {
    // The client goes first, so that it sees no connection end on the way.
    m_pClient.reset();
}

void CSimHarness::Start(CAppClient::COptions options) {
    options.m_strHost = QStringLiteral("127.0.0.1");
    options.m_nPort = m_nPort;
    options.m_nReconnectDelayMs = 20;
    m_pClient = std::make_unique<CAppClient>(m_handler, *m_pFault, options,
                                             [this](const QString& text) { m_log.append(text); });
    m_pClient->Start();
}

bool CSimHarness::Accept() {
    if (!WaitUntil([this] { return m_server.hasPendingConnections(); }))
        return false;
    m_pConnection = m_server.nextPendingConnection();
    m_received.clear();
    m_reads.clear();
    QObject::connect(m_pConnection, &QIODevice::readyRead, m_pConnection, [this] {
        const QByteArray bytes = m_pConnection->readAll();
        m_reads.append(bytes.size());
        m_received.append(bytes);
    });
    return true;
}

QByteArray CSimHarness::Ask(const QByteArray& request) {
    m_pConnection->write(request);
    return TakeLine();
}

QByteArray CSimHarness::TakeLine() {
    if (!WaitUntil([this] { return m_received.contains('\n'); }))
        return {};
    const qsizetype end = m_received.indexOf('\n') + 1;
    QByteArray line = m_received.left(end);
    m_received.remove(0, end);
    return line;
}

bool CSimHarness::WaitReceived(qsizetype count) {
    return WaitUntil([this, count] { return m_received.size() >= count; });
}

bool CSimHarness::WaitClosed() {
    return WaitUntil([this] {
        return !m_pConnection || m_pConnection->state() == QAbstractSocket::UnconnectedState;
    });
}

void PutDrawing(const CDeviceStore& store, const QByteArray& name, const QByteArray& bytes,
                const QDateTime& modified) {
    QFile file(store.Folder() + u'/' + QString::fromUtf8(name) + QStringLiteral(".ksd"));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    // Written out first, or the write would set the time again.
    file.flush();
    file.setFileTime(modified, QFileDevice::FileModificationTime);
}

QByteArray SmallDocument(int width, int height) {
    CKSData document;
    document.Create(width, height);
    QByteArray bytes;
    document.SaveToBytes(bytes, nullptr);
    return bytes;
}
