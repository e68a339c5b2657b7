#include "link/dialogs/GetFileListDlg.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "convert/DibSection.h"
#include "convert/PngSerializer.h"
#include "link/Packet.h"

#include <QBuffer>

CGetFileListDlg::CGetFileListDlg(CDeviceLink& link, IFileRowTarget& target, QWidget* parent)
    : CWaitDlg(link, parent), m_target(target) {}

QString CGetFileListDlg::GetWaitMessage() const {
    return FormatStringResource(IDS_WAIT_FILE_LIST);
}

void CGetFileListDlg::StartRequest() {
    SendRequest(MakeRequestLine("GetFileList"));
}

void CGetFileListDlg::OnPacket(QByteArray name, QByteArray value) {
    if (m_nIndex < 0) {
        // The list reply's name is not examined: an "error" reply parses as
        // a list like any other.
        m_list = CFileListReply::Parse(value);
        m_nIndex = 0;
        RequestNextThumb();
        return;
    }
    AddRow(name, value);
    ++m_nIndex;
    RequestNextThumb();
}

void CGetFileListDlg::RequestNextThumb() {
    if (m_nIndex >= m_list.GetCount()) {
        done(kSucceeded);
        return;
    }
    SendRequest(MakeRequestLine("GetThumb", m_list.GetFileName(m_nIndex)));
}

void CGetFileListDlg::AddRow(const QByteArray& name, const QByteArray& value) {
    const QByteArray fileName = m_list.GetFileName(m_nIndex);
    const QString sizeText = FileSizeText(m_list.GetSize(m_nIndex));
    const QString dateText = Utf8ToWide(m_list.GetUpdateDate(m_nIndex));

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
