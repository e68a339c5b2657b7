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

namespace {

// The size the list gave, when a reply carrying it could pass the link;
// otherwise (unknown, or an app's figure that is no estimate) -1.
qint64 PlausibleSize(qint64 nSizeBytes) {
    return nSizeBytes >= 0 && nSizeBytes <= CDeviceLink::MAX_LINE_LENGTH / 2 ? nSizeBytes : -1;
}

} // namespace

CGetFileTransaction::CGetFileTransaction(CDeviceLink& link, IDownloadTarget& target,
                                         const QByteArray& rawName, qint64 nSizeBytes)
    : CTransaction(link), m_target(target), m_strFileName(rawName), m_nSizeBytes(nSizeBytes),
      m_reader(PlausibleSize(nSizeBytes)) {}

qint64 CGetFileTransaction::ExpectedReceiveBytes() const {
    const qint64 nSize = PlausibleSize(m_nSizeBytes);
    if (nSize < 0)
        return 0;
    // "ok:", the digest, its separator, two digits a byte and the line feed.
    return 3 + 32 + 1 + 2 * nSize + 1;
}

QString CGetFileTransaction::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_GET_FILE);
}

void CGetFileTransaction::StartRequest() {
    SendRequest(MakeRequestLine("GetFile", m_strFileName));
}

IValueStream* CGetFileTransaction::StreamValueOf(QByteArrayView name) {
    // One request, one reply: a second "ok" is not mixed into the first.
    if (name != "ok" || m_bReplyStreamed)
        return nullptr;
    m_bReplyStreamed = true;
    return &m_reader;
}

void CGetFileTransaction::OnPacket(QByteArray name, QByteArray value) {
    if (name != "ok") {
        ReportErrorReply(name, value);
        End(kFailed);
        return;
    }
    // A streamed value arrives empty here; one that was not streamed is
    // read now, by the same reader.
    m_reader.AppendValue(value.constData(), value.size());
    value = QByteArray();
    CDownloadReply reply = m_reader.Finish();
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
