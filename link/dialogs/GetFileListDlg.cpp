#include "link/dialogs/GetFileListDlg.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "convert/DibSection.h"
#include "convert/PngSerializer.h"
#include "link/Packet.h"

#include <QBuffer>

namespace {

constexpr char kFieldSeparator[] = "\r";
constexpr char kColumnSeparator[] = ",";

} // namespace

QByteArray CGetFileListDlg::CFileInfo::GetAt(int column) const {
    return column >= 0 && column < m_cells.size() ? m_cells[column] : QByteArray();
}

CGetFileListDlg::CGetFileListDlg(CDeviceLink& link, IFileRowTarget& target, QWidget* parent)
    : CWaitDlg(link, parent), m_target(target) {}

QString CGetFileListDlg::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_FILE_LIST);
}

void CGetFileListDlg::StartRequest() {
    SendRequest(MakeRequestLine("GetFileList"));
}

QString CGetFileListDlg::SizeText(const QByteArray& sizeCell) {
    if (sizeCell.isEmpty())
        return {};
    // Rounded up without forming s + 1023, which would overflow near the
    // top of the range; negative counts keep the truncating division.
    const qint64 bytes = ReadDecimalInt64(sizeCell);
    const qint64 units =
        bytes >= 0 ? bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0) : (bytes + 1023) / 1024;
    return FormatDirectives(QStringLiteral("%d KB"), {units});
}

void CGetFileListDlg::OnPacket(QByteArray name, QByteArray value) {
    if (m_nIndex < 0) {
        // The list reply's name is not examined: an "error" reply parses as
        // a list like any other.
        ParseList(value);
        m_nIndex = 0;
        RequestNextThumb();
        return;
    }
    AddRow(*m_fileInfos[m_nIndex], name, value);
    ++m_nIndex;
    RequestNextThumb();
}

void CGetFileListDlg::ParseList(const QByteArray& value) {
    // The value is split as bytes: a carriage return or comma byte never
    // occurs inside a UTF-8 sequence, and the names must go back to the app
    // exactly as it sent them.
    QByteArrayList fields;
    SplitString(fields, value, kFieldSeparator, false);
    QByteArrayList columns;
    SplitString(columns, fields.first(), kColumnSeparator, false);
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i] == "filename")
            m_nFileNameColumn = i;
        else if (columns[i] == "size")
            m_nSizeColumn = i;
        else if (columns[i] == "updateDate")
            m_nUpdateDateColumn = i;
    }

    const qsizetype columnCount = columns.size();
    qsizetype cell = 0;
    for (qsizetype i = 1; i < fields.size(); ++i) {
        if (cell == 0)
            m_fileInfos.Add(std::make_unique<CFileInfo>());
        m_fileInfos[m_fileInfos.GetSize() - 1]->Append(fields[i]);
        if (++cell == columnCount)
            cell = 0;
    }
}

void CGetFileListDlg::RequestNextThumb() {
    if (m_nIndex >= m_fileInfos.GetSize()) {
        done(kSucceeded);
        return;
    }
    SendRequest(MakeRequestLine("GetThumb", m_fileInfos[m_nIndex]->GetAt(m_nFileNameColumn)));
}

void CGetFileListDlg::AddRow(const CFileInfo& info, const QByteArray& name,
                             const QByteArray& value) {
    const QByteArray fileName = info.GetAt(m_nFileNameColumn);
    const QString sizeText = SizeText(info.GetAt(m_nSizeColumn));
    const QString dateText = Utf8ToWide(info.GetAt(m_nUpdateDateColumn));

    // Every failure (an error reply, bad hexadecimal, no bytes, a picture
    // that does not decode or is too large) gives a row without a picture;
    // nothing is reported.
    CDibSection thumbnail;
    bool hasThumbnail = false;
    QByteArray png;
    if (name == "ok" && HexToBytes(value, 0, png) && !png.isEmpty()) {
        QBuffer file(&png);
        file.open(QIODevice::ReadOnly);
        QString ignoredError;
        hasThumbnail = LoadPngThumbnail(thumbnail, file, ignoredError);
    }
    m_target.AddFileRow(fileName, sizeText, dateText, hasThumbnail ? &thumbnail : nullptr);
}
