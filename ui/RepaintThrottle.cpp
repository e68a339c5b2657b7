#include "ui/RepaintThrottle.h"

#include <QWidget>

CRepaintThrottle::CRepaintThrottle(QList<QWidget*> widgets, QObject* parent, int nIntervalMs)
    : QObject(parent), m_widgets(std::move(widgets)), m_nIntervalMs(nIntervalMs) {
    for (const QWidget* widget : m_widgets)
        Q_ASSERT(!widget->isWindow());
    m_release.setSingleShot(true);
    connect(&m_release, &QTimer::timeout, this, &CRepaintThrottle::Release);
}

void CRepaintThrottle::Changed() {
    if (m_release.isActive())
        return; // held already; the release paints this change too
    const qint64 nElapsed = m_sincePaint.isValid() ? m_sincePaint.elapsed() : m_nIntervalMs;
    if (nElapsed < m_nIntervalMs) {
        SetUpdatesEnabled(false);
        m_release.start(int(m_nIntervalMs - nElapsed));
        return;
    }
    m_sincePaint.start();
}

void CRepaintThrottle::SetUpdatesEnabled(bool bEnabled) {
    for (QWidget* widget : m_widgets)
        widget->setUpdatesEnabled(bEnabled);
}

void CRepaintThrottle::Release() {
    // Enabling updates again repaints each whole widget.
    SetUpdatesEnabled(true);
    m_sincePaint.start();
}
