#include "base/IniFile.h"

#include "base/FileNameText.h"
#include "base/MessageSink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString SectionOrGeneral(const QString& section) {
    return section.isEmpty() ? QStringLiteral("General") : section;
}

void CreateUnicodeFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return;
    static const char kByteOrderMark[] = {'\xFF', '\xFE'};
    if (file.write(kByteOrderMark, sizeof kByteOrderMark) != qint64(sizeof kByteOrderMark) ||
        !file.flush())
        ShowMessage(file.errorString());
}

} // namespace

CIniFile::CIniFile(bool createUnicode) : CIniFile(SettingsFilePath(), createUnicode) {}

CIniFile::CIniFile(const QString& path, bool createUnicode) : m_profile(path) {
    if (createUnicode && !QFileInfo::exists(path))
        CreateUnicodeFile(path);
}

QString CIniFile::GetString(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    return m_profile.GetString(SectionOrGeneral(section), key, defaultValue);
}

int CIniFile::GetInt(const QString& section, const QString& key, int defaultValue) const {
    return m_profile.GetInt(SectionOrGeneral(section), key, defaultValue);
}

bool CIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    return m_profile.WriteString(SectionOrGeneral(section), key, value);
}

bool CIniFile::WriteInt(const QString& section, const QString& key, qint32 value) {
    return m_profile.WriteInt(SectionOrGeneral(section), key, value);
}

QString SettingsFilePath(const QString& programPath, bool programFolderWritable,
                         const QString& configFolder) {
    const QString besideProgram = ReplaceExtension(programPath, QStringLiteral(".ini"));
    if (programFolderWritable)
        return besideProgram;
    return QDir(configFolder).filePath(QFileInfo(besideProgram).fileName());
}

QString SettingsFilePath() {
    const QString programPath = QCoreApplication::applicationFilePath();
    return SettingsFilePath(programPath,
                            QFileInfo(QFileInfo(programPath).absolutePath()).isWritable(),
                            QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}
