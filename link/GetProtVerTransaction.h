#pragma once

#include "link/Transaction.h"

// Asks the app for its protocol version. Ends with 1 when the app speaks
// version 4 or lower (also 0 and negative numbers), holding the number; a
// newer app is refused with message 123, an error reply is reported; both
// end with 2.
class CGetProtVerTransaction : public CTransaction {
public:
    // The newest protocol version this program speaks.
    static constexpr int kNewestVersion = 4;

    explicit CGetProtVerTransaction(CDeviceLink& link) : CTransaction(link) {}

    int ProtocolVersion() const { return m_nProtocolVersion; }

    QString GetWaitMessage() const override;
    void OnPacket(QByteArray name, QByteArray value) override;

protected:
    void StartRequest() override;

private:
    int m_nProtocolVersion = 0;
};
