#include "sim/AppClient.h"

#include "base/TextRoutines.h"
#include "sim/RequestHandler.h"

#include <QTcpSocket>

namespace {

// A drawing name as the log shows it: decoded, control characters as '?',
// at most 60 characters.
QString NameForLog(const QByteArray& name) {
    QString text = Utf8ToWide(name.left(240));
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'?';
    }
    return text.size() > 60 ? text.left(60) + QStringLiteral("...") : text;
}

} // namespace

CAppClient::CAppClient(const CRequestHandler& handler, CFaultStrategy& fault,
                       const COptions& options, LogFunction log, QObject* parent)
    : QObject(parent), m_handler(handler), m_fault(fault), m_options(options),
      m_log(std::move(log)) {
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &CAppClient::Connect);
}

CAppClient::~CAppClient() {
    // No notification may reach a half-destroyed client.
    if (m_pSocket)
        m_pSocket->disconnect(this);
}

void CAppClient::Start() {
    Connect();
}

void CAppClient::Send(const QByteArray& bytes) {
    m_pSocket->write(bytes);
}

void CAppClient::Close() {
    m_pSocket->disconnectFromHost();
}

QAbstractSocket& CAppClient::Socket() {
    return *m_pSocket;
}

void CAppClient::Connect() {
    m_pSocket = new QTcpSocket(this);
    connect(m_pSocket, &QTcpSocket::connected, this, &CAppClient::OnConnected);
    connect(m_pSocket, &QTcpSocket::readyRead, this, &CAppClient::OnReadyRead);
    connect(m_pSocket, &QTcpSocket::disconnected, this, &CAppClient::OnDisconnected);
    connect(m_pSocket, &QTcpSocket::errorOccurred, this, &CAppClient::OnError);
    m_pSocket->connectToHost(m_options.m_strHost, m_options.m_nPort);
}

void CAppClient::OnConnected() {
    m_bConnected = true;
    m_bReportedFailure = false;
    if (!m_fault.KeepConnection()) {
        ++m_nClosedAtOnce;
        m_bClosingAtOnce = true;
        m_pSocket->disconnectFromHost();
        return;
    }
    QString text =
        QStringLiteral("connected to %1:%2").arg(m_options.m_strHost).arg(m_options.m_nPort);
    if (m_nClosedAtOnce > 0)
        text += QStringLiteral(" (after closing %1 connections at once)").arg(m_nClosedAtOnce);
    m_nClosedAtOnce = 0;
    Log(text);
}

void CAppClient::OnReadyRead() {
    m_buffer.append(m_pSocket->readAll());
    qsizetype start = 0;
    qsizetype end;
    while ((end = m_buffer.indexOf('\n', m_nScanFrom)) >= 0) {
        HandleLine(QByteArrayView(m_buffer).sliced(start, end - start));
        start = m_nScanFrom = end + 1;
        // A fault may have closed the connection; what follows goes unread.
        if (!m_pSocket || m_pSocket->state() != QAbstractSocket::ConnectedState) {
            m_buffer.clear();
            m_nScanFrom = 0;
            return;
        }
    }
    m_buffer.remove(0, start);
    m_nScanFrom = m_buffer.size();
    if (m_buffer.size() > m_options.m_nMaxLineLength) {
        Log(QStringLiteral("request line longer than %1 bytes; closing the connection")
                .arg(m_options.m_nMaxLineLength));
        // Ended here rather than through the socket's notifications, which
        // are cut off first so that the end is handled exactly once.
        m_pSocket->disconnect(this);
        m_pSocket->abort();
        OnDisconnected();
    }
}

void CAppClient::HandleLine(QByteArrayView line) {
    CReply reply = m_handler.Handle(line);
    m_fault.TransformReply(reply);
    const QByteArray before = m_fault.BeforeReply(reply);
    QString text = QString::fromUtf8(reply.m_command.left(40));
    if (!reply.m_name.isEmpty())
        text += u' ' + NameForLog(reply.m_name);
    Log(text + QStringLiteral(" -> ") + reply.m_summary);
    m_fault.Write(*this, before.isEmpty() ? reply.m_line : before + reply.m_line, reply);
}

void CAppClient::OnDisconnected() {
    if (!m_bConnected)
        return;
    m_bConnected = false;
    DropSocket();
    if (m_bClosingAtOnce) {
        m_bClosingAtOnce = false;
        m_reconnectTimer.start(0);
        return;
    }
    Log(QStringLiteral("connection closed"));
    if (m_options.m_bOnce) {
        emit Finished();
        return;
    }
    m_reconnectTimer.start(m_options.m_nReconnectDelayMs);
}

void CAppClient::OnError() {
    if (m_bConnected) {
        // A connection that fails is reported as disconnected as well,
        // unless it is already gone.
        if (m_pSocket->state() == QAbstractSocket::UnconnectedState)
            OnDisconnected();
        return;
    }
    // Connecting failed: try again later, saying so once.
    if (!m_bReportedFailure) {
        Log(QStringLiteral("cannot connect to %1:%2 (%3); trying again every %4 ms")
                .arg(m_options.m_strHost)
                .arg(m_options.m_nPort)
                .arg(m_pSocket->errorString())
                .arg(m_options.m_nReconnectDelayMs));
        m_bReportedFailure = true;
    }
    DropSocket();
    m_reconnectTimer.start(m_options.m_nReconnectDelayMs);
}

void CAppClient::DropSocket() {
    m_buffer.clear();
    m_nScanFrom = 0;
    if (!m_pSocket)
        return;
    m_pSocket->disconnect(this);
    m_pSocket->deleteLater();
    m_pSocket = nullptr;
}

void CAppClient::Log(const QString& text) const {
    if (m_log)
        m_log(text);
}
