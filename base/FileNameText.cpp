#include "base/FileNameText.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QString NormalizeFileName(const QString& name) {
    return name.normalized(QString::NormalizationForm_C);
}

namespace {

bool IsUnsafeCharacter(QChar c) {
    return c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7F;
}

} // namespace

QString MakeSafeFileName(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("_");
    if (name == u"." || name == u"..")
        return QString(name.size(), u'_');

    QString safe = name;
    for (QChar& c : safe) {
        if (IsUnsafeCharacter(c))
            c = u'_';
    }
    if (safe.startsWith(u'.'))
        safe[0] = u'_';
    return safe;
}

namespace {

// Where the extension of the path's last component starts, or -1.
qsizetype ExtensionStart(const QString& path) {
    const qsizetype nameStart = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot >= nameStart ? dot : -1;
}

} // namespace

QString ExtensionOf(const QString& path) {
    const qsizetype dot = ExtensionStart(path);
    return dot < 0 ? QString() : path.mid(dot);
}

QString RemoveExtension(const QString& path) {
    const qsizetype dot = ExtensionStart(path);
    return dot < 0 ? path : path.left(dot);
}

QString ReplaceExtension(const QString& path, const QString& extension) {
    return RemoveExtension(path) + extension;
}

QString FreeFilePath(const QString& folder, const QString& baseName, const QString& extension) {
    const QDir dir(folder);
    QString path = dir.filePath(baseName + extension);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(baseName + u'_' + QString::number(n) + extension);
    return path;
}
