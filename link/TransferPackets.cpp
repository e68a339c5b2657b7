#include "link/TransferPackets.h"

#include "base/TextRoutines.h"

namespace {

constexpr qsizetype kDigestLength = 32;
constexpr qsizetype kDocumentOffset = kDigestLength + 1;

} // namespace

CDownloadReply CDownloadReply::Parse(const QByteArray& value) {
    CDownloadReply reply;
    reply.m_digest = value.left(kDigestLength);
    // An odd number of digits leaves the document empty; HexToBytes says so
    // by its result, which changes nothing here.
    HexToBytes(value, kDocumentOffset, reply.m_document);
    return reply;
}

bool CDownloadReply::IsVerified() const {
    return MD5Hex(m_document) == m_digest;
}

std::optional<COverwriteAnswer> COverwriteAnswer::Parse(const QByteArray& value) {
    QStringList fields;
    SplitString(fields, Utf8ToWide(value), QStringLiteral("\r"), false);
    if (fields.size() < 3)
        return std::nullopt;
    COverwriteAnswer answer;
    answer.m_bExists = ReadDecimalInt(fields[0].toUtf8()) > 0;
    answer.m_strName = fields[1];
    answer.m_strAltName = fields[2];
    return answer;
}

QByteArray MakeSetFileLine(const QByteArray& utf8Name, const QByteArray& document) {
    static constexpr char kCommand[] = "SetFile:";
    QByteArray line;
    line.reserve(qsizetype(sizeof kCommand - 1) + utf8Name.size() + 1 + kDigestLength + 1 +
                 2 * document.size() + 1);
    line.append(kCommand);
    line.append(utf8Name);
    line.append('\r');
    line.append(MD5Hex(document));
    line.append('\r');
    AppendHex(line, document.constData(), document.size());
    line.append('\n');
    return line;
}

bool IsSendableName(const QByteArray& utf8Name) {
    return !utf8Name.contains('\n') && !utf8Name.contains('\r') && !utf8Name.contains('\0');
}

QByteArray MakeDownloadReplyLine(const QByteArray& document) {
    static constexpr char kOk[] = "ok:";
    QByteArray line;
    line.reserve(qsizetype(sizeof kOk - 1) + kDigestLength + 1 + 2 * document.size() + 1);
    line.append(kOk);
    line.append(MD5Hex(document));
    line.append('\r');
    AppendHex(line, document.constData(), document.size());
    line.append('\n');
    return line;
}

QByteArray MakeOverwriteAnswer(bool exists, const QByteArray& utf8Name,
                               const QByteArray& utf8AltName) {
    QByteArray value(exists ? "1" : "0");
    value.append('\r').append(utf8Name).append('\r').append(utf8AltName);
    return value;
}

std::optional<CSetFileRequest> CSetFileRequest::Parse(QByteArrayView argument) {
    const qsizetype nameEnd = argument.indexOf('\r');
    if (nameEnd < 0)
        return std::nullopt;
    const qsizetype digestEnd = argument.indexOf('\r', nameEnd + 1);
    if (digestEnd < 0)
        return std::nullopt;
    CSetFileRequest request;
    if (!StrictHexToBytes(argument.sliced(digestEnd + 1), request.m_document))
        return std::nullopt;
    request.m_name = argument.first(nameEnd).toByteArray();
    request.m_digest = argument.sliced(nameEnd + 1, digestEnd - nameEnd - 1).toByteArray();
    return request;
}

bool CSetFileRequest::IsVerified() const {
    return MD5Hex(m_document) == m_digest;
}
