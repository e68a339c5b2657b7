#pragma once

#include "link/SocketError.h"
#include "link/ValueStream.h"

#include <QByteArray>
#include <QByteArrayView>

#include <deque>

// Cuts the bytes received on a connection, however they are split, into
// lines. A line with a colon is a packet: as soon as its colon has arrived
// the router says whom it answers and whether its value goes to a stream as
// it arrives; otherwise the line stays in the buffer until it is taken.
// Lines without a colon answer nobody.
class CLineFramer {
public:
    class IRouter {
    public:
        virtual ~IRouter() = default;
        // A packet line named `name` (the bytes before its first colon) has
        // begun. Returns its owner tag (0: it answers nobody) and may set
        // pStream to take its value as it arrives.
        virtual quint64 RoutePacket(QByteArrayView name, IValueStream*& pStream) = 0;
    };

    // nMaxLine: the longest line, without its line feed, streamed bytes
    // included. nMaxUntaken: the most bytes kept for lines not yet taken.
    CLineFramer(IRouter& router, qsizetype nMaxLine, qsizetype nMaxUntaken);

    // Room for nBytes at the end of the buffer: write received bytes there,
    // then call Commit with the number written.
    char* Prepare(qsizetype nBytes);
    // Frames the nWritten bytes just written after Prepare. False, with the
    // reason in `error`, when a line or the untaken bytes grew too long; the
    // framer must then be cleared.
    bool Commit(qsizetype nWritten, CSocketError& error);
    // Prepare, copy and Commit in one.
    bool Append(QByteArrayView bytes, CSocketError& error);

    bool HasLine() const { return !m_lines.empty(); }
    // The owner tag of the oldest complete line.
    quint64 FrontOwner() const { return m_lines.front().nOwner; }
    // Removes the oldest complete line. For a packet line, fills name and
    // value (the value is empty when it was streamed) and returns true.
    bool TakeLine(QByteArray& name, QByteArray& value);

    // The stream of the line being received may no longer be used: the rest
    // of that line is dropped and it answers nobody.
    void DropStream();
    // Forgets every byte and line.
    void Clear();
    // Bytes kept for lines not yet taken.
    qsizetype PendingBytes() const { return m_buffer.size() - m_nTaken; }

private:
    enum class State {
        Head,      // no colon yet
        Buffered,  // a packet kept in the buffer
        Streamed,  // a packet whose value goes to m_pStream
        Discarded, // a packet whose value is dropped
    };
    struct CLineEnd {
        qsizetype nEnd; // index of its line feed in m_buffer
        quint64 nOwner;
    };

    // Frames the bytes from m_nScanned to the end.
    bool Frame(CSocketError& error);
    // The line's first colon is at nColon: asks the router about it.
    void StartPacket(qsizetype nColon);
    // Passes m_buffer[m_nScanned, nStop) to the stream (when streaming) and
    // removes those bytes from the buffer.
    void CutValue(qsizetype nStop);
    // The line ends with the line feed at nFeed.
    bool EndLine(qsizetype nFeed, CSocketError& error);
    CSocketError LineTooLong() const;
    // Gives up the room of taken bytes once it is worth moving the rest.
    void Compact();

    IRouter& m_router;
    const qsizetype m_nMaxLine;
    const qsizetype m_nMaxUntaken;

    QByteArray m_buffer;
    qsizetype m_nTaken = 0;     // bytes at the front already taken
    qsizetype m_nLineStart = 0; // where the line being received starts
    qsizetype m_nScanned = 0;   // the line is examined up to here
    qsizetype m_nCutBytes = 0;  // bytes of that line streamed or dropped
    State m_state = State::Head;
    quint64 m_nOwner = 0;
    IValueStream* m_pStream = nullptr;
    std::deque<CLineEnd> m_lines;
};
