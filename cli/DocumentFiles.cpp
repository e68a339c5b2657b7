#include "cli/DocumentFiles.h"

#include "base/FileException.h"
#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "convert/KomaFile.h"
#include "convert/SerializerList.h"
#include "model/KSData.h"

#include <QFileInfo>
#include <QSaveFile>

namespace DocumentFiles {

namespace {

bool HasSuffix(const QString& path, QStringView suffix) {
    return QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) == 0;
}

bool ReadDeviceDocument(const QString& path, CKSData& document) {
    QString error;
    if (LoadFromPath(document, path, &error))
        return true;
    ShowMessage(error.isEmpty() ? FormatStringResource(IDS_NOT_DEVICE_DOCUMENT, {path}) : error);
    return false;
}

bool WriteDeviceDocument(const CKSData& document, const QString& path) {
    QByteArray bytes;
    QString error;
    if (!document.SaveToBytes(bytes, &error)) {
        ShowMessage(error);
        return false;
    }
    return WriteBytes(path, bytes);
}

// The message for a file type the tool cannot handle that way, with the
// extensions it can on a second line.
void ShowUnsupported(int mask) {
    QStringList extensions = {QStringLiteral(".ksd")};
    for (const auto& serializer : Serializers()) {
        if (serializer->GetCapabilities() & mask)
            extensions.append(serializer->GetExtension());
    }
    ShowMessage(LoadStringResource(IDS_FORMAT_NOT_SUPPORTED) + u'\n' +
                FormatStringResource(IDS_TOOL_SUPPORTED_TYPES, {extensions.join(u", ")}));
}

// The name `info` gives the file type that an import read.
QString ImportedFormat(const QString& path) {
    if (HasSuffix(path, u"kom"))
        return IsKomaFile(path) ? QStringLiteral("kom") : QStringLiteral("koma2");
    return QFileInfo(path).suffix().toLower();
}

} // namespace

const CSerializerList& Serializers() {
    static const CSerializerList list = [] {
        CSerializerList serializers;
        serializers.AddStandardSerializers();
        return serializers;
    }();
    return list;
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    // The file is replaced only once it is complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ShowMessage(CFileException::OpenFailure(path, file.errorString()).GetErrorMessage());
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        ShowMessage(CFileException::WriteFault(path, file.errorString()).GetErrorMessage());
        return false;
    }
    return true;
}

bool Read(const QString& path, CKSData& document, QString& format) {
    if (HasSuffix(path, u"ksd")) {
        format = QStringLiteral("ksd");
        return ReadDeviceDocument(path, document);
    }
    if (!Serializers().FindByPath(path, CSerializer::CAP_IMPORT)) {
        ShowUnsupported(CSerializer::CAP_IMPORT);
        return false;
    }
    format = ImportedFormat(path);
    return ImportDocument(Serializers(), document, path);
}

bool Write(const CKSData& document, const QString& path, bool tileLayers) {
    if (HasSuffix(path, u"ksd"))
        return WriteDeviceDocument(document, path);
    if (!Serializers().FindByPath(path, CSerializer::CAP_EXPORT)) {
        ShowUnsupported(CSerializer::CAP_EXPORT);
        return false;
    }
    return ExportDocument(Serializers(), document, path, tileLayers);
}

} // namespace DocumentFiles
