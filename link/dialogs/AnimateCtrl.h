#pragma once

#include "ui/ProgramResources.h"

#include <QTimer>
#include <QWidget>

// The progress window's animation control: plays the program's progress
// animation in a loop, centred on a transparent background, while it is
// shown.
class CAnimateCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CAnimateCtrl(QWidget* parent = nullptr);

    bool IsPlaying() const { return m_timer.isActive(); }
    int CurrentFrame() const { return m_nFrame; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    CProgressAnimation m_animation;
    int m_nFrame = 0;
    QTimer m_timer;
};
