#include "base/ProfileFile.h"

#include "base/ProfileText.h"
#include "base/TextRoutines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

namespace {

enum class ReadResult { Missing, Read, Unreadable };

ReadResult ReadProfile(const QString& path, CProfileText& text) {
    QFile file(path);
    if (!file.exists())
        return ReadResult::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::Unreadable;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadResult::Unreadable;
    // An empty file has no encoding of its own yet: it is written as a new one.
    if (data.isEmpty())
        return ReadResult::Missing;
    text = CProfileText::Decode(data);
    return ReadResult::Read;
}

bool WriteProfile(const QString& path, const CProfileText& text) {
    const std::optional<QByteArray> bytes = text.Encode();
    if (!bytes)
        return false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    // Written beside and then renamed over the old file, so a failure never
    // leaves a half-written settings file.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(*bytes);
    return file.commit();
}

std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key) {
    CProfileText text;
    if (ReadProfile(path, text) != ReadResult::Read)
        return {};
    return text.GetValue(section, key);
}

} // namespace

QString CProfileFile::GetString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    return ReadValue(m_strPath, section, key).value_or(defaultValue);
}

int CProfileFile::GetInt(const QString& section, const QString& key, int defaultValue) const {
    const std::optional<QString> value = ReadValue(m_strPath, section, key);
    if (!value || value->isEmpty())
        return defaultValue;
    return ReadDecimalInt(value->toUtf8());
}

bool CProfileFile::WriteString(const QString& section, const QString& key, const QString& value) {
    CProfileText text;
    if (ReadProfile(m_strPath, text) == ReadResult::Unreadable || !text.IsExact())
        return false;
    return text.SetValue(section, key, value) && WriteProfile(m_strPath, text);
}

bool CProfileFile::WriteInt(const QString& section, const QString& key, qint32 value) {
    return WriteString(section, key, QString::number(value));
}
