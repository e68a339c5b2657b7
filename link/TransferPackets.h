#pragma once

#include "base/BackgroundMd5.h"
#include "link/ValueStream.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

// The values of the file-transfer exchanges: the download reply, the answer
// to IsOverwrite and the SetFile request line, as the utility reads and
// writes them, and their counterparts on the app's side.

// The value of a GetFile "ok" reply: 32 characters of digest text, one
// separator byte that is not examined, then the document in hexadecimal.
class CDownloadReply {
public:
    // Reads a whole value (CDownloadReplyReader reads one as it arrives).
    static CDownloadReply Parse(const QByteArray& value);

    // The first 32 bytes of the value (fewer when it is shorter).
    const QByteArray& Digest() const { return m_digest; }
    // The decoded bytes from offset 33 on; empty when their hexadecimal
    // text has an odd length.
    const QByteArray& Document() const { return m_document; }
    // True when the digest text equals the MD5 of the document, compared as
    // bytes (an upper-case digest never matches).
    bool IsVerified() const { return m_documentDigest == m_digest; }

private:
    friend class CDownloadReplyReader;
    QByteArray m_digest;
    QByteArray m_document;
    QByteArray m_documentDigest; // MD5 of m_document as lower-case text
};

// Reads a GetFile "ok" value piece by piece as it arrives: the hexadecimal
// text is decoded at once and the document hashed beside it on another
// thread, so neither the text nor a second pass over the document is needed.
// However the value is split, the result equals CDownloadReply::Parse of the
// whole.
class CDownloadReplyReader : public IValueStream {
public:
    // nExpectedSize: the document size to reserve room for (an estimate; a
    // wrong one costs only time).
    explicit CDownloadReplyReader(qsizetype nExpectedSize = 0);

    void AppendValue(const char* pData, qsizetype nBytes) override;
    // The reply read so far, its hash included; the reader starts again.
    CDownloadReply Finish();

private:
    void AppendDocumentHex(const char* pData, qsizetype nBytes);
    // Decodes nPairs pairs of characters onto the end of the document.
    void DecodeOntoDocument(const char* pText, qsizetype nPairs);
    // The last block, with room for at least one more byte.
    QByteArray& BlockWithRoom();

    qsizetype m_nExpectedSize;
    CDownloadReply m_reply;
    // The decoded document in blocks that never move while the hash reads
    // them: the first of the expected size, further ones (when the reply is
    // longer) each as large as all before. Joined when the reply ends.
    std::vector<QByteArray> m_blocks;
    qsizetype m_nDocumentSize = 0;
    bool m_bSeparatorSeen = false;
    bool m_bDigitPending = false; // the text so far has an odd length
    char m_pendingDigit = 0;
    CBackgroundMd5 m_hash; // last: stops before the blocks it reads go
};

// The app's answer to IsOverwrite: whether a document of that name exists,
// the name to use and a name under which nothing exists.
struct COverwriteAnswer {
    bool m_bExists = false;
    QString m_strName;
    QString m_strAltName;

    // Decodes the value from UTF-8 and splits it at carriage returns;
    // nothing when it holds fewer than three fields. Field 0 read as a
    // decimal number greater than 0 means the name exists.
    static std::optional<COverwriteAnswer> Parse(const QByteArray& value);
};

// "SetFile:" + name + CR + MD5 digest text + CR + the document in lower-case
// hexadecimal + LF, built in one buffer reserved from the document's size.
QByteArray MakeSetFileLine(const QByteArray& utf8Name, const QByteArray& document);

// A name can travel in a request line when it holds no line feed, carriage
// return or NUL: the first would end the line, the others cut the fields
// or the name on the app's side.
bool IsSendableName(const QByteArray& utf8Name);

// ---- The app's side of the same exchanges ----

// The whole GetFile "ok" reply line: "ok:", the digest text, CR, the document
// in lower-case hexadecimal, LF; built in one buffer of the exact size.
QByteArray MakeDownloadReplyLine(const QByteArray& document);

// The value of an IsOverwrite "ok" reply: "1" when the name exists, else "0",
// then CR, the name, CR and the alternative name, the names as given.
QByteArray MakeOverwriteAnswer(bool exists, const QByteArray& utf8Name,
                               const QByteArray& utf8AltName);

// The argument of a SetFile request: name, CR, digest text, CR, the document
// in hexadecimal.
struct CSetFileRequest {
    QByteArray m_name;
    QByteArray m_digest;
    QByteArray m_document;

    // Cuts the argument at its first two carriage returns. Nothing when it
    // holds fewer than two, or when the text after the second is not an even
    // number of hexadecimal digits and nothing else.
    static std::optional<CSetFileRequest> Parse(QByteArrayView argument);
    // True when the digest text is exactly the lower-case MD5 of the document.
    bool IsVerified() const;
};
