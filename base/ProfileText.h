#pragma once

#include <QByteArray>
#include <QString>
#include <QStringConverter>
#include <QStringList>

#include <optional>

// The text of an INI file in memory: "[section]" lines, each followed by its
// "key=value" lines. Section names and keys are compared ignoring case and
// surrounding white space; the first matching section and, in it, the first
// matching key count. The text remembers its encoding, byte-order mark and
// line break, so that it is written back the way it was read.
class CProfileText {
public:
    // A text with no lines, written as UTF-16LE beginning with the
    // byte-order mark FF FE and with CR LF line breaks: a new file.
    CProfileText() = default;

    // The text of a file's bytes: UTF-8, UTF-16 or UTF-32 with a byte-order
    // mark, otherwise UTF-8 without one. Empty bytes give a new file's text.
    static CProfileText Decode(const QByteArray& data);
    // The bytes of the text in its encoding; nothing when some character
    // cannot be encoded.
    std::optional<QByteArray> Encode() const;

    // False when the bytes did not decode cleanly: writing the text back
    // would replace what could not be decoded.
    bool IsExact() const { return m_bExact; }
    // The lines, without their line breaks.
    const QStringList& GetLines() const { return m_lines; }

    // The value of `key` in `section`, or nothing when the key is missing.
    // White space around the value is dropped, and so is one pair of
    // matching quotes ('...' or "...") enclosing it.
    std::optional<QString> GetValue(const QString& section, const QString& key) const;
    // Sets `key` in `section`: an existing key line is rewritten in place, a
    // new key goes after the last line of its section, a missing section is
    // appended at the end. A value that would not read back unchanged (white
    // space at either end, or enclosed in matching quotes) is written inside
    // double quotes. Returns false, changing nothing, when the names or the
    // value cannot be written as one line (a line break or NUL anywhere, an
    // empty key, a key with '=' or starting with '[').
    bool SetValue(const QString& section, const QString& key, const QString& value);

private:
    QStringList m_lines;
    QString m_strNewline = QStringLiteral("\r\n");
    QStringConverter::Encoding m_encoding = QStringConverter::Utf16LE;
    bool m_bByteOrderMark = true;
    bool m_bExact = true;
};
