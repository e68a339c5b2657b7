#pragma once

#include "link/dialogs/WaitDlg.h"

class CKSData;

// Where a downloaded drawing goes once it is verified and read: the owner
// asks the user for the file and writes it. True when the file was written.
class IDownloadTarget {
public:
    virtual ~IDownloadTarget() = default;
    virtual bool SaveDownloadedDocument(const CKSData& document, const QString& defaultName) = 0;
};

// Downloads one drawing: sends "GetFile:" with the name exactly as the app
// listed it, checks the reply's MD5 digest (message 111 on a mismatch),
// reads the bytes as a device document and hands it to the target with the
// name as the save dialog should offer it. Ends with 1 when the file was
// written, with 2 otherwise.
class CGetFileDlg : public CWaitDlg {
    Q_OBJECT
public:
    CGetFileDlg(CDeviceLink& link, IDownloadTarget& target, const QByteArray& rawName,
                QWidget* parent);

    void OnPacket(QByteArray name, QByteArray value) override;

    // The name offered in the save dialog for an app's name: in Unicode
    // normalisation form C (the dialog makes it safe as a file name).
    static QString DefaultFileName(const QByteArray& rawName);

protected:
    QString GetWaitMessage() const override;
    void StartRequest() override;

private:
    IDownloadTarget& m_target;
    QByteArray m_strFileName;
};
