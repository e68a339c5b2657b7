#pragma once

#include <QByteArray>
#include <QString>

// Conversions between wide strings and the ANSI code page of the desktop
// editor's files (code page 932, Japanese), which holds layer and page names.
namespace AnsiCodePage {

// The text in code page 932. A character the code page cannot hold becomes
// '?'. With `maxBytes` >= 0 the result ends before the first character that
// would not fit whole into that many bytes, so no character is ever split.
QByteArray FromUnicode(const QString& text, qsizetype maxBytes = -1);

// The text of code page 932 bytes. A byte that starts no valid character
// becomes '?'; a lead byte left alone at the end is dropped.
QString ToUnicode(const QByteArray& bytes);

} // namespace AnsiCodePage
