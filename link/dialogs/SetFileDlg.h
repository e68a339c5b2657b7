#pragma once

#include "link/dialogs/WaitDlg.h"

class CKSData;

// Uploads one drawing: asks the app whether the name is taken
// ("IsOverwrite:"), lets the user choose between overwriting, giving up and
// the app's alternative name when it is, then sends the document with its
// digest ("SetFile:"). Ends with 1 when the app accepted it, with 2
// otherwise.
class CSetFileDlg : public CWaitDlg {
    Q_OBJECT
public:
    // `document` must outlive the window.
    CSetFileDlg(CDeviceLink& link, const CKSData& document, const QString& name, QWidget* parent);

    void OnPacket(QByteArray name, QByteArray value) override;

protected:
    QString GetWaitMessage() const override;
    void StartRequest() override;

private:
    enum Step { STEP_IS_OVERWRITE = 0, STEP_SET_FILE = 1 };

    void SendDocument(const QString& chosenName);

    const CKSData* m_pData;
    QString m_strFileName;
    int m_nStep = STEP_IS_OVERWRITE;
};
