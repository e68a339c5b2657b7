#include "link/dialogs/ReportErrorReply.h"

#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"

void ReportErrorReply(const QByteArray& name, const QByteArray& value) {
    if (name != "error") {
        ShowMessage(LoadStringResource(IDS_UNKNOWN_PACKET));
        return;
    }
    const int code = ReadDecimalInt(value);
    if (code == 3)
        ShowMessage(LoadStringResource(IDS_FILE_NOT_FOUND));
    else
        ShowMessage(FormatStringResource(IDS_ERROR_REPLY, {code}));
}
