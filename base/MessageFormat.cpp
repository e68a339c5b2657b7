#include "base/MessageFormat.h"

#include "base/StringTable.h"

#include <vector>

QString CMessageArg::AsText() const {
    if (const auto* text = std::get_if<QString>(&m_value))
        return *text;
    return QString::number(std::get<qint64>(m_value));
}

qint64 CMessageArg::AsNumber() const {
    if (const auto* number = std::get_if<qint64>(&m_value))
        return *number;
    return std::get<QString>(m_value).toLongLong();
}

namespace {

QString FormatInsert(const CMessageArg& arg, QStringView type) {
    if (type == u"d" || type == u"i" || type == u"ld" || type == u"I64d")
        return QString::number(arg.AsNumber());
    if (type == u"u" || type == u"lu")
        return QString::number(quint32(arg.AsNumber()));
    if (type == u"x")
        return QString::number(quint32(arg.AsNumber()), 16);
    if (type == u"X")
        return QString::number(quint32(arg.AsNumber()), 16).toUpper();
    return arg.AsText();
}

} // namespace

QString FormatMessageText(const QString& format, std::initializer_list<CMessageArg> args) {
    const std::vector<CMessageArg> argv(args);
    QString out;
    out.reserve(format.size() + 32);
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format[i];
        if (c != u'%' || i + 1 >= n) {
            out += c;
            continue;
        }
        const QChar next = format[++i];
        if (next == u'n') {
            out += QStringLiteral("\r\n");
        } else if (next == u'0') {
            break;
        } else if (next.isDigit()) {
            int index = next.digitValue();
            if (i + 1 < n && format[i + 1].isDigit())
                index = index * 10 + format[++i].digitValue();
            QStringView type = u"s";
            if (i + 1 < n && format[i + 1] == u'!') {
                const qsizetype close = format.indexOf(u'!', i + 2);
                if (close > 0) {
                    type = QStringView(format).mid(i + 2, close - i - 2);
                    i = close;
                }
            }
            if (index >= 1 && size_t(index) <= argv.size())
                out += FormatInsert(argv[index - 1], type);
        } else {
            out += next;
        }
    }
    return out;
}

QString FormatDirectives(const QString& format, std::initializer_list<CMessageArg> args) {
    const std::vector<CMessageArg> argv(args);
    size_t nextArg = 0;
    QString out;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format[i];
        if (c != u'%' || i + 1 >= n) {
            out += c;
            continue;
        }
        const QChar directive = format[++i];
        if (directive == u'd' || directive == u's') {
            if (nextArg < argv.size())
                out += FormatInsert(argv[nextArg++], directive == u'd' ? u"d" : u"s");
        } else if (directive == u'%') {
            out += u'%';
        } else {
            out += c;
            out += directive;
        }
    }
    return out;
}

QString FormatStringResource(int id, std::initializer_list<CMessageArg> args) {
    return FormatMessageText(LoadStringResource(id), args);
}
