#include "link/Transaction.h"

#include "link/DeviceLink.h"

#include <QEventLoop>
#include <QMetaObject>

CTransaction::CTransaction(CDeviceLink& link) : m_link(link) {}

CTransaction::~CTransaction() {
    m_link.DetachTransaction(this);
}

bool CTransaction::Attach(IObserver* observer) {
    m_pObserver = observer;
    m_nSentBytes = m_nReceivedBytes = 0;
    m_bEnded = false;
    m_nResult = kFailed;
    return m_link.AttachTransaction(this);
}

void CTransaction::Start() {
    if (!m_bEnded)
        StartRequest();
}

void CTransaction::SendRequest(const QByteArray& line) {
    if (!m_bEnded && !m_link.SendToDevice(line))
        End(kFailed);
}

void CTransaction::End(int nResult) {
    if (m_bEnded)
        return;
    m_bEnded = true;
    m_nResult = nResult == kSucceeded ? kSucceeded : kFailed;
    m_link.DetachTransaction(this);
    if (m_pObserver)
        m_pObserver->OnEnded(m_nResult);
}

void CTransaction::OnReceived(qint64 nBytes) {
    m_nReceivedBytes += nBytes;
    if (m_pObserver)
        m_pObserver->OnProgress(m_nSentBytes, m_nReceivedBytes);
}

void CTransaction::OnSent(qint64 nBytes) {
    m_nSentBytes += nBytes;
    if (m_pObserver)
        m_pObserver->OnProgress(m_nSentBytes, m_nReceivedBytes);
}

namespace {

// Ends the event loop with the transaction and passes the progress on.
class CLoopObserver : public CTransaction::IObserver {
public:
    CLoopObserver(QEventLoop& loop, CTransaction::IObserver* next) : m_loop(loop), m_pNext(next) {}
    void OnProgress(qint64 nSent, qint64 nReceived) override {
        if (m_pNext)
            m_pNext->OnProgress(nSent, nReceived);
    }
    void OnEnded(int nResult) override {
        if (m_pNext)
            m_pNext->OnEnded(nResult);
        m_loop.exit(nResult);
    }

private:
    QEventLoop& m_loop;
    CTransaction::IObserver* m_pNext;
};

} // namespace

int RunTransaction(CTransaction& transaction, CTransaction::IObserver* observer) {
    QEventLoop loop;
    CLoopObserver ending(loop, observer);
    if (transaction.Attach(&ending))
        QMetaObject::invokeMethod(
            &loop, [&transaction] { transaction.Start(); }, Qt::QueuedConnection);
    const int result = loop.exec();
    // The observer lives on this stack only.
    transaction.SetObserver(nullptr);
    return result;
}
