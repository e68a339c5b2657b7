#include "link/GetProtVerTransaction.h"

#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "link/ErrorReply.h"
#include "link/Packet.h"

QString CGetProtVerTransaction::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_VERSION);
}

void CGetProtVerTransaction::StartRequest() {
    SendRequest(MakeRequestLine("GetProtVer"));
}

void CGetProtVerTransaction::OnPacket(QByteArray name, QByteArray value) {
    if (name != "ok") {
        ReportErrorReply(name, value);
        End(kFailed);
        return;
    }
    // The number is clamped to the int range, so a huge one is refused as
    // too new rather than wrapping round into an accepted one.
    m_nProtocolVersion = ReadDecimalInt(value);
    if (m_nProtocolVersion <= kNewestVersion) {
        End(kSucceeded);
        return;
    }
    ShowMessage(FormatStringResource(IDS_VERSION_TOO_NEW));
    End(kFailed);
}
