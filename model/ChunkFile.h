#pragma once

#include "base/FileUtility.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <vector>

class CChunkFile;

// Base of every object that reads and writes itself as a list of chunks:
// a 16-bit id, a 32-bit payload size and the payload, all little-endian.
class CChunkSerializer {
public:
    virtual ~CChunkSerializer() = default;

    // Writes the object's own children; the parent writes the enclosing header.
    virtual void WriteChunks(CChunkFile& file) const { (void)file; }
    // Called once per child chunk with the file positioned at its payload.
    // It may read any amount: ReadChunks repositions the file afterwards.
    virtual void ReadChunk(CFileUtility& file, quint16 id, quint32 size) {
        (void)file, (void)id, (void)size;
    }
    // Called before the first child of the object is read.
    virtual void OnBeginRead() {}
    virtual QByteArray GetSignature() const { return {}; }
    virtual bool Save(QIODevice& file, QString* errorText) const {
        (void)file, (void)errorText;
        return false;
    }
    virtual bool Load(QIODevice& file, QString* errorText) {
        (void)file, (void)errorText;
        return false;
    }
};

// A writer that opens and closes chunks and fills in each chunk's size once
// its payload has been written.
class CChunkFile : public CFileUtility {
public:
    using CFileUtility::CFileUtility;

    void BeginChunk(quint16 id);
    void EndChunk();
    void WriteTextChunk(quint16 id, const QByteArray& text);
    void WriteByteChunk(quint16 id, quint8 value);
    void WriteIntChunk(quint16 id, qint32 value);
    void WriteDataChunk(quint16 id, const void* data, qint64 count);
    // A chunk whose payload is the children that `object` writes.
    void WriteObjectChunk(quint16 id, const CChunkSerializer& object);

    bool HasOpenChunks() const { return !m_openChunks.empty(); }

private:
    void WriteHeader(quint16 id, quint32 size);

    // Positions of the size fields of the chunks begun and not yet ended.
    std::vector<quint64> m_openChunks;
};

// Reads the child chunks that fill the next `length` bytes of `file` and hands
// each to `target`; leaves the file just after that region.
void ReadChunks(CFileUtility& file, CChunkSerializer& target, quint32 length);

// The standard procedures of a signed document: the signature, then one root
// chunk with id 0 holding the document's children.
namespace StandardDocument {
bool Save(const CChunkSerializer& target, QIODevice& file, QString* errorText);
bool Load(CChunkSerializer& target, QIODevice& file, QString* errorText);
} // namespace StandardDocument

// Opens `path` for reading and runs the target's Load on it.
bool LoadFromPath(CChunkSerializer& target, const QString& path, QString* errorText);

// Builds "text" or "text\n\ndetail" and stores it in `errorText`, or shows it
// through the message sink when `errorText` is null.
void ReportFailure(QString* errorText, const QString& text, const QString& detail);
