#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>

// The app's answer to "GetFileList": fields separated by carriage returns.
// The first field names the columns, separated by commas ("filename",
// "size" and "updateDate" in any order; other names are ignored). The other
// fields are the cells, document by document in the header's column order;
// the last document may hold fewer cells than there are columns.
class CFileListReply {
public:
    // The cells of one document, in the order of the header's columns.
    class CFileInfo {
    public:
        void Append(const QByteArray& cell) { m_cells.append(cell); }
        int GetSize() const { return int(m_cells.size()); }
        // The cell at `column`; empty past the end and at -1.
        QByteArray GetAt(int column) const;

    private:
        QByteArrayList m_cells;
    };

    // Parses a reply value. The value is split as bytes: a carriage return
    // or comma byte never occurs inside a UTF-8 sequence, and the names must
    // go back to the app exactly as it sent them.
    static CFileListReply Parse(const QByteArray& value);

    int GetCount() const { return int(m_files.size()); }
    // The cells of document `index` (0 to GetCount() - 1); empty when the
    // header has no such column.
    QByteArray GetFileName(int index) const { return m_files[index].GetAt(m_nFileNameColumn); }
    QByteArray GetSize(int index) const { return m_files[index].GetAt(m_nSizeColumn); }
    QByteArray GetUpdateDate(int index) const { return m_files[index].GetAt(m_nUpdateDateColumn); }

private:
    QList<CFileInfo> m_files;
    int m_nFileNameColumn = -1;
    int m_nSizeColumn = -1;
    int m_nUpdateDateColumn = -1;
};

// The size column's text for a size cell: "%d KB" with the byte count
// rounded up to whole units of 1024, empty for an empty cell.
QString FileSizeText(const QByteArray& sizeCell);

// One document as the app lists it: its name (UTF-8 bytes, no carriage
// return), its size in bytes and its update date text.
struct CFileListEntry {
    QByteArray m_name;
    qint64 m_nSize = 0;
    QByteArray m_updateDate;
};

// The value of the app's "ok" answer to "GetFileList": the header
// "filename,size,updateDate", then name, size and date of each document,
// every field after a carriage return.
QByteArray MakeFileListValue(const QList<CFileListEntry>& entries);
