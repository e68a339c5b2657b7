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
    hash.Add(document.constData(), document.size());
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
    if (m_bDigitPending) {
        // The pair that straddles two pieces.
        const char pair[2] = {m_pendingDigit, *pData++};
        DecodeOntoDocument(pair, 1);
        --nBytes;
        m_bDigitPending = false;
    }
    DecodeOntoDocument(pData, nBytes / 2);
    if (nBytes & 1) {
        m_bDigitPending = true;
        m_pendingDigit = pData[nBytes - 1];
    }
}

void CDownloadReplyReader::DecodeOntoDocument(const char* pText, qsizetype nPairs) {
    while (nPairs > 0) {
        QByteArray& block = BlockWithRoom();
        const qsizetype nOld = block.size();
        const qsizetype nTake = std::min(nPairs, block.capacity() - nOld);
        block.resize(nOld + nTake); // within its capacity: the block stays put
        DecodeHexPairs(pText, nTake, block.data() + nOld);
        m_hash.Add(block.constData() + nOld, nTake);
        m_nDocumentSize += nTake;
        pText += 2 * nTake;
        nPairs -= nTake;
    }
}

QByteArray& CDownloadReplyReader::BlockWithRoom() {
    if (m_blocks.empty() || m_blocks.back().size() == m_blocks.back().capacity()) {
        constexpr qsizetype kSmallestBlock = 1024 * 1024;
        QByteArray block;
        block.reserve(m_blocks.empty() && m_nExpectedSize > 0
                          ? m_nExpectedSize
                          : std::max(kSmallestBlock, m_nDocumentSize));
        m_blocks.push_back(std::move(block));
    }
    return m_blocks.back();
}

CDownloadReply CDownloadReplyReader::Finish() {
    // The hash is complete before its blocks change hands.
    const QByteArray documentDigest = m_hash.Result();
    CDownloadReply reply = std::move(m_reply);
    if (m_bDigitPending) {
        // An odd number of digits leaves the document empty.
        reply.m_documentDigest = MD5Hex(QByteArray());
    } else {
        reply.m_documentDigest = documentDigest;
        if (m_blocks.size() == 1) {
            reply.m_document = std::move(m_blocks.front());
        } else {
            reply.m_document.reserve(m_nDocumentSize);
            for (const QByteArray& block : m_blocks)
                reply.m_document.append(block);
        }
    }
    m_reply = CDownloadReply();
    m_blocks.clear();
    m_nDocumentSize = 0;
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
