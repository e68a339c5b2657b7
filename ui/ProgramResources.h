#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QString>

// The program icon (icon resource 128) in 32 x 32 and 48 x 48.
QIcon ProgramIcon();
// The resource path of one size of the program icon (32 or 48).
QString ProgramIconPath(int size);

// The progress animation (animation resource 132): 19 frames of 272 x 40
// pixels, side by side in one picture, shown at 10 frames per second and
// looping.
class CProgressAnimation {
public:
    static constexpr int kFrameWidth = 272;
    static constexpr int kFrameHeight = 40;
    static constexpr int kFrameCount = 19;
    static constexpr int kFrameIntervalMs = 100;

    // The strip of frames among the program's resources.
    static QString StripPath();

    // Cuts the strip at `path` into its frames. False, with no frames, when
    // the picture cannot be read or is not kFrameCount frames wide.
    bool Load(const QString& path = StripPath());
    bool IsLoaded() const { return !m_frames.isEmpty(); }
    // Frame `index` modulo the frame count, so a running counter loops; a null
    // image before a successful Load.
    QImage GetFrame(int index) const;

private:
    QList<QImage> m_frames;
};
