#include "base/ProfileFile.h"

#include "base/TextRoutines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringConverter>
#include <QStringList>

#include <optional>

namespace {

// The file as lines, with what is needed to write it back the same way.
struct CProfileText {
    QStringList m_lines; // without their line breaks
    QString m_strNewline = QStringLiteral("\r\n");
    QStringConverter::Encoding m_encoding = QStringConverter::Utf16LE;
    bool m_bByteOrderMark = true;
    // False when the bytes did not decode cleanly: writing the text back
    // would replace what could not be decoded.
    bool m_bExact = true;
};

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

    const std::optional<QStringConverter::Encoding> marked =
        QStringConverter::encodingForData(data);
    text.m_encoding = marked.value_or(QStringConverter::Utf8);
    text.m_bByteOrderMark = marked.has_value();
    QStringDecoder decoder(text.m_encoding);
    const QString content = decoder.decode(data);
    text.m_bExact = !decoder.hasError();

    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    const QRegularExpressionMatch firstBreak = lineBreak.match(content);
    if (firstBreak.hasMatch())
        text.m_strNewline = firstBreak.captured();
    if (!content.isEmpty()) {
        text.m_lines = content.split(lineBreak);
        // A final line break leaves an empty piece that is no line of its own.
        if (text.m_lines.size() > 1 && text.m_lines.last().isEmpty())
            text.m_lines.removeLast();
    }
    return ReadResult::Read;
}

bool WriteProfile(const QString& path, const CProfileText& text) {
    QString content = text.m_lines.join(text.m_strNewline);
    if (!text.m_lines.isEmpty())
        content += text.m_strNewline;
    QStringEncoder encoder(text.m_encoding, text.m_bByteOrderMark
                                                ? QStringConverter::Flag::WriteBom
                                                : QStringConverter::Flag::Default);
    const QByteArray bytes = encoder.encode(content);
    if (encoder.hasError())
        return false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    // Written beside and then renamed over the old file, so a failure never
    // leaves a half-written settings file.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

// The name of a "[name]" line, or nothing for any other line.
std::optional<QStringView> SectionName(QStringView line) {
    line = line.trimmed();
    if (!line.startsWith(u'['))
        return {};
    const qsizetype close = line.lastIndexOf(u']');
    if (close < 1)
        return {};
    return line.mid(1, close - 1).trimmed();
}

// The key of a "key=value" line, or nothing when the line has no '='.
std::optional<QStringView> KeyName(QStringView line) {
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return {};
    return line.left(equals).trimmed();
}

bool SameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a key is, or where it would go.
struct CLocation {
    qsizetype m_nSection = -1;   // the section's "[name]" line
    qsizetype m_nKey = -1;       // the key's line
    qsizetype m_nLastEntry = -1; // the section's last line that is not blank
};

CLocation Locate(const QStringList& lines, QStringView section, QStringView key) {
    CLocation at;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<QStringView> name = SectionName(lines[i]);
        if (at.m_nSection < 0) {
            if (name && SameName(*name, section))
                at.m_nSection = at.m_nLastEntry = i;
            continue;
        }
        if (name)
            break;
        if (!QStringView(lines[i]).trimmed().isEmpty())
            at.m_nLastEntry = i;
        const std::optional<QStringView> lineKey = KeyName(lines[i]);
        if (lineKey && SameName(*lineKey, key)) {
            at.m_nKey = i;
            break;
        }
    }
    return at;
}

bool IsQuoted(QStringView text) {
    return text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
           text.back() == text.front();
}

QString ValueOf(QStringView line) {
    QStringView value = line.mid(line.indexOf(u'=') + 1).trimmed();
    if (IsQuoted(value))
        value = value.mid(1, value.size() - 2);
    return value.toString();
}

// The value as written after '=', quoted when reading it back would
// otherwise change it.
QString EncodeValue(const QString& value) {
    if (IsQuoted(value) || QStringView(value).trimmed().size() != value.size())
        return u'"' + value + u'"';
    return value;
}

bool IsOneLine(QStringView text) {
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(QChar(0));
}

std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key) {
    CProfileText text;
    if (ReadProfile(path, text) != ReadResult::Read)
        return {};
    const CLocation at =
        Locate(text.m_lines, QStringView(section).trimmed(), QStringView(key).trimmed());
    if (at.m_nKey < 0)
        return {};
    return ValueOf(text.m_lines[at.m_nKey]);
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
    const QString sectionName = section.trimmed();
    const QString keyName = key.trimmed();
    if (!IsOneLine(sectionName) || !IsOneLine(keyName) || !IsOneLine(value) || keyName.isEmpty() ||
        keyName.contains(u'=') || keyName.startsWith(u'['))
        return false;

    CProfileText text;
    if (ReadProfile(m_strPath, text) == ReadResult::Unreadable || !text.m_bExact)
        return false;
    const CLocation at = Locate(text.m_lines, sectionName, keyName);
    const QString encoded = EncodeValue(value);
    if (at.m_nKey >= 0) {
        // Keeps the key as the file spells it.
        const QString& line = text.m_lines[at.m_nKey];
        text.m_lines[at.m_nKey] = KeyName(line)->toString() + u'=' + encoded;
    } else if (at.m_nSection >= 0) {
        text.m_lines.insert(at.m_nLastEntry + 1, keyName + u'=' + encoded);
    } else {
        text.m_lines.append(u'[' + sectionName + u']');
        text.m_lines.append(keyName + u'=' + encoded);
    }
    return WriteProfile(m_strPath, text);
}

bool CProfileFile::WriteInt(const QString& section, const QString& key, qint32 value) {
    return WriteString(section, key, QString::number(value));
}
