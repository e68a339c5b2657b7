#include "link/dialogs/DeleteFileDlg.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "link/ErrorReply.h"
#include "link/Packet.h"

CDeleteFileDlg::CDeleteFileDlg(CDeviceLink& link, const QByteArray& rawName, QWidget* parent)
    : CWaitDlg(link, parent), m_strFileName(rawName) {}

QString CDeleteFileDlg::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_DELETE);
}

void CDeleteFileDlg::StartRequest() {
    SendRequest(MakeRequestLine("DeleteFile", m_strFileName));
}

void CDeleteFileDlg::OnPacket(QByteArray name, QByteArray value) {
    if (name == "ok") {
        done(kSucceeded);
        return;
    }
    ReportErrorReply(name, value);
    done(kFailed);
}
