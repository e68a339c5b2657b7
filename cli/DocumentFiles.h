#pragma once

#include <QByteArray>
#include <QString>

class CKSData;
class CSerializerList;

// Reading and writing the files the tool accepts. Failures are shown through
// the message sink (stderr for the tool) and reported as false.
namespace DocumentFiles {

// The program's file types.
const CSerializerList& Serializers();

// Writes `bytes` to `path`, replacing the file only once they are all
// written.
bool WriteBytes(const QString& path, const QByteArray& bytes);

// The format name for `info` ("ksd", ...) of the file just read.
bool Read(const QString& path, CKSData& document, QString& format);
bool Write(const CKSData& document, const QString& path, bool tileLayers);

} // namespace DocumentFiles
