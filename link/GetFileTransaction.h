#pragma once

#include "link/Transaction.h"
#include "link/TransferPackets.h"

class CKSData;

// Where a downloaded drawing goes once it is verified and read: the owner
// asks the user for the file (or picks it) and writes it. `bytes` are the
// document as received. True when the file was written.
class IDownloadTarget {
public:
    virtual ~IDownloadTarget() = default;
    virtual bool SaveDownloadedDocument(const CKSData& document, const QByteArray& bytes,
                                        const QString& defaultName) = 0;
};

// Downloads one drawing: sends "GetFile:" with the name exactly as the app
// listed it, checks the reply's MD5 digest (message 111 on a mismatch),
// reads the bytes as a device document and hands it to the target with the
// name in Unicode normalisation form C. Ends with 1 when the file was
// written, with 2 otherwise.
class CGetFileTransaction : public CTransaction {
public:
    // `nSizeBytes` is the size the list gave (-1: unknown); it tells how
    // long the reply will be.
    CGetFileTransaction(CDeviceLink& link, IDownloadTarget& target, const QByteArray& rawName,
                        qint64 nSizeBytes = -1);

    QString GetWaitMessage() const override;
    qint64 ExpectedReceiveBytes() const override;
    // The "ok" reply is decoded and hashed while it arrives.
    IValueStream* StreamValueOf(QByteArrayView name) override;
    void OnPacket(QByteArray name, QByteArray value) override;

protected:
    void StartRequest() override;

private:
    IDownloadTarget& m_target;
    QByteArray m_strFileName;
    qint64 m_nSizeBytes;
    CDownloadReplyReader m_reader;
    bool m_bReplyStreamed = false;
};
