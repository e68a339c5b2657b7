#include "base/FileNameText.h"

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
