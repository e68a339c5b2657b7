#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

// An open, seekable file (a QFile for paths, a QBuffer for memory streams)
// with exact, typed little-endian reads and writes. Every read that delivers
// fewer bytes than asked throws CFileException; positioning a read-only
// memory stream past its end throws CMemoryException.
class CFileUtility {
public:
    CFileUtility() = default;
    // Wraps an open device; `owns` makes the destructor delete it.
    CFileUtility(QIODevice* file, bool owns) : m_pFile(file), m_bOwns(owns) {}
    virtual ~CFileUtility();
    CFileUtility(const CFileUtility&) = delete;
    CFileUtility& operator=(const CFileUtility&) = delete;

    // Opens `path` for reading (write = false) or creates/truncates it for
    // writing. On failure returns false and, when given, sets `errorText` to
    // a message that names the file.
    bool Open(bool write, const QString& path, QString* errorText = nullptr);

    QIODevice* GetFile() const { return m_pFile; }
    QString GetFileName() const;

    qint64 GetPosition() const { return m_pFile->pos(); }
    qint64 GetLength() const { return m_pFile->size(); }
    // Bytes between the current position and the end of the data.
    qint64 GetRemaining() const;
    void Seek(qint64 position);
    void SeekToEnd() { Seek(GetLength()); }

    void ReadExact(void* buffer, qint64 count);
    // Reads exactly `count` bytes; refuses before allocating when fewer remain.
    QByteArray ReadBytes(qint64 count);
    quint8 ReadByte();
    quint16 ReadWord();
    qint32 ReadLong();
    // With -1, first reads a 32-bit length; then reads that many bytes.
    QByteArray ReadNarrowString(qint32 length = -1);

    void Write(const void* data, qint64 count);
    void WriteByte(quint8 value) { Write(&value, 1); }
    void WriteWord(quint16 value);
    void WriteLong(qint32 value);
    void WriteNarrowString(const QByteArray& text, bool withLength);

private:
    QIODevice* m_pFile = nullptr;
    bool m_bOwns = false;
};
