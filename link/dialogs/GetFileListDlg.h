#pragma once

#include "base/AutoDeletePtr.h"
#include "link/dialogs/WaitDlg.h"

#include <QByteArray>
#include <QByteArrayList>

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
    // The cells of one document, in the order of the header's columns. The
    // last record of a list may hold fewer cells than there are columns.
    class CFileInfo {
    public:
        void Append(const QByteArray& cell) { m_cells.append(cell); }
        int GetSize() const { return int(m_cells.size()); }
        // The cell at `column`; empty past the end and at -1.
        QByteArray GetAt(int column) const;

    private:
        QByteArrayList m_cells;
    };

    CGetFileListDlg(CDeviceLink& link, IFileRowTarget& target, QWidget* parent);

    void OnPacket(QByteArray name, QByteArray value) override;

    // The size text for a size cell: "%d KB" with the byte count rounded up
    // to whole units of 1024, empty for an empty cell.
    static QString SizeText(const QByteArray& sizeCell);

protected:
    QString GetWaitMessage() const override;
    void StartRequest() override;

private:
    void ParseList(const QByteArray& value);
    void RequestNextThumb();
    void AddRow(const CFileInfo& info, const QByteArray& name, const QByteArray& value);

    IFileRowTarget& m_target;
    int m_nIndex = -1;
    int m_nFileNameColumn = -1;
    int m_nSizeColumn = -1;
    int m_nUpdateDateColumn = -1;
    CAutoDeletePtrArray<CFileInfo> m_fileInfos;
};
