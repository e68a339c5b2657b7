#include "base/ProfileText.h"

namespace {

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

std::optional<QByteArray> EncodeContent(const QString& content, QStringConverter::Encoding encoding,
                                        bool byteOrderMark) {
    QStringEncoder encoder(encoding, byteOrderMark ? QStringConverter::Flag::WriteBom
                                                   : QStringConverter::Flag::Default);
    QByteArray bytes = encoder.encode(content);
    if (encoder.hasError())
        return {};
    return bytes;
}

// Cuts the content into lines at CR LF, LF and CR, and takes the first of
// these breaks as the text's own. Cut by hand rather than by a regular
// expression, which matches nothing at all in a text holding a lone
// surrogate (a UTF-16 file may, and decodes without error).
QStringList SplitLines(QStringView content, QString& newline) {
    QStringList lines;
    if (content.isEmpty())
        return lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (content[i] != u'\r' && content[i] != u'\n')
            continue;
        const qsizetype breakLength =
            content[i] == u'\r' && i + 1 < content.size() && content[i + 1] == u'\n' ? 2 : 1;
        if (lines.isEmpty())
            newline = content.mid(i, breakLength).toString();
        lines.append(content.mid(start, i - start).toString());
        i += breakLength - 1;
        start = i + 1;
    }
    // A final line break leaves no line of its own.
    if (start < content.size() || lines.isEmpty())
        lines.append(content.mid(start).toString());
    return lines;
}

} // namespace

CProfileText CProfileText::Decode(const QByteArray& data) {
    CProfileText text;
    if (data.isEmpty())
        return text;
    const std::optional<QStringConverter::Encoding> marked =
        QStringConverter::encodingForData(data);
    text.m_encoding = marked.value_or(QStringConverter::Utf8);
    text.m_bByteOrderMark = marked.has_value();
    QStringDecoder decoder(text.m_encoding);
    const QString content = decoder.decode(data);
    // The decoders do not report every sequence they cannot represent: an
    // incomplete sequence at the end or an odd last byte of UTF-16 is left
    // out, and a UTF-32 number beyond U+10FFFF is read as another character.
    // The text is exact only when encoding it again gives the bytes read.
    text.m_bExact = !decoder.hasError() &&
                    EncodeContent(content, text.m_encoding, text.m_bByteOrderMark) == data;

    text.m_lines = SplitLines(content, text.m_strNewline);
    return text;
}

std::optional<QByteArray> CProfileText::Encode() const {
    QString content = m_lines.join(m_strNewline);
    if (!m_lines.isEmpty())
        content += m_strNewline;
    return EncodeContent(content, m_encoding, m_bByteOrderMark);
}

std::optional<QString> CProfileText::GetValue(const QString& section, const QString& key) const {
    const CLocation at =
        Locate(m_lines, QStringView(section).trimmed(), QStringView(key).trimmed());
    if (at.m_nKey < 0)
        return {};
    return ValueOf(m_lines[at.m_nKey]);
}

bool CProfileText::SetValue(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = section.trimmed();
    const QString keyName = key.trimmed();
    if (!IsOneLine(sectionName) || !IsOneLine(keyName) || !IsOneLine(value) || keyName.isEmpty() ||
        keyName.contains(u'=') || keyName.startsWith(u'['))
        return false;

    const CLocation at = Locate(m_lines, sectionName, keyName);
    const QString encoded = EncodeValue(value);
    if (at.m_nKey >= 0) {
        // Keeps the key as the file spells it.
        const QString& line = m_lines[at.m_nKey];
        m_lines[at.m_nKey] = KeyName(line)->toString() + u'=' + encoded;
    } else if (at.m_nSection >= 0) {
        m_lines.insert(at.m_nLastEntry + 1, keyName + u'=' + encoded);
    } else {
        m_lines.append(u'[' + sectionName + u']');
        m_lines.append(keyName + u'=' + encoded);
    }
    return true;
}
