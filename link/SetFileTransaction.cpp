#include "link/SetFileTransaction.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "link/ErrorReply.h"
#include "link/Packet.h"
#include "link/TransferPackets.h"
#include "model/KSData.h"

CSetFileTransaction::CSetFileTransaction(CDeviceLink& link, IOverwriteChooser& chooser,
                                         const CKSData& document, const QString& name)
    : CTransaction(link), m_chooser(chooser), m_pData(&document), m_strFileName(name) {}

QString CSetFileTransaction::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_SET_FILE);
}

void CSetFileTransaction::StartRequest() {
    const QByteArray request = MakeRequestLine("IsOverwrite", WideToUtf8(m_strFileName));
    m_nExpectedSend = request.size();
    SendRequest(request);
}

void CSetFileTransaction::OnPacket(QByteArray name, QByteArray value) {
    if (name != "ok") {
        ReportErrorReply(name, value);
        End(kFailed);
        return;
    }
    if (m_nStep != STEP_IS_OVERWRITE) {
        End(m_nStep == STEP_SET_FILE ? kSucceeded : kFailed);
        return;
    }
    const std::optional<COverwriteAnswer> answer = COverwriteAnswer::Parse(value);
    if (!answer) {
        End(kFailed);
        return;
    }
    if (!answer->m_bExists) {
        // The app's form of the name, which may differ from the one asked.
        SendDocument(answer->m_strName);
        return;
    }
    switch (m_chooser.ChooseOverwrite(answer->m_strName, answer->m_strAltName)) {
    case IOverwriteChooser::OVERWRITE:
        SendDocument(answer->m_strName);
        break;
    case IOverwriteChooser::SAVE_AS_ALT:
        SendDocument(answer->m_strAltName);
        break;
    case IOverwriteChooser::CANCEL:
        End(kFailed);
        break;
    }
}

void CSetFileTransaction::SendDocument(const QString& chosenName) {
    m_nStep = STEP_SET_FILE;
    // A name the app chose that cannot travel in one line ends the upload
    // before anything is sent.
    const QByteArray utf8Name = WideToUtf8(chosenName);
    QByteArray document;
    if (!IsSendableName(utf8Name) || !m_pData->SaveToBytes(document, nullptr)) {
        End(kFailed);
        return;
    }
    m_strChosenName = chosenName;
    const QByteArray line = MakeSetFileLine(utf8Name, document);
    m_nExpectedSend += line.size();
    SendRequest(line);
}
