#include "link/dialogs/WaitDlg.h"

#include "link/DeviceLink.h"
#include "link/dialogs/AnimateCtrl.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QMetaObject>

namespace {

QString StripCrLf(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

CWaitDlg::CWaitDlg(CDeviceLink& link, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_link(link) {
    setWindowTitle(QStringLiteral(u"処理中..."));
    setFont(DialogFont());
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(254, 110));

    auto* sentLabel = new QLabel(QStringLiteral(u"送信データ: "), this);
    sentLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    units.Place(sentLabel, 23, 85, 71, 8);
    m_pSentCount = new QLabel(QStringLiteral("0"), this);
    units.Place(m_pSentCount, 94, 85, 115, 8);

    auto* receivedLabel = new QLabel(QStringLiteral(u"受信データ: "), this);
    receivedLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    units.Place(receivedLabel, 23, 95, 71, 8);
    m_pReceivedCount = new QLabel(QStringLiteral("0"), this);
    units.Place(m_pReceivedCount, 94, 95, 115, 8);

    m_pMessage = new QLabel(this);
    m_pMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pMessage->setWordWrap(true);
    m_pMessage->setTextFormat(Qt::PlainText);
    units.Place(m_pMessage, 7, 7, 240, 26);

    m_pAnimate = new CAnimateCtrl(this);
    units.Place(m_pAnimate, 7, 38, 240, 41);
}

CWaitDlg::~CWaitDlg() {
    m_link.DetachTransaction(this);
}

int CWaitDlg::exec() {
    m_nSentBytes = m_nReceivedBytes = 0;
    m_bEnded = false;
    m_pMessage->setText(StripCrLf(GetWaitMessage()));
    m_pSentCount->setText(QStringLiteral("0"));
    m_pReceivedCount->setText(QStringLiteral("0"));

    // Without a connection the link reports OnClosed from a queued call, so
    // that the loop below sees it. Otherwise the first request goes out once
    // the loop runs: an end before the loop starts would be lost.
    if (m_link.AttachTransaction(this))
        QMetaObject::invokeMethod(this, &CWaitDlg::Start, Qt::QueuedConnection);
    const int result = QDialog::exec();
    m_link.DetachTransaction(this);
    return result == kSucceeded ? kSucceeded : kFailed;
}

void CWaitDlg::Start() {
    if (!m_bEnded)
        StartRequest();
}

void CWaitDlg::done(int result) {
    if (m_bEnded)
        return;
    m_bEnded = true;
    // Replies owed to this window are dropped from now on, so that a late
    // one cannot pass for the answer to the next window's request.
    m_link.DetachTransaction(this);
    QDialog::done(result);
}

void CWaitDlg::reject() {
    done(kFailed);
}

void CWaitDlg::SendRequest(const QByteArray& line) {
    if (!m_bEnded && !m_link.SendToDevice(line))
        done(kFailed);
}

void CWaitDlg::OnReceived(qint64 nBytes) {
    m_nReceivedBytes += nBytes;
    m_pReceivedCount->setText(QString::number(m_nReceivedBytes));
}

void CWaitDlg::OnSent(qint64 nBytes) {
    m_nSentBytes += nBytes;
    m_pSentCount->setText(QString::number(m_nSentBytes));
}

void CWaitDlg::OnClosed() {
    done(kFailed);
}
