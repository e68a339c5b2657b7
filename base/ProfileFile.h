#pragma once

#include <QString>

// Named values in an INI text file, read and written by the rules of
// CProfileText. Every call reads the file afresh and every write rewrites it
// at once.
//
// A file that does not exist yet is created as UTF-16LE text beginning with
// the byte-order mark FF FE. An existing file keeps its encoding: UTF-8,
// UTF-16 or UTF-32 with a byte-order mark, otherwise UTF-8 without one.
class CProfileFile {
public:
    explicit CProfileFile(const QString& path) : m_strPath(path) {}

    const QString& GetPath() const { return m_strPath; }

    // The value of `key` in `section`, or `defaultValue` when the key is
    // missing or the file cannot be read. White space around the value is
    // dropped, and so is one pair of matching quotes ('...' or "...")
    // enclosing it.
    QString GetString(const QString& section, const QString& key,
                      const QString& defaultValue) const;
    // The value read as a decimal integer (leading white space, a sign,
    // digits up to the first non-digit; 0 when there are none). A missing
    // or empty value gives `defaultValue`.
    int GetInt(const QString& section, const QString& key, int defaultValue) const;

    // Sets `key` in `section`: an existing key line is rewritten in place,
    // a new key goes after the last line of its section, a missing section is
    // appended at the end of the file. A value that would not read back
    // unchanged (white space at either end, or enclosed in matching quotes)
    // is written inside double quotes. Returns false, leaving the file as it
    // was, when the names or the value cannot be written as one line (a line
    // break or NUL anywhere, an empty key, a key with '=' or starting with
    // '['), when an existing file cannot be read or does not decode cleanly
    // (rewriting it would damage it), or when the file cannot be saved.
    bool WriteString(const QString& section, const QString& key, const QString& value);
    // Writes `value` as decimal text.
    bool WriteInt(const QString& section, const QString& key, qint32 value);

private:
    QString m_strPath;
};
