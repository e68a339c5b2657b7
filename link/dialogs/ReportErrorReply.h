#pragma once

#include <QByteArray>

// Tells the user about a reply that is not "ok": "error" with code 3 is a
// missing file (message 132), "error" with any other code shows the code
// (message 130; a value that is no number reads as 0), any other name is an
// unknown packet (message 131).
void ReportErrorReply(const QByteArray& name, const QByteArray& value);
