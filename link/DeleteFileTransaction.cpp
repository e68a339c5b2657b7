#include "link/DeleteFileTransaction.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "link/ErrorReply.h"
#include "link/Packet.h"

CDeleteFileTransaction::CDeleteFileTransaction(CDeviceLink& link, const QByteArray& rawName)
    : CTransaction(link), m_strFileName(rawName) {}

QString CDeleteFileTransaction::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_DELETE);
}

void CDeleteFileTransaction::StartRequest() {
    SendRequest(MakeRequestLine("DeleteFile", m_strFileName));
}

void CDeleteFileTransaction::OnPacket(QByteArray name, QByteArray value) {
    if (name == "ok") {
        End(kSucceeded);
        return;
    }
    ReportErrorReply(name, value);
    End(kFailed);
}
