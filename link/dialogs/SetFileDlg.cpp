#include "link/dialogs/SetFileDlg.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "link/ErrorReply.h"
#include "link/Packet.h"
#include "link/TransferPackets.h"
#include "link/dialogs/OverwriteDlg.h"
#include "model/KSData.h"

CSetFileDlg::CSetFileDlg(CDeviceLink& link, const CKSData& document, const QString& name,
                         QWidget* parent)
    : CWaitDlg(link, parent), m_pData(&document), m_strFileName(name) {}

QString CSetFileDlg::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_SET_FILE);
}

void CSetFileDlg::StartRequest() {
    SendRequest(MakeRequestLine("IsOverwrite", WideToUtf8(m_strFileName)));
}

void CSetFileDlg::OnPacket(QByteArray name, QByteArray value) {
    if (name != "ok") {
        ReportErrorReply(name, value);
        done(kFailed);
        return;
    }
    if (m_nStep != STEP_IS_OVERWRITE) {
        done(m_nStep == STEP_SET_FILE ? kSucceeded : kFailed);
        return;
    }
    const std::optional<COverwriteAnswer> answer = COverwriteAnswer::Parse(value);
    if (!answer) {
        done(kFailed);
        return;
    }
    if (!answer->m_bExists) {
        // The app's form of the name, which may differ from the one asked.
        SendDocument(answer->m_strName);
        return;
    }
    COverwriteDlg question(answer->m_strName, answer->m_strAltName, parentWidget());
    switch (question.exec()) {
    case COverwriteDlg::IDYES:
        SendDocument(answer->m_strName);
        break;
    case COverwriteDlg::IDC_SAVE_AS_ALT:
        SendDocument(answer->m_strAltName);
        break;
    default:
        done(kFailed);
        break;
    }
}

void CSetFileDlg::SendDocument(const QString& chosenName) {
    m_nStep = STEP_SET_FILE;
    // A name the app chose that cannot travel in one line ends the upload
    // before anything is sent.
    const QByteArray utf8Name = WideToUtf8(chosenName);
    QByteArray document;
    if (!IsSendableName(utf8Name) || !m_pData->SaveToBytes(document, nullptr)) {
        done(kFailed);
        return;
    }
    SendRequest(MakeSetFileLine(utf8Name, document));
}
