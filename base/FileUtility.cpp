#include "base/FileUtility.h"

#include "base/FileException.h"
#include "base/LittleEndian.h"

#include <QBuffer>
#include <QFile>

CFileUtility::~CFileUtility() {
    if (m_bOwns)
        delete m_pFile;
}

bool CFileUtility::Open(bool write, const QString& path, QString* errorText) {
    QFile* file = qobject_cast<QFile*>(m_pFile);
    if (!file) {
        if (m_bOwns)
            delete m_pFile;
        file = new QFile;
        m_pFile = file;
        m_bOwns = true;
    }
    file->close();
    file->setFileName(path);
    const QIODevice::OpenMode mode =
        write ? (QIODevice::WriteOnly | QIODevice::Truncate) : QIODevice::ReadOnly;
    if (file->open(mode))
        return true;
    if (errorText)
        *errorText = CFileException::OpenFailure(path, file->errorString()).GetErrorMessage();
    return false;
}

QString CFileUtility::GetFileName() const {
    if (const auto* file = qobject_cast<const QFile*>(m_pFile))
        return file->fileName();
    return {};
}

qint64 CFileUtility::GetRemaining() const {
    const qint64 remaining = m_pFile->size() - m_pFile->pos();
    return remaining > 0 ? remaining : 0;
}

void CFileUtility::Seek(qint64 position) {
    const bool pastEnd = position < 0 || position > m_pFile->size();
    if (pastEnd && !m_pFile->isWritable()) {
        if (qobject_cast<QBuffer*>(m_pFile))
            throw CMemoryException();
        throw CFileException::EndOfFile(GetFileName());
    }
    if (!m_pFile->seek(position))
        throw CFileException::EndOfFile(GetFileName());
}

void CFileUtility::ReadExact(void* buffer, qint64 count) {
    if (count <= 0)
        return;
    if (m_pFile->read(static_cast<char*>(buffer), count) != count)
        throw CFileException::EndOfFile(GetFileName());
}

QByteArray CFileUtility::ReadBytes(qint64 count) {
    if (count <= 0)
        return {};
    if (count > GetRemaining())
        throw CFileException::EndOfFile(GetFileName());
    QByteArray bytes(count, Qt::Uninitialized);
    ReadExact(bytes.data(), count);
    return bytes;
}

quint8 CFileUtility::ReadByte() {
    quint8 value;
    ReadExact(&value, 1);
    return value;
}

quint16 CFileUtility::ReadWord() {
    uchar bytes[2];
    ReadExact(bytes, 2);
    return LittleEndian::Get<quint16>(bytes);
}

qint32 CFileUtility::ReadLong() {
    uchar bytes[4];
    ReadExact(bytes, 4);
    return LittleEndian::Get<qint32>(bytes);
}

QByteArray CFileUtility::ReadNarrowString(qint32 length) {
    if (length == -1)
        length = ReadLong();
    if (length < 0)
        throw CFileException::BadFormat(GetFileName());
    return ReadBytes(length);
}

void CFileUtility::Write(const void* data, qint64 count) {
    if (count <= 0)
        return;
    if (m_pFile->write(static_cast<const char*>(data), count) != count)
        throw CFileException::WriteFault(GetFileName(), m_pFile->errorString());
}

void CFileUtility::WriteWord(quint16 value) {
    uchar bytes[2];
    LittleEndian::Put(bytes, value);
    Write(bytes, 2);
}

void CFileUtility::WriteLong(qint32 value) {
    uchar bytes[4];
    LittleEndian::Put(bytes, value);
    Write(bytes, 4);
}

void CFileUtility::WriteNarrowString(const QByteArray& text, bool withLength) {
    if (withLength)
        WriteLong(qint32(text.size()));
    Write(text.constData(), text.size());
}
