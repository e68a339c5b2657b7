#include "sim/RequestHandler.h"

#include "base/TextRoutines.h"
#include "link/FileListReply.h"
#include "link/Packet.h"
#include "link/TransferPackets.h"
#include "model/KSData.h"
#include "sim/DeviceStore.h"
#include "sim/Thumbnail.h"

#include <QBuffer>

namespace {

// Error code 3 tells the utility that the drawing was not found; every other
// failure answers code 1.
void Fail(CReply& reply, int code, const char* reason) {
    reply.m_line = MakeReplyLine("error", QByteArray::number(code));
    reply.m_summary = QStringLiteral("error:%1 (%2)").arg(code).arg(QLatin1String(reason));
}

void Succeed(CReply& reply, QByteArrayView value, const QString& detail) {
    reply.m_line = MakeReplyLine("ok", value);
    reply.m_summary = QStringLiteral("ok (%1)").arg(detail);
}

// Largest stored drawing that is served: its reply line, at two characters a
// byte, must stay within what a receiver takes.
constexpr qint64 kMaxServedBytes = (MAX_PACKET_LINE_LENGTH - 64) / 2;

// Loads `bytes` as a device document that can be read as a picture.
bool LoadDocument(const QByteArray& bytes, CKSData& document) {
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QString errorText;
    return document.Load(buffer, &errorText) && document.IsConsistent();
}

// Reads drawing reply.m_name, answering the failures; false when it did.
bool ReadDrawing(const CDeviceStore& store, CReply& reply, QByteArray& bytes) {
    if (!CDeviceStore::IsStorableName(reply.m_name)) {
        Fail(reply, 1, "name not allowed");
        return false;
    }
    switch (store.Read(reply.m_name, kMaxServedBytes, bytes)) {
    case CDeviceStore::Result::Done:
        return true;
    case CDeviceStore::Result::Missing:
        Fail(reply, 3, "not found");
        return false;
    case CDeviceStore::Result::Failed:
        break;
    }
    Fail(reply, 1, "cannot read the file");
    return false;
}

} // namespace

CReply CRequestHandler::Handle(QByteArrayView line) const {
    CReply reply;
    const qsizetype colon = line.indexOf(':');
    if (colon < 0) {
        reply.m_command = line.first(std::min<qsizetype>(line.size(), 40)).toByteArray();
        Fail(reply, 1, "no colon");
        return reply;
    }
    reply.m_command = line.first(colon).toByteArray();
    const QByteArrayView argument = line.sliced(colon + 1);
    const QByteArray& command = reply.m_command;
    if (command == "GetProtVer") {
        GetProtVer(reply);
    } else if (command == "GetFileList") {
        GetFileList(reply);
    } else if (command == "SetFile") {
        SetFile(reply, argument);
    } else if (command == "GetThumb" || command == "GetFile" || command == "IsOverwrite" ||
               command == "DeleteFile") {
        reply.m_name = argument.toByteArray();
        if (command == "GetThumb")
            GetThumb(reply);
        else if (command == "GetFile")
            GetFile(reply);
        else if (command == "IsOverwrite")
            IsOverwrite(reply);
        else
            DeleteFile(reply);
    } else {
        Fail(reply, 1, "unknown command");
    }
    return reply;
}

void CRequestHandler::GetProtVer(CReply& reply) const {
    Succeed(reply, QByteArray::number(m_nProtocolVersion),
            QStringLiteral("version %1").arg(m_nProtocolVersion));
}

void CRequestHandler::GetFileList(CReply& reply) const {
    QList<CFileListEntry> entries;
    for (const CDeviceStore::CEntry& entry : m_store.List()) {
        entries.append({entry.m_name, entry.m_nSize,
                        entry.m_modified.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")).toUtf8()});
    }
    Succeed(reply, MakeFileListValue(entries), QStringLiteral("%1 drawings").arg(entries.size()));
}

void CRequestHandler::GetThumb(CReply& reply) const {
    QByteArray bytes;
    if (!ReadDrawing(m_store, reply, bytes))
        return;
    CKSData document;
    if (!LoadDocument(bytes, document)) {
        Fail(reply, 1, "not a device document");
        return;
    }
    QSize size;
    const QByteArray png = MakeThumbnailPng(document, kThumbnailBox, &size);
    if (png.isEmpty()) {
        Fail(reply, 1, "no thumbnail");
        return;
    }
    Succeed(
        reply, BytesToHex(png),
        QStringLiteral("%1x%2 PNG, %3 bytes").arg(size.width()).arg(size.height()).arg(png.size()));
}

void CRequestHandler::GetFile(CReply& reply) const {
    QByteArray bytes;
    if (!ReadDrawing(m_store, reply, bytes))
        return;
    reply.m_line = MakeDownloadReplyLine(bytes);
    reply.m_summary = QStringLiteral("ok (%1 bytes)").arg(bytes.size());
}

void CRequestHandler::IsOverwrite(CReply& reply) const {
    if (!CDeviceStore::IsStorableName(reply.m_name)) {
        Fail(reply, 1, "name not allowed");
        return;
    }
    const bool exists = m_store.Exists(reply.m_name);
    const QByteArray alternative = m_store.AlternativeName(reply.m_name);
    Succeed(reply, MakeOverwriteAnswer(exists, reply.m_name, alternative),
            QStringLiteral("%1, alternative %2")
                .arg(exists ? QStringLiteral("exists") : QStringLiteral("new"),
                     QString::fromUtf8(alternative)));
}

void CRequestHandler::SetFile(CReply& reply, QByteArrayView argument) const {
    const std::optional<CSetFileRequest> request = CSetFileRequest::Parse(argument);
    const qsizetype nameEnd = argument.indexOf('\r');
    reply.m_name = (nameEnd < 0 ? argument : argument.first(nameEnd)).toByteArray();
    if (!request) {
        Fail(reply, 1, "malformed");
        return;
    }
    if (!CDeviceStore::IsStorableName(request->m_name)) {
        Fail(reply, 1, "name not allowed");
        return;
    }
    if (!request->IsVerified()) {
        Fail(reply, 1, "digest mismatch");
        return;
    }
    CKSData document;
    if (!LoadDocument(request->m_document, document)) {
        Fail(reply, 1, "not a device document");
        return;
    }
    if (!m_store.Write(request->m_name, request->m_document)) {
        Fail(reply, 1, "cannot write the file");
        return;
    }
    Succeed(reply, {}, QStringLiteral("%1 bytes saved").arg(request->m_document.size()));
}

void CRequestHandler::DeleteFile(CReply& reply) const {
    if (!CDeviceStore::IsStorableName(reply.m_name)) {
        Fail(reply, 1, "name not allowed");
        return;
    }
    switch (m_store.Remove(reply.m_name)) {
    case CDeviceStore::Result::Done:
        Succeed(reply, {}, QStringLiteral("deleted"));
        return;
    case CDeviceStore::Result::Missing:
        Fail(reply, 3, "not found");
        return;
    case CDeviceStore::Result::Failed:
        break;
    }
    Fail(reply, 1, "cannot delete the file");
}
