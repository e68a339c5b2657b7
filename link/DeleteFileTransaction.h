#pragma once

#include "link/Transaction.h"

// Asks the app to delete one drawing, by the name exactly as the app listed
// it. Ends with 1 when the app did, with 2 otherwise (an error reply is
// reported: code 3 as a missing file).
class CDeleteFileTransaction : public CTransaction {
public:
    CDeleteFileTransaction(CDeviceLink& link, const QByteArray& rawName);

    QString GetWaitMessage() const override;
    void OnPacket(QByteArray name, QByteArray value) override;

protected:
    void StartRequest() override;

private:
    QByteArray m_strFileName;
};
