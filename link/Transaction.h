#pragma once

#include "link/ServerEvent.h"

#include <QByteArray>
#include <QString>

class CDeviceLink;

// One exchange with the app: a first request, the replies it handles (each
// may send the next request) and an end with 1 (success) or 2 (failure: an
// error reply, a lost connection, a cancel). While it runs it is the link's
// running transaction, bound to the connection it started on. It runs in a
// progress window (link/dialogs/WaitDlg.h) or without one (RunTransaction).
class CTransaction : public CServerEvent {
public:
    static constexpr int kSucceeded = 1;
    static constexpr int kFailed = 2;

    // Told what a running transaction does.
    class IObserver {
    public:
        virtual ~IObserver() = default;
        // The byte counters changed.
        virtual void OnProgress(qint64 nSent, qint64 nReceived) {
            Q_UNUSED(nSent);
            Q_UNUSED(nReceived);
        }
        // The transaction ended with 1 or 2; it has left the link already.
        virtual void OnEnded(int nResult) = 0;
    };

    explicit CTransaction(CDeviceLink& link);
    ~CTransaction() override;
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    // The text a progress display shows.
    virtual QString GetWaitMessage() const { return {}; }
    // The bytes this transaction will receive and send in all, when known
    // (0 otherwise), so a display can show how far it is.
    virtual qint64 ExpectedReceiveBytes() const { return 0; }
    virtual qint64 ExpectedSendBytes() const { return 0; }

    // Makes this the link's running transaction and resets the counters.
    // False without a connection: the transaction then ends with 2 from a
    // queued call, so an event loop started right after sees the end.
    bool Attach(IObserver* observer);
    // Replaces the observer (null: none), for an observer that goes away
    // before the transaction does.
    void SetObserver(IObserver* observer) { m_pObserver = observer; }
    // Sends the first request; nothing once the transaction has ended.
    void Start();
    // Ends with 2; a reply still owed is dropped when it comes, so it cannot
    // pass for the answer to the next transaction's request.
    void Cancel() { End(kFailed); }

    bool HasEnded() const { return m_bEnded; }
    int GetResult() const { return m_nResult; }
    qint64 SentBytes() const { return m_nSentBytes; }
    qint64 ReceivedBytes() const { return m_nReceivedBytes; }

    // CServerEvent
    void OnReceived(qint64 nBytes) override;
    void OnSent(qint64 nBytes) override;
    void OnClosed() override { End(kFailed); }

protected:
    virtual void StartRequest() {}
    // Sends one request line; ends with 2 when the connection the
    // transaction runs on is gone.
    void SendRequest(const QByteArray& line);
    // Only the first end counts.
    void End(int nResult);

private:
    CDeviceLink& m_link;
    IObserver* m_pObserver = nullptr;
    qint64 m_nSentBytes = 0;
    qint64 m_nReceivedBytes = 0;
    bool m_bEnded = false;
    int m_nResult = kFailed;
};

// Runs `transaction` without a window: attaches it, sends its first request
// and runs an event loop until it ends. Returns 1 or 2. `observer`, when
// given, is told the progress too.
int RunTransaction(CTransaction& transaction, CTransaction::IObserver* observer = nullptr);
