#pragma once

#include "link/dialogs/WaitDlg.h"

// Asks the app for its protocol version. Ends with 1 when the app speaks
// version 4 or lower (also 0 and negative numbers), holding the number; a
// newer app is refused with message 123, an error reply is reported; both
// end with 2.
class CGetProtVerDlg : public CWaitDlg {
    Q_OBJECT
public:
    // The newest protocol version this program speaks.
    static constexpr int kNewestVersion = 4;

    CGetProtVerDlg(CDeviceLink& link, QWidget* parent);

    int ProtocolVersion() const { return m_nProtocolVersion; }

    void OnPacket(QByteArray name, QByteArray value) override;

protected:
    QString GetWaitMessage() const override;
    void StartRequest() override;

private:
    int m_nProtocolVersion = 0;
};
