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
