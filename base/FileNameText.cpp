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

// The longest start of `name` that takes at most nMaxBytes in UTF-8, ending
// between two characters (never inside a surrogate pair).
QString Utf8Prefix(const QString& name, qsizetype nMaxBytes) {
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < name.size()) {
        const char32_t code = name.at(end).isHighSurrogate() && end + 1 < name.size() &&
                                      name.at(end + 1).isLowSurrogate()
                                  ? QChar::surrogateToUcs4(name.at(end), name.at(end + 1))
                                  : name.at(end).unicode();
        const qsizetype units = code > 0xFFFF ? 2 : 1;
        const qsizetype length = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        if (bytes + length > nMaxBytes)
            break;
        bytes += length;
        end += units;
    }
    return name.left(end);
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
    return Utf8Prefix(safe, kMaxSafeFileNameBytes);
}

QString ShortenedForDisplay(const QString& name) {
    if (name.size() <= kMaxShownNameLength)
        return name;
    // Half the room on either side of the ellipsis, less where that would
    // cut a surrogate pair.
    const qsizetype half = (kMaxShownNameLength - 1) / 2;
    qsizetype headEnd = half;
    if (name.at(headEnd - 1).isHighSurrogate())
        --headEnd;
    qsizetype tailStart = name.size() - half;
    if (name.at(tailStart).isLowSurrogate())
        ++tailStart;
    return name.left(headEnd) + QChar(0x2026) + name.mid(tailStart);
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
