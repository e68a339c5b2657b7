#pragma once

#include "link/dialogs/WaitDlg.h"

// Asks the app to delete one drawing, by the name exactly as the app listed
// it. Ends with 1 when the app did, with 2 otherwise (an error reply is
// reported: code 3 as a missing file).
class CDeleteFileDlg : public CWaitDlg {
    Q_OBJECT
public:
    CDeleteFileDlg(CDeviceLink& link, const QByteArray& rawName, QWidget* parent);

    void OnPacket(QByteArray name, QByteArray value) override;

protected:
    QString GetWaitMessage() const override;
    void StartRequest() override;

private:
    QByteArray m_strFileName;
};
