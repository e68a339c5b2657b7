#include "link/dialogs/GetFileDlg.h"

#include "base/FileNameText.h"
#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "link/ErrorReply.h"
#include "link/Packet.h"
#include "link/TransferPackets.h"
#include "model/KSData.h"

#include <QBuffer>

CGetFileDlg::CGetFileDlg(CDeviceLink& link, IDownloadTarget& target, const QByteArray& rawName,
                         QWidget* parent)
    : CWaitDlg(link, parent), m_target(target), m_strFileName(rawName) {}

QString CGetFileDlg::DefaultFileName(const QByteArray& rawName) {
    return NormalizeFileName(Utf8ToWide(rawName));
}

QString CGetFileDlg::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_GET_FILE);
}

void CGetFileDlg::StartRequest() {
    SendRequest(MakeRequestLine("GetFile", m_strFileName));
}

void CGetFileDlg::OnPacket(QByteArray name, QByteArray value) {
    if (name != "ok") {
        ReportErrorReply(name, value);
        done(kFailed);
        return;
    }
    CDownloadReply reply = CDownloadReply::Parse(value);
    value = QByteArray(); // the hexadecimal text is no longer needed
    if (!reply.IsVerified()) {
        ShowMessage(LoadStringResource(IDS_HASH_MISMATCH));
        done(kFailed);
        return;
    }
    // A verified empty payload holds no document; nothing is read from it.
    if (reply.Document().isEmpty()) {
        done(kFailed);
        return;
    }
    QByteArray bytes = reply.Document();
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    CKSData document;
    if (!document.Load(file, nullptr)) {
        done(kFailed);
        return;
    }
    // The drawing arrived whole: it is saved even when the app goes away
    // while the user picks the file (the window has then ended with 2 and
    // this end is ignored, so the caller stops its loop).
    const bool saved = m_target.SaveDownloadedDocument(document, DefaultFileName(m_strFileName));
    done(saved ? kSucceeded : kFailed);
}
