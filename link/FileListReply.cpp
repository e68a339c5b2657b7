#include "link/FileListReply.h"

#include "base/MessageFormat.h"
#include "base/TextRoutines.h"

QByteArray CFileListReply::CFileInfo::GetAt(int column) const {
    return column >= 0 && column < m_cells.size() ? m_cells[column] : QByteArray();
}

CFileListReply CFileListReply::Parse(const QByteArray& value) {
    CFileListReply reply;
    QByteArrayList fields;
    SplitString(fields, value, "\r", false);
    QByteArrayList columns;
    SplitString(columns, fields.first(), ",", false);
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i] == "filename")
            reply.m_nFileNameColumn = i;
        else if (columns[i] == "size")
            reply.m_nSizeColumn = i;
        else if (columns[i] == "updateDate")
            reply.m_nUpdateDateColumn = i;
    }

    const qsizetype columnCount = columns.size();
    qsizetype cell = 0;
    for (qsizetype i = 1; i < fields.size(); ++i) {
        if (cell == 0)
            reply.m_files.append(CFileInfo());
        reply.m_files.last().Append(fields[i]);
        if (++cell == columnCount)
            cell = 0;
    }
    return reply;
}

QByteArray MakeFileListValue(const QList<CFileListEntry>& entries) {
    QByteArray value("filename,size,updateDate");
    for (const CFileListEntry& entry : entries) {
        value.append('\r').append(entry.m_name);
        value.append('\r').append(QByteArray::number(entry.m_nSize));
        value.append('\r').append(entry.m_updateDate);
    }
    return value;
}

QString FileSizeText(const QByteArray& sizeCell) {
    if (sizeCell.isEmpty())
        return {};
    // Rounded up without forming s + 1023, which would overflow near the
    // top of the range; negative counts keep the truncating division.
    const qint64 bytes = ReadDecimalInt64(sizeCell);
    const qint64 units =
        bytes >= 0 ? bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0) : (bytes + 1023) / 1024;
    return FormatDirectives(QStringLiteral("%d KB"), {units});
}
