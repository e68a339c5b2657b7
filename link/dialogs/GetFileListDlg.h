#pragma once

#include "link/FileListReply.h"
#include "link/dialogs/WaitDlg.h"

#include <QByteArray>

class CDibSection;

// Where the list transaction puts its rows: one call per document, in list
// order. `rawName` is the name exactly as the app sent it (UTF-8);
// `thumbnail` is null for a row without a picture and is only valid during
// the call.
class IFileRowTarget {
public:
    virtual ~IFileRowTarget() = default;
    virtual void AddFileRow(const QByteArray& rawName, const QString& sizeText,
                            const QString& dateText, const CDibSection* thumbnail) = 0;
};

// Fetches the list of the app's documents, then one thumbnail per document,
// and adds one row per document to the target, in list order, whatever the
// thumbnail replies say. Ends with 1 after the last thumbnail (at once for
// an empty list), with 2 when the connection goes or on Escape.
class CGetFileListDlg : public CWaitDlg {
    Q_OBJECT
public:
    CGetFileListDlg(CDeviceLink& link, IFileRowTarget& target, QWidget* parent);

    void OnPacket(QByteArray name, QByteArray value) override;

protected:
    QString GetWaitMessage() const override;
    void StartRequest() override;

private:
    void RequestNextThumb();
    void AddRow(const QByteArray& name, const QByteArray& value);

    IFileRowTarget& m_target;
    // The document whose thumbnail is awaited; -1 while the list is.
    int m_nIndex = -1;
    CFileListReply m_list;
};
