#include "link/dialogs/AnimateCtrl.h"

#include <QPainter>

CAnimateCtrl::CAnimateCtrl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    m_animation.Load();
    m_timer.setInterval(CProgressAnimation::kFrameIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_nFrame = (m_nFrame + 1) % CProgressAnimation::kFrameCount;
        update();
    });
}

void CAnimateCtrl::paintEvent(QPaintEvent*) {
    const QImage frame = m_animation.GetFrame(m_nFrame);
    if (frame.isNull())
        return;
    QRect target(QPoint(0, 0), frame.size());
    target.moveCenter(rect().center());
    QPainter(this).drawImage(target, frame);
}

void CAnimateCtrl::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_animation.IsLoaded())
        m_timer.start();
}

void CAnimateCtrl::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QWidget::hideEvent(event);
}
