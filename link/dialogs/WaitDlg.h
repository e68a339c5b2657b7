#pragma once

#include "link/ServerEvent.h"

#include <QDialog>

class CDeviceLink;
class CAnimateCtrl;
class QLabel;

// The modal progress window every transaction runs in. While it runs it is
// the link's running transaction: it sends the first request once its modal
// loop runs, counts the bytes sent and received, and ends with 1 (success)
// or 2 (failure: an error reply, a lost connection, Escape). A subclass
// supplies the text, the first request and the reply handling.
class CWaitDlg : public QDialog, public CServerEvent {
    Q_OBJECT
public:
    static constexpr int kSucceeded = 1;
    static constexpr int kFailed = 2;

    CWaitDlg(CDeviceLink& link, QWidget* parent);
    ~CWaitDlg() override;

    // Runs the window modally and returns 1 or 2. Without a connection it
    // ends with 2 at once.
    int exec() override;
    // Ends the window; only the first end counts, later ones are ignored.
    void done(int result) override;
    // Escape: ends with 2; a reply still owed is dropped when it comes.
    void reject() override;

    qint64 SentBytes() const { return m_nSentBytes; }
    qint64 ReceivedBytes() const { return m_nReceivedBytes; }
    bool HasEnded() const { return m_bEnded; }
    const CAnimateCtrl* Animation() const { return m_pAnimate; }

    // CServerEvent
    void OnReceived(qint64 nBytes) override;
    void OnSent(qint64 nBytes) override;
    void OnClosed() override;

protected:
    // The text shown above the animation.
    virtual QString GetWaitMessage() const { return {}; }
    // Sends the first request.
    virtual void StartRequest() {}

    // Sends one request line; ends the window with 2 when the connection
    // the transaction runs on is gone.
    void SendRequest(const QByteArray& line);

private:
    void Start();

    CDeviceLink& m_link;
    qint64 m_nSentBytes = 0;
    qint64 m_nReceivedBytes = 0;
    bool m_bEnded = false;
    QLabel* m_pMessage;
    QLabel* m_pSentCount;
    QLabel* m_pReceivedCount;
    CAnimateCtrl* m_pAnimate;
};
