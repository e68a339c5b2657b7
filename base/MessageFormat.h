#pragma once

#include <QString>

#include <initializer_list>
#include <variant>

// One argument of a message: a text or a signed integer.
class CMessageArg {
public:
    CMessageArg(const QString& text) : m_value(text) {}
    CMessageArg(const char16_t* text) : m_value(QString::fromUtf16(text)) {}
    CMessageArg(qint64 number) : m_value(number) {}
    CMessageArg(int number) : m_value(qint64(number)) {}

    QString AsText() const;
    qint64 AsNumber() const;

private:
    std::variant<QString, qint64> m_value;
};

// Formats a message in the insert syntax of the platform's message formatter:
// "%1" to "%99" insert an argument, optionally followed by a printf-style type
// between exclamation marks ("%1!s!" as text, "%2!d!" as signed decimal),
// "%n" is a line break ("\r\n"), "%%" a percent sign, "%0" ends the message.
// Any other character after '%' stands for itself.
QString FormatMessageText(const QString& format, std::initializer_list<CMessageArg> args = {});

// Formats plain directives: "%d" takes the next argument as a signed decimal,
// "%s" as a text, "%%" is a percent sign. Missing arguments insert nothing.
QString FormatDirectives(const QString& format, std::initializer_list<CMessageArg> args);

// The string-table entry `id` formatted with FormatMessageText.
QString FormatStringResource(int id, std::initializer_list<CMessageArg> args = {});
