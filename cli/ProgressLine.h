#pragma once

#include "link/Transaction.h"

#include <QElapsedTimer>
#include <QString>

// The progress of one transfer on stderr: "3/10 name: 12345 bytes". On a
// terminal the line redraws itself (at most ten times a second); otherwise
// nothing is printed while the bytes move, so a log gets no flood.
class CProgressLine : public CTransaction::IObserver {
public:
    CProgressLine();

    // The drawing the next transfer is about.
    void Begin(int nIndex, int nCount, const QString& name);
    // Replaces the progress line with the final text of this drawing.
    void Finish(const QString& text);

    void OnProgress(qint64 nSent, qint64 nReceived) override;
    void OnEnded(int) override {}

private:
    void Draw(qint64 nBytes);

    bool m_bTerminal;
    bool m_bDrawn = false;
    int m_nIndex = 0;
    int m_nCount = 0;
    QString m_strName;
    QElapsedTimer m_sinceDraw;
};
