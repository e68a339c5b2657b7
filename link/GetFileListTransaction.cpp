#include "link/GetFileListTransaction.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "convert/DibSection.h"
#include "convert/PngSerializer.h"
#include "link/Packet.h"

#include <QBuffer>

namespace {

// The picture of a thumbnail reply. Every failure (an error reply, bad
// hexadecimal, no bytes, a picture that does not decode or is too large)
// gives a row without a picture; nothing is reported.
bool DecodeThumbnail(const QByteArray& name, const QByteArray& value, CDibSection& thumbnail) {
    QByteArray png;
    if (name != "ok" || !HexToBytes(value, 0, png) || png.isEmpty())
        return false;
    QBuffer file(&png);
    file.open(QIODevice::ReadOnly);
    QString ignoredError;
    return LoadPngThumbnail(thumbnail, file, ignoredError);
}

} // namespace

CGetFileListTransaction::CGetFileListTransaction(CDeviceLink& link, IFileRowTarget& target,
                                                 bool fetchThumbnails)
    : CTransaction(link), m_target(target), m_bFetchThumbnails(fetchThumbnails) {}

QString CGetFileListTransaction::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_FILE_LIST);
}

void CGetFileListTransaction::StartRequest() {
    SendRequest(MakeRequestLine("GetFileList"));
}

void CGetFileListTransaction::OnPacket(QByteArray name, QByteArray value) {
    if (m_nIndex < 0) {
        // The list reply's name is not examined: an "error" reply parses as
        // a list like any other.
        m_list = CFileListReply::Parse(value);
        for (m_nIndex = 0; !m_bFetchThumbnails && m_nIndex < m_list.GetCount(); ++m_nIndex)
            AddRow(nullptr);
        RequestNextThumb();
        return;
    }
    CDibSection thumbnail;
    AddRow(DecodeThumbnail(name, value, thumbnail) ? &thumbnail : nullptr);
    ++m_nIndex;
    RequestNextThumb();
}

void CGetFileListTransaction::RequestNextThumb() {
    if (m_nIndex >= m_list.GetCount()) {
        End(kSucceeded);
        return;
    }
    SendRequest(MakeRequestLine("GetThumb", m_list.GetFileName(m_nIndex)));
}

void CGetFileListTransaction::AddRow(const CDibSection* thumbnail) {
    const QByteArray sizeCell = m_list.GetSize(m_nIndex);
    m_target.AddFileRow(m_list.GetFileName(m_nIndex), FileSizeText(sizeCell),
                        Utf8ToWide(m_list.GetUpdateDate(m_nIndex)), thumbnail,
                        sizeCell.isEmpty() ? -1 : ReadDecimalInt64(sizeCell));
}
