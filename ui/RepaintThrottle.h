#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class QWidget;

// Lets widgets whose content changes many times a second repaint at most
// once per interval. Painting a list row or a counter costs far more than
// changing it, and a burst of changes (a reply a millisecond) would
// otherwise paint once for each. The first change after a quiet interval
// paints as usual; later ones hold the widgets' updates until the interval
// has passed, then they paint once with everything changed meanwhile. The
// content stays current all the time: only painting waits.
//
// The widgets are child widgets: a window whose updates are switched back
// on is not repainted by Qt.
class CRepaintThrottle : public QObject {
public:
    static constexpr int kDefaultIntervalMs = 100;

    // The throttle belongs to `parent` and goes with it; the widgets must
    // live as long.
    CRepaintThrottle(QList<QWidget*> widgets, QObject* parent,
                     int nIntervalMs = kDefaultIntervalMs);

    // The widgets' content has changed (call after changing it).
    void Changed();
    // Whether painting is being held back now.
    bool IsHolding() const { return m_release.isActive(); }

private:
    void SetUpdatesEnabled(bool bEnabled);
    void Release();

    QList<QWidget*> m_widgets;
    int m_nIntervalMs;
    QElapsedTimer m_sincePaint;
    QTimer m_release;
};
