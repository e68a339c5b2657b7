#pragma once

#include "link/Transaction.h"

#include <QDialog>

class CAnimateCtrl;
class CRepaintThrottle;
class QLabel;
class QProgressBar;

// The modal progress window a transaction runs in: it shows the
// transaction's text, an animation and the bytes sent and received, and
// for a transaction that knows how many bytes it moves, a bar with the
// percentage below the counters. The window ends when the transaction does;
// Escape cancels the transaction.
class CWaitDlg : public QDialog, private CTransaction::IObserver {
    Q_OBJECT
public:
    static constexpr int kSucceeded = CTransaction::kSucceeded;
    static constexpr int kFailed = CTransaction::kFailed;

    // `transaction` must outlive the window.
    CWaitDlg(CTransaction& transaction, QWidget* parent);
    ~CWaitDlg() override;

    // Runs the transaction in the window, modally, and returns 1 or 2.
    // Without a connection it ends with 2 at once.
    int exec() override;
    // Escape: cancels the transaction.
    void reject() override;

    // Shows which of `nCount` drawings this window works on (nIndex from 1);
    // nothing is shown for a single drawing.
    void SetPosition(int nIndex, int nCount);

    CTransaction& GetTransaction() const { return m_transaction; }
    qint64 SentBytes() const { return m_transaction.SentBytes(); }
    qint64 ReceivedBytes() const { return m_transaction.ReceivedBytes(); }
    bool HasEnded() const { return m_transaction.HasEnded(); }
    const CAnimateCtrl* Animation() const { return m_pAnimate; }
    // The text shown above the animation.
    QString MessageText() const;
    // The bar of a transaction of known size; hidden otherwise.
    const QProgressBar* ProgressBar() const { return m_pProgress; }

private:
    // CTransaction::IObserver
    void OnProgress(qint64 nSent, qint64 nReceived) override;
    void OnEnded(int nResult) override;

    void UpdateMessage();
    void UpdateProgressBar();

    CTransaction& m_transaction;
    QString m_strPosition;
    QLabel* m_pMessage;
    QLabel* m_pSentCount;
    QLabel* m_pReceivedCount;
    CAnimateCtrl* m_pAnimate;
    QProgressBar* m_pProgress;
    // The counters change with every read and write; they and the bar are
    // painted at most every tenth of a second.
    CRepaintThrottle* m_pRepaint = nullptr;
};

// A progress window that owns its transaction, for the windows of the
// commands: CGetFileDlg download(parent, link, target, name) runs like the
// transaction it holds.
template <typename T> class CTransactionDlg : public CWaitDlg {
public:
    template <typename... Args>
    explicit CTransactionDlg(QWidget* parent, Args&&... args)
        : CTransactionDlg(parent, std::make_unique<T>(std::forward<Args>(args)...)) {}

    T& Transaction() const { return *m_pTransaction; }

private:
    CTransactionDlg(QWidget* parent, std::unique_ptr<T> transaction)
        : CWaitDlg(*transaction, parent), m_pTransaction(std::move(transaction)) {}

    std::unique_ptr<T> m_pTransaction;
};
