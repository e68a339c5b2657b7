#include "ui/ProgramResources.h"

// The pictures are compiled into the static GUI library, which would drop
// their registration unless something refers to it.
static void RegisterPictures() {
    Q_INIT_RESOURCE(resources);
}

namespace {

QString ResourcePath(const QString& name) {
    static const bool registered = (RegisterPictures(), true);
    (void)registered;
    return QStringLiteral(":/komaslate/") + name;
}

} // namespace

QString ProgramIconPath(int size) {
    return ResourcePath(QStringLiteral("icon-%1.png").arg(size));
}

QIcon ProgramIcon() {
    QIcon icon;
    icon.addFile(ProgramIconPath(32), QSize(32, 32));
    icon.addFile(ProgramIconPath(48), QSize(48, 48));
    return icon;
}

QString CProgressAnimation::StripPath() {
    return ResourcePath(QStringLiteral("progress.png"));
}

bool CProgressAnimation::Load(const QString& path) {
    m_frames.clear();
    const QImage strip(path);
    if (strip.size() != QSize(kFrameWidth * kFrameCount, kFrameHeight))
        return false;
    m_frames.reserve(kFrameCount);
    for (int i = 0; i < kFrameCount; ++i)
        m_frames.append(strip.copy(i * kFrameWidth, 0, kFrameWidth, kFrameHeight));
    return true;
}

QImage CProgressAnimation::GetFrame(int index) const {
    if (m_frames.isEmpty())
        return {};
    const int count = int(m_frames.size());
    return m_frames[((index % count) + count) % count];
}
