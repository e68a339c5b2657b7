#include "link/TransferPackets.h"

#include "base/LargeBuffers.h"
#include "base/TextRoutines.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr qsizetype kDigestLength = 32;
constexpr qsizetype kDocumentOffset = kDigestLength + 1;

// `head`, the MD5 digest text of the document, CR, the document in
// lower-case hexadecimal and LF, built once in a buffer of the exact size.
// The digest is computed on another thread while the hexadecimal text is
// written, and put in its place at the end.
QByteArray MakeDocumentLine(QByteArrayView head, const QByteArray& document) {
    CBackgroundMd5 hash;
    hash.Publish(document.constData(), document.size());
    QByteArray line;
    line.reserve(head.size() + kDigestLength + 1 + 2 * document.size() + 1);
    PreferHugePages(line.data(), line.capacity());
    line.append(head);
    line.append(kDigestLength, '0');
    line.append('\r');
    AppendHex(line, document.constData(), document.size());
    line.append('\n');
    const QByteArray digest = hash.Result();
    std::memcpy(line.data() + head.size(), digest.constData(), size_t(kDigestLength));
    return line;
}

} // namespace

CDownloadReply CDownloadReply::Parse(const QByteArray& value) {
    CDownloadReplyReader reader((value.size() - kDocumentOffset) / 2);
    reader.AppendValue(value.constData(), value.size());
    return reader.Finish();
}

CDownloadReplyReader::CDownloadReplyReader(qsizetype nExpectedSize)
    : m_nExpectedSize(std::max<qsizetype>(nExpectedSize, 0)) {}

void CDownloadReplyReader::AppendValue(const char* pData, qsizetype nBytes) {
    QByteArray& digest = m_reply.m_digest;
    if (digest.size() < kDigestLength) {
        const qsizetype nTake = std::min(nBytes, kDigestLength - digest.size());
        digest.append(pData, nTake);
        pData += nTake;
        nBytes -= nTake;
    }
    if (nBytes > 0 && !m_bSeparatorSeen) {
        m_bSeparatorSeen = true;
        ++pData;
        --nBytes;
    }
    if (nBytes > 0)
        AppendDocumentHex(pData, nBytes);
}

void CDownloadReplyReader::AppendDocumentHex(const char* pData, qsizetype nBytes) {
    QByteArray& document = m_reply.m_document;
    const qsizetype nOld = document.size();
    Reserve(nOld + (nBytes + (m_bDigitPending ? 1 : 0)) / 2);
    document.resize(nOld + (nBytes + (m_bDigitPending ? 1 : 0)) / 2);
    char* pOut = document.data() + nOld;
    if (m_bDigitPending) {
        // The pair that straddles two pieces.
        const char pair[2] = {m_pendingDigit, *pData++};
        DecodeHexPairs(pair, 1, pOut++);
        --nBytes;
        m_bDigitPending = false;
    }
    DecodeHexPairs(pData, nBytes / 2, pOut);
    if (nBytes & 1) {
        m_bDigitPending = true;
        m_pendingDigit = pData[nBytes - 1];
    }
    if (document.size() > nOld)
        m_hash.Publish(document.constData(), document.size());
}

void CDownloadReplyReader::Reserve(qsizetype nSize) {
    QByteArray& document = m_reply.m_document;
    if (nSize <= document.capacity())
        return;
    m_hash.Drain();
    document.reserve(std::max({nSize, 2 * document.capacity(), m_nExpectedSize}));
}

CDownloadReply CDownloadReplyReader::Finish() {
    // The hash is complete before its document changes hands.
    const QByteArray documentDigest = m_hash.Result();
    CDownloadReply reply = std::move(m_reply);
    if (m_bDigitPending) {
        // An odd number of digits leaves the document empty.
        reply.m_document = QByteArray();
        reply.m_documentDigest = MD5Hex(QByteArray());
    } else {
        reply.m_documentDigest = documentDigest;
    }
    m_reply = CDownloadReply();
    m_bSeparatorSeen = m_bDigitPending = false;
    return reply;
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
    return MakeDocumentLine("SetFile:" + utf8Name + '\r', document);
}

bool IsSendableName(const QByteArray& utf8Name) {
    return !utf8Name.contains('\n') && !utf8Name.contains('\r') && !utf8Name.contains('\0');
}

QByteArray MakeDownloadReplyLine(const QByteArray& document) {
    return MakeDocumentLine("ok:", document);
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
