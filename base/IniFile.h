#pragma once

#include "base/ProfileFile.h"

#include <QString>

// The program's settings file, "KomaSlateUtility.ini": the program file's
// path with its extension replaced by ".ini", in the program's own folder when
// that folder is writable and in the user's configuration folder otherwise
// (an installed program cannot write beside itself).
class CIniFile {
public:
    // The settings file of the program (SettingsFilePath()).
    explicit CIniFile(bool createUnicode = false);
    // With `createUnicode`, a missing file is created at once, empty and in
    // UTF-16LE (the two bytes FF FE). When it cannot be created nothing is
    // reported; when writing the mark fails, the error is shown. The object is
    // usable either way.
    CIniFile(const QString& path, bool createUnicode);
    virtual ~CIniFile() = default;

    const QString& GetPath() const { return m_profile.GetPath(); }

    // In all of these an empty section name stands for "General".
    QString GetString(const QString& section, const QString& key,
                      const QString& defaultValue) const;
    int GetInt(const QString& section, const QString& key, int defaultValue) const;
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInt(const QString& section, const QString& key, qint32 value);

private:
    CProfileFile m_profile;
};

// Where the settings file of the program at `programPath` lives: beside it
// when `programFolderWritable`, otherwise in `configFolder` under the same name.
QString SettingsFilePath(const QString& programPath, bool programFolderWritable,
                         const QString& configFolder);
// SettingsFilePath() for the running program, with the user's configuration
// folder of the application as the alternative.
QString SettingsFilePath();
