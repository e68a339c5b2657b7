#include "link/dialogs/GetProtVerDlg.h"

#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "link/ErrorReply.h"
#include "link/Packet.h"

CGetProtVerDlg::CGetProtVerDlg(CDeviceLink& link, QWidget* parent) : CWaitDlg(link, parent) {}

QString CGetProtVerDlg::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_VERSION);
}

void CGetProtVerDlg::StartRequest() {
    SendRequest(MakeRequestLine("GetProtVer"));
}

void CGetProtVerDlg::OnPacket(QByteArray name, QByteArray value) {
    if (name != "ok") {
        ReportErrorReply(name, value);
        done(kFailed);
        return;
    }
    // The number is clamped to the int range, so a huge one is refused as
    // too new rather than wrapping round into an accepted one.
    m_nProtocolVersion = ReadDecimalInt(value);
    if (m_nProtocolVersion <= kNewestVersion) {
        done(kSucceeded);
        return;
    }
    ShowMessage(FormatStringResource(IDS_VERSION_TOO_NEW));
    done(kFailed);
}
