#include "model/ChunkFile.h"

#include "base/FileException.h"
#include "base/MessageSink.h"

namespace {

constexpr qint64 kChunkHeaderSize = 6;

} // namespace

void CChunkFile::WriteHeader(quint16 id, quint32 size) {
    WriteWord(id);
    WriteLong(qint32(size));
}

void CChunkFile::BeginChunk(quint16 id) {
    WriteWord(id);
    m_openChunks.push_back(quint64(GetPosition()));
    WriteLong(0);
}

void CChunkFile::EndChunk() {
    const qint64 end = GetPosition();
    const qint64 sizeField = qint64(m_openChunks.back());
    m_openChunks.pop_back();
    Seek(sizeField);
    WriteLong(qint32(quint32(end - sizeField - 4)));
    SeekToEnd();
}

void CChunkFile::WriteTextChunk(quint16 id, const QByteArray& text) {
    WriteDataChunk(id, text.constData(), text.size());
}

void CChunkFile::WriteByteChunk(quint16 id, quint8 value) {
    WriteHeader(id, 1);
    WriteByte(value);
}

void CChunkFile::WriteIntChunk(quint16 id, qint32 value) {
    WriteHeader(id, 4);
    WriteLong(value);
}

void CChunkFile::WriteDataChunk(quint16 id, const void* data, qint64 count) {
    WriteHeader(id, quint32(count));
    Write(data, count);
}

void CChunkFile::WriteObjectChunk(quint16 id, const CChunkSerializer& object) {
    BeginChunk(id);
    object.WriteChunks(*this);
    EndChunk();
}

void ReadChunks(CFileUtility& file, CChunkSerializer& target, quint32 length) {
    target.OnBeginRead();
    quint64 pos = quint64(file.GetPosition());
    const quint64 end = pos + length;
    while (pos < end) {
        const quint16 id = file.ReadWord();
        const quint32 size = quint32(file.ReadLong());
        target.ReadChunk(file, id, size);
        const quint64 next = pos + kChunkHeaderSize + size;
        if (quint64(file.GetPosition()) != next)
            file.Seek(qint64(next));
        pos = next;
    }
    file.Seek(qint64(end));
}

namespace StandardDocument {

bool Save(const CChunkSerializer& target, QIODevice& file, QString* errorText) {
    QString failure;
    const bool saved = CatchFileErrors(
        [&] {
            CChunkFile chunkFile(&file, false);
            const QByteArray signature = target.GetSignature();
            chunkFile.Write(signature.constData(), signature.size());
            chunkFile.WriteObjectChunk(0, target);
            return true;
        },
        failure);
    if (!saved)
        ReportFailure(errorText, failure, QString());
    return saved;
}

bool Load(CChunkSerializer& target, QIODevice& file, QString* errorText) {
    QString failure;
    const bool loaded = CatchFileErrors(
        [&] {
            CFileUtility reader(&file, false);
            const QByteArray signature = target.GetSignature();
            if (reader.ReadBytes(signature.size()) != signature)
                return false;
            if (reader.ReadWord() != 0)
                return false;
            const quint32 rootSize = quint32(reader.ReadLong());
            ReadChunks(reader, target, rootSize);
            return true;
        },
        failure);
    // A wrong signature fails without a text of its own.
    if (!loaded && !failure.isEmpty())
        ReportFailure(errorText, failure, QString());
    return loaded;
}

} // namespace StandardDocument

bool LoadFromPath(CChunkSerializer& target, const QString& path, QString* errorText) {
    CFileUtility file;
    QString openError;
    if (!file.Open(false, path, &openError)) {
        ReportFailure(errorText, openError, path);
        return false;
    }
    return target.Load(*file.GetFile(), errorText);
}

void ReportFailure(QString* errorText, const QString& text, const QString& detail) {
    QString message = text;
    if (!detail.isEmpty())
        message += QStringLiteral("\n\n") + detail;
    if (errorText)
        *errorText = message;
    else
        ShowMessage(message);
}
