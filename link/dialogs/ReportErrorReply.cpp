#include "link/dialogs/ReportErrorReply.h"

#include "link/text/TextRoutines.h"
#include "res/MessageFormat.h"
#include "res/MessageSink.h"
#include "res/StringTable.h"

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
