#pragma once

#include "link/FileListReply.h"
#include "link/Transaction.h"

#include <QByteArray>

class CDibSection;

// Where the list transaction puts its rows: one call per document, in list
// order. `rawName` is the name exactly as the app sent it (UTF-8);
// `nSizeBytes` the size the app gave (-1 when it gave none); `thumbnail` is
// null for a row without a picture and is only valid during the call.
class IFileRowTarget {
public:
    virtual ~IFileRowTarget() = default;
    virtual void AddFileRow(const QByteArray& rawName, const QString& sizeText,
                            const QString& dateText, const CDibSection* thumbnail,
                            qint64 nSizeBytes) = 0;
};

// Fetches the list of the app's documents, then one thumbnail per document,
// and adds one row per document to the target, in list order, whatever the
// thumbnail replies say. Ends with 1 after the last thumbnail (at once for
// an empty list), with 2 when the connection goes or on a cancel. Without
// `fetchThumbnails` the rows come without pictures, right after the list.
class CGetFileListTransaction : public CTransaction {
public:
    CGetFileListTransaction(CDeviceLink& link, IFileRowTarget& target, bool fetchThumbnails = true);

    QString GetWaitMessage() const override;
    void OnPacket(QByteArray name, QByteArray value) override;

protected:
    void StartRequest() override;

private:
    void RequestNextThumb();
    void AddRow(const CDibSection* thumbnail);

    IFileRowTarget& m_target;
    bool m_bFetchThumbnails;
    // The document whose thumbnail is awaited; -1 while the list is.
    int m_nIndex = -1;
    CFileListReply m_list;
};
