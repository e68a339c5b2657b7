#include "link/GetFileTransaction.h"

#include "base/FileNameText.h"
#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "link/DeviceLink.h"
#include "link/ErrorReply.h"
#include "link/Packet.h"
#include "link/TransferPackets.h"
#include "model/KSData.h"

#include <QBuffer>

CGetFileTransaction::CGetFileTransaction(CDeviceLink& link, IDownloadTarget& target,
                                         const QByteArray& rawName, qint64 nSizeBytes)
    : CTransaction(link), m_target(target), m_strFileName(rawName), m_nSizeBytes(nSizeBytes) {}

qint64 CGetFileTransaction::ExpectedReceiveBytes() const {
    // A size from the app whose reply could never pass the link is no
    // estimate (and is kept from overflowing here).
    if (m_nSizeBytes < 0 || m_nSizeBytes > CDeviceLink::MAX_LINE_LENGTH / 2)
        return 0;
    // "ok:", the digest, its separator, two digits a byte and the line feed.
    return 3 + 32 + 1 + 2 * m_nSizeBytes + 1;
}

QString CGetFileTransaction::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_GET_FILE);
}

void CGetFileTransaction::StartRequest() {
    SendRequest(MakeRequestLine("GetFile", m_strFileName));
}

void CGetFileTransaction::OnPacket(QByteArray name, QByteArray value) {
    if (name != "ok") {
        ReportErrorReply(name, value);
        End(kFailed);
        return;
    }
    CDownloadReply reply = CDownloadReply::Parse(value);
    value = QByteArray(); // the hexadecimal text is no longer needed
    if (!reply.IsVerified()) {
        ShowMessage(LoadStringResource(IDS_HASH_MISMATCH));
        End(kFailed);
        return;
    }
    // A verified empty payload holds no document; nothing is read from it.
    if (reply.Document().isEmpty()) {
        End(kFailed);
        return;
    }
    QByteArray bytes = reply.Document();
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    CKSData document;
    if (!document.Load(file, nullptr)) {
        End(kFailed);
        return;
    }
    // The drawing arrived whole: it is saved even when the app goes away
    // while the user picks the file (the transaction has then ended with 2
    // and this end is ignored, so the caller stops its loop).
    const bool saved = m_target.SaveDownloadedDocument(
        document, bytes, NormalizeFileName(Utf8ToWide(m_strFileName)));
    End(saved ? kSucceeded : kFailed);
}
