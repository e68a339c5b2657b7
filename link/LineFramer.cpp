#include "link/LineFramer.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "link/Packet.h"

#include <cerrno>
#include <cstring>

namespace {

// An emptied buffer keeps an allocation up to this size for the next bytes;
// a larger one (left by a long line) is given back.
constexpr qsizetype kKeptCapacity = 4 * 1024 * 1024;

// Index of the first `c` in buffer[nFrom, nTo), or -1.
qsizetype IndexOf(const QByteArray& buffer, char c, qsizetype nFrom, qsizetype nTo) {
    const void* p = std::memchr(buffer.constData() + nFrom, c, size_t(nTo - nFrom));
    return p ? qsizetype(static_cast<const char*>(p) - buffer.constData()) : -1;
}

} // namespace

CLineFramer::CLineFramer(IRouter& router, qsizetype nMaxLine, qsizetype nMaxUntaken)
    : m_router(router), m_nMaxLine(nMaxLine), m_nMaxUntaken(nMaxUntaken) {}

char* CLineFramer::Prepare(qsizetype nBytes) {
    // Every byte before m_nScanned has been framed; a previous Prepare that
    // was never committed is written over.
    m_buffer.resize(m_nScanned + nBytes);
    return m_buffer.data() + m_nScanned;
}

bool CLineFramer::Commit(qsizetype nWritten, CSocketError& error) {
    m_buffer.resize(m_nScanned + nWritten);
    if (!Frame(error))
        return false;
    if (m_buffer.size() - m_nLineStart + m_nCutBytes > m_nMaxLine) {
        error = LineTooLong();
        return false;
    }
    if (PendingBytes() > m_nMaxUntaken) {
        error = {EMSGSIZE, FormatStringResource(IDS_TOO_MUCH_UNTAKEN, {qint64(m_nMaxUntaken)})};
        return false;
    }
    Compact();
    return true;
}

CSocketError CLineFramer::LineTooLong() const {
    return {EMSGSIZE, FormatStringResource(IDS_LINE_TOO_LONG, {qint64(m_nMaxLine)})};
}

bool CLineFramer::Append(QByteArrayView bytes, CSocketError& error) {
    std::memcpy(Prepare(bytes.size()), bytes.data(), size_t(bytes.size()));
    return Commit(bytes.size(), error);
}

bool CLineFramer::Frame(CSocketError& error) {
    while (m_nScanned < m_buffer.size()) {
        qsizetype nFeed = IndexOf(m_buffer, '\n', m_nScanned, m_buffer.size());
        const qsizetype nStop = nFeed < 0 ? m_buffer.size() : nFeed;
        if (m_state == State::Head) {
            const qsizetype nColon = IndexOf(m_buffer, ':', m_nScanned, nStop);
            if (nColon >= 0) {
                StartPacket(nColon);
                continue;
            }
        } else if (m_state != State::Buffered) {
            // The value leaves the buffer as it arrives; the line feed moves
            // up to where the value began.
            CutValue(nStop);
            if (nFeed >= 0)
                nFeed = m_nScanned;
        }
        if (nFeed < 0) {
            m_nScanned = m_buffer.size();
            break;
        }
        if (!EndLine(nFeed, error))
            return false;
    }
    return true;
}

void CLineFramer::StartPacket(qsizetype nColon) {
    IValueStream* pStream = nullptr;
    m_nOwner = m_router.RoutePacket(
        QByteArrayView(m_buffer.constData() + m_nLineStart, nColon - m_nLineStart), pStream);
    m_pStream = m_nOwner != 0 ? pStream : nullptr;
    m_state = m_pStream ? State::Streamed : State::Buffered;
    m_nScanned = nColon + 1;
}

void CLineFramer::CutValue(qsizetype nStop) {
    const qsizetype nBytes = nStop - m_nScanned;
    if (nBytes == 0)
        return;
    if (m_state == State::Streamed)
        m_pStream->AppendValue(m_buffer.constData() + m_nScanned, nBytes);
    // Usually the end of the buffer; otherwise only the rest of one read
    // moves.
    m_buffer.remove(m_nScanned, nBytes);
    m_nCutBytes += nBytes;
}

bool CLineFramer::EndLine(qsizetype nFeed, CSocketError& error) {
    if (nFeed - m_nLineStart + m_nCutBytes > m_nMaxLine) {
        error = LineTooLong();
        return false;
    }
    const bool bAnswers = m_state == State::Buffered || m_state == State::Streamed;
    const quint64 nOwner = bAnswers ? m_nOwner : 0;
    if (nOwner == 0 && m_lines.empty())
        m_nTaken = nFeed + 1; // nobody waits for it and nothing before it: drop it now
    else
        m_lines.push_back({nFeed, nOwner});
    m_nLineStart = m_nScanned = nFeed + 1;
    m_nCutBytes = 0;
    m_state = State::Head;
    m_nOwner = 0;
    m_pStream = nullptr;
    return true;
}

bool CLineFramer::TakeLine(QByteArray& name, QByteArray& value) {
    const CLineEnd line = m_lines.front();
    m_lines.pop_front();
    const bool bPacket = SplitPacketLine(
        QByteArrayView(m_buffer.constData() + m_nTaken, line.nEnd - m_nTaken), name, value);
    m_nTaken = line.nEnd + 1;
    Compact();
    return bPacket;
}

void CLineFramer::DropStream() {
    if (m_state == State::Streamed) {
        m_state = State::Discarded;
        m_pStream = nullptr;
        m_nOwner = 0;
    }
}

void CLineFramer::Clear() {
    m_buffer = QByteArray();
    m_nTaken = m_nLineStart = m_nScanned = m_nCutBytes = 0;
    m_state = State::Head;
    m_nOwner = 0;
    m_pStream = nullptr;
    m_lines.clear();
}

void CLineFramer::Compact() {
    const qsizetype nShift = m_nTaken;
    if (nShift == 0)
        return;
    if (nShift == m_buffer.size()) {
        if (m_buffer.capacity() > kKeptCapacity)
            m_buffer = QByteArray();
        else
            m_buffer.resize(0);
    } else if (nShift > m_buffer.size() / 2) {
        // Taken bytes are dropped once they are at least half the buffer, so
        // a long queue is not moved for every line.
        m_buffer.remove(0, nShift);
    } else {
        return;
    }
    for (CLineEnd& line : m_lines)
        line.nEnd -= nShift;
    m_nLineStart -= nShift;
    m_nScanned -= nShift;
    m_nTaken = 0;
}
