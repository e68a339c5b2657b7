#pragma once

#include <QString>

class CKSData;

// Reading and writing the files the tool accepts. Failures are shown through
// the message sink (stderr for the tool) and reported as false.
namespace DocumentFiles {

// The format name for `info` ("ksd", ...) of the file just read.
bool Read(const QString& path, CKSData& document, QString& format);
bool Write(const CKSData& document, const QString& path, bool tileLayers);

} // namespace DocumentFiles
