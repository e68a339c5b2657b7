#include "link/ErrorReply.h"

#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"

QString ErrorReplyText(const QByteArray& name, const QByteArray& value) {
    if (name != "error")
        return LoadStringResource(IDS_UNKNOWN_PACKET);
    const int code = ReadDecimalInt(value);
    if (code == 3)
        return LoadStringResource(IDS_FILE_NOT_FOUND);
    return FormatStringResource(IDS_ERROR_REPLY, {code});
}

void ReportErrorReply(const QByteArray& name, const QByteArray& value) {
    ShowMessage(ErrorReplyText(name, value));
}
