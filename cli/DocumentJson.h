#pragma once

#include <QJsonObject>
#include <QString>

class CKSData;

// Describes a device document as the JSON object that `komaslate-tool info`
// prints; `format` names the file type it was read from.
QJsonObject DescribeDocument(const CKSData& document, const QString& format);
