// Feeds arbitrary bytes to the three parsers of the file-transfer exchanges:
// the download reply, the answer to IsOverwrite and the app's reading of a
// SetFile request. What each parser reads must be what the matching writer
// produces again, and reading that once more must give the same.
#include "FuzzRequire.h"
#include "base/TextRoutines.h"
#include "link/TransferPackets.h"

#include <cstddef>
#include <cstdint>

namespace {

void CheckDownloadReply(const QByteArray& value) {
    const CDownloadReply reply = CDownloadReply::Parse(value);
    Require(reply.Digest() == value.left(32));
    Require(reply.IsVerified() == (MD5Hex(reply.Document()) == reply.Digest()));
    // Exactly hexadecimal text after the separator decodes byte for byte.
    QByteArray strict;
    if (value.size() > 33 && StrictHexToBytes(QByteArrayView(value).sliced(33), strict))
        Require(reply.Document() == strict);

    // The line the app builds for the decoded bytes reads back verified.
    const QByteArray line = MakeDownloadReplyLine(reply.Document());
    Require(line.startsWith("ok:") && line.endsWith('\n'));
    const CDownloadReply again = CDownloadReply::Parse(line.sliced(3, line.size() - 4));
    Require(again.IsVerified() && again.Document() == reply.Document());
}

void CheckOverwriteAnswer(const QByteArray& value) {
    const std::optional<COverwriteAnswer> answer = COverwriteAnswer::Parse(value);
    // Carriage returns cut the fields as bytes: no decoding may swallow one.
    Require(answer.has_value() == (value.count('\r') >= 2));
    if (!answer)
        return;
    Require(!answer->m_strName.contains(u'\r') && !answer->m_strAltName.contains(u'\r'));

    const std::optional<COverwriteAnswer> again = COverwriteAnswer::Parse(MakeOverwriteAnswer(
        answer->m_bExists, WideToUtf8(answer->m_strName), WideToUtf8(answer->m_strAltName)));
    Require(again.has_value());
    Require(again->m_bExists == answer->m_bExists && again->m_strName == answer->m_strName &&
            again->m_strAltName == answer->m_strAltName);
}

void CheckSetFileRequest(const QByteArray& argument) {
    const std::optional<CSetFileRequest> request = CSetFileRequest::Parse(argument);
    if (!request)
        return;
    Require(!request->m_name.contains('\r') && !request->m_digest.contains('\r'));
    Require(request->IsVerified() == (MD5Hex(request->m_document) == request->m_digest));

    // The utility's line for the same name and document is read back with
    // the name, the document and a digest that verifies.
    const QByteArray line = MakeSetFileLine(request->m_name, request->m_document);
    Require(line.startsWith("SetFile:") && line.endsWith('\n'));
    const std::optional<CSetFileRequest> again =
        CSetFileRequest::Parse(QByteArrayView(line).sliced(8, line.size() - 9));
    Require(again.has_value());
    Require(again->m_name == request->m_name && again->m_document == request->m_document);
    Require(again->IsVerified());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray value(reinterpret_cast<const char*>(data), qsizetype(size));
    CheckDownloadReply(value);
    CheckOverwriteAnswer(value);
    CheckSetFileRequest(value);
    return 0;
}
