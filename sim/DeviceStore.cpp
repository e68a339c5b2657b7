#include "sim/DeviceStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

const QString kExtension = QStringLiteral(".ksd");

} // namespace

bool CDeviceStore::Prepare() const {
    return QDir().mkpath(m_folder);
}

bool CDeviceStore::IsStorableName(const QByteArray& name) {
    if (name.isEmpty() || name.size() > kMaxNameBytes || name == "." || name == "..")
        return false;
    for (const char c : {'/', '\\', '\0', '\r', '\n'}) {
        if (name.contains(c))
            return false;
    }
    // Only names that come back as the same bytes: anything else would be
    // stored under a name with U+FFFD in place of the bad bytes.
    return QString::fromUtf8(name).toUtf8() == name;
}

QList<CDeviceStore::CEntry> CDeviceStore::List() const {
    QList<CEntry> entries;
    const QFileInfoList files =
        QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& file : files) {
        const QString fileName = file.fileName();
        if (!fileName.endsWith(kExtension, Qt::CaseSensitive))
            continue;
        const QByteArray name = fileName.chopped(kExtension.size()).toUtf8();
        if (IsStorableName(name))
            entries.append({name, file.size(), file.lastModified()});
    }
    std::sort(entries.begin(), entries.end(),
              [](const CEntry& a, const CEntry& b) { return a.m_name < b.m_name; });
    return entries;
}

bool CDeviceStore::Exists(const QByteArray& name) const {
    return QFileInfo(PathOf(name)).isFile();
}

CDeviceStore::Result CDeviceStore::Read(const QByteArray& name, qint64 maxBytes,
                                        QByteArray& bytes) const {
    bytes.clear();
    QFile file(PathOf(name));
    if (!QFileInfo(file).isFile())
        return Result::Missing;
    if (file.size() > maxBytes || !file.open(QIODevice::ReadOnly))
        return Result::Failed;
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError ? Result::Done : Result::Failed;
}

bool CDeviceStore::Write(const QByteArray& name, const QByteArray& bytes) const {
    QSaveFile file(PathOf(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

CDeviceStore::Result CDeviceStore::Remove(const QByteArray& name) const {
    const QString path = PathOf(name);
    if (!QFileInfo(path).isFile())
        return Result::Missing;
    return QFile::remove(path) ? Result::Done : Result::Failed;
}

QByteArray CDeviceStore::AlternativeName(const QByteArray& name) const {
    const QString base = QString::fromUtf8(name);
    for (int number = 2;; ++number) {
        const QByteArray suffix = '_' + QByteArray::number(number);
        QString shortened = base;
        while (!shortened.isEmpty() && shortened.toUtf8().size() + suffix.size() > kMaxNameBytes) {
            shortened.chop(shortened.back().isLowSurrogate() ? 2 : 1);
        }
        const QByteArray candidate = shortened.toUtf8() + suffix;
        if (!Exists(candidate))
            return candidate;
    }
}

QString CDeviceStore::PathOf(const QByteArray& name) const {
    return m_folder + u'/' + QString::fromUtf8(name) + kExtension;
}
