#pragma once

#include <QString>

#include <functional>
#include <optional>

class CKSData;

// What the app accepts, by the protocol version it reported. Each check
// returns the message to show for the first rule the upload breaks, or an
// empty text when it breaks none. The window and the command-line tool use
// the same checks and texts.

// The name a file is uploaded under: its file name without folder and
// without its last extension ("a.b.png" gives "a.b").
QString UploadNameOf(const QString& path);

// From version 3 on, names are at most 50 UTF-16 units long.
QString CheckUploadName(const QString& name, int protocolVersion);

// The picture's width and height, its layer count and its buffer size
// (width × height × layers) against the version's limits.
QString CheckUploadLimits(const CKSData& document, int protocolVersion);

// The whole check of one local file before it is uploaded, in order: the
// name's length, whether the name can travel in a request line, reading
// the file into `document` with `readFile` (which shows its own failures),
// the picture's limits. Every refusal is shown through the message sink.
// Returns the name to upload under, or nothing when the file is refused.
std::optional<QString> PrepareUpload(const QString& path, int protocolVersion, CKSData& document,
                                     const std::function<bool(CKSData&, const QString&)>& readFile);
