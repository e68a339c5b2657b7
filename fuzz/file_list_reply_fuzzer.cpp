// Feeds arbitrary bytes to the parser of the app's file list. The records
// must hold the reply's cells in order, whatever the header says, and a
// list rebuilt from them must read back the same.
#include "FuzzRequire.h"
#include "link/FileListReply.h"

#include <QByteArrayList>

#include <cstddef>
#include <cstdint>

namespace {

// The header's column that is exactly `name`; the last one when it repeats.
qsizetype ColumnOf(const QByteArrayList& header, const char* name) {
    return header.lastIndexOf(QByteArray(name));
}

QByteArray CellAt(const QByteArrayList& cells, qsizetype index) {
    return index >= 0 && index < cells.size() ? cells[index] : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray value(reinterpret_cast<const char*>(data), qsizetype(size));
    const CFileListReply reply = CFileListReply::Parse(value);

    // The header and the cells, cut independently of the parser.
    const QByteArrayList fields = value.split('\r');
    const QByteArrayList header = fields.first().split(',');
    const QByteArrayList cells = fields.mid(1);
    const qsizetype columns = header.size();
    Require(reply.GetCount() == (cells.size() + columns - 1) / columns);

    const qsizetype nameColumn = ColumnOf(header, "filename");
    const qsizetype sizeColumn = ColumnOf(header, "size");
    const qsizetype dateColumn = ColumnOf(header, "updateDate");
    QList<CFileListEntry> entries;
    for (int i = 0; i < reply.GetCount(); ++i) {
        const qsizetype first = i * columns;
        Require(reply.GetFileName(i) ==
                (nameColumn < 0 ? QByteArray() : CellAt(cells, first + nameColumn)));
        Require(reply.GetSize(i) ==
                (sizeColumn < 0 ? QByteArray() : CellAt(cells, first + sizeColumn)));
        Require(reply.GetUpdateDate(i) ==
                (dateColumn < 0 ? QByteArray() : CellAt(cells, first + dateColumn)));

        // The size text of any cell is a whole number of kilobytes.
        const QString sizeText = FileSizeText(reply.GetSize(i));
        Require(sizeText.isEmpty() == reply.GetSize(i).isEmpty());
        Require(sizeText.isEmpty() || sizeText.endsWith(QStringLiteral(" KB")));

        entries.append({reply.GetFileName(i), 0, reply.GetUpdateDate(i)});
    }

    // The app's side writes the same names and dates back in its own header
    // order; they must come back unchanged and in order.
    const CFileListReply again = CFileListReply::Parse(MakeFileListValue(entries));
    Require(again.GetCount() == entries.size());
    for (int i = 0; i < again.GetCount(); ++i) {
        Require(again.GetFileName(i) == entries[i].m_name);
        Require(again.GetUpdateDate(i) == entries[i].m_updateDate);
        Require(again.GetSize(i) == "0");
    }
    return 0;
}
