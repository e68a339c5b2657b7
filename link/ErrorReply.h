#pragma once

#include <QByteArray>
#include <QString>

// What a reply that is not "ok" tells the user: "error" with code 3 is a
// missing file (message 132), "error" with any other code shows the code
// (message 130; a value that is no number reads as 0), any other name is an
// unknown packet (message 131).
QString ErrorReplyText(const QByteArray& name, const QByteArray& value);

// Shows ErrorReplyText in a message box.
void ReportErrorReply(const QByteArray& name, const QByteArray& value);
