#include "link/dialogs/WaitDlg.h"

#include "link/dialogs/AnimateCtrl.h"
#include "ui/DialogUnits.h"
#include "ui/RepaintThrottle.h"

#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>

namespace {

// The window as designed, and with the bar of a transaction of known size
// below the counters.
constexpr int kWidth = 254;
constexpr int kHeight = 110;
constexpr int kHeightWithBar = 122;

QString StripCrLf(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

CWaitDlg::CWaitDlg(CTransaction& transaction, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_transaction(transaction) {
    setWindowTitle(QStringLiteral(u"処理中..."));
    setFont(DialogFont());
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(kWidth, kHeight));

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

    m_pProgress = new QProgressBar(this);
    m_pProgress->setRange(0, 100);
    m_pProgress->setFormat(QStringLiteral("%p%"));
    units.Place(m_pProgress, 23, 107, 208, 9);
    m_pProgress->hide();

    m_pRepaint = new CRepaintThrottle({m_pSentCount, m_pReceivedCount, m_pProgress}, this);
}

CWaitDlg::~CWaitDlg() = default;

int CWaitDlg::exec() {
    UpdateMessage();
    m_pSentCount->setText(QStringLiteral("0"));
    m_pReceivedCount->setText(QStringLiteral("0"));
    UpdateProgressBar();

    // Without a connection the transaction ends from a queued call, so that
    // the loop below sees it. Otherwise the first request goes out once the
    // loop runs: an end before the loop starts would be lost.
    if (m_transaction.Attach(this))
        QMetaObject::invokeMethod(
            this, [this] { m_transaction.Start(); }, Qt::QueuedConnection);
    const int result = QDialog::exec();
    // A transaction that outlives the window ends here at the latest.
    m_transaction.Cancel();
    m_transaction.SetObserver(nullptr);
    return result == kSucceeded ? kSucceeded : kFailed;
}

void CWaitDlg::reject() {
    m_transaction.Cancel();
}

void CWaitDlg::SetPosition(int nIndex, int nCount) {
    m_strPosition = nCount > 1 ? QStringLiteral("(%1 / %2)").arg(nIndex).arg(nCount) : QString();
    UpdateMessage();
}

QString CWaitDlg::MessageText() const {
    return m_pMessage->text();
}

void CWaitDlg::UpdateMessage() {
    QString text = StripCrLf(m_transaction.GetWaitMessage());
    if (!m_strPosition.isEmpty())
        text = text.trimmed() + u'\n' + m_strPosition;
    m_pMessage->setText(text);
}

void CWaitDlg::OnProgress(qint64 nSent, qint64 nReceived) {
    m_pSentCount->setText(QString::number(nSent));
    m_pReceivedCount->setText(QString::number(nReceived));
    UpdateProgressBar();
    m_pRepaint->Changed();
}

void CWaitDlg::UpdateProgressBar() {
    const qint64 toSend = m_transaction.ExpectedSendBytes();
    const qint64 toReceive = m_transaction.ExpectedReceiveBytes();
    const qint64 total = toSend + toReceive;
    if (total <= 0)
        return; // the animation alone
    if (m_pProgress->isHidden()) {
        setFixedSize(CDialogUnits(font()).ToPixels(kWidth, kHeightWithBar));
        m_pProgress->show();
    }
    const qint64 done = std::min(m_transaction.SentBytes(), toSend) +
                        std::min(m_transaction.ReceivedBytes(), toReceive);
    m_pProgress->setValue(int(done * 100 / total));
}

void CWaitDlg::OnEnded(int nResult) {
    QDialog::done(nResult);
}
