#include "cli/DocumentFiles.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"

#include "base/FileException.h"
#include "base/MessageSink.h"
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

const CSerializerList& Serializers() {
    static const CSerializerList list = [] {
        CSerializerList serializers;
        serializers.AddStandardSerializers();
        return serializers;
    }();
    return list;
}

bool ReadDeviceDocument(const QString& path, CKSData& document) {
    QString error;
    if (LoadFromPath(document, path, &error))
        return true;
    ShowMessage(error.isEmpty() ? FormatStringResource(IDS_NOT_DEVICE_DOCUMENT, {path}) : error);
    return false;
}

bool WriteDeviceDocument(const CKSData& document, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ShowMessage(CFileException::OpenFailure(path, file.errorString()).GetErrorMessage());
        return false;
    }
    QString error;
    if (!document.Save(file, &error)) {
        ShowMessage(error);
        return false;
    }
    if (!file.commit()) {
        ShowMessage(CFileException::WriteFault(path, file.errorString()).GetErrorMessage());
        return false;
    }
    return true;
}

// The name `info` gives the file type that an import read.
QString ImportedFormat(const QString& path) {
    if (HasSuffix(path, u"kom"))
        return IsKomaFile(path) ? QStringLiteral("kom") : QStringLiteral("koma2");
    return QFileInfo(path).suffix().toLower();
}

} // namespace

bool Read(const QString& path, CKSData& document, QString& format) {
    if (HasSuffix(path, u"ksd")) {
        format = QStringLiteral("ksd");
        return ReadDeviceDocument(path, document);
    }
    format = ImportedFormat(path);
    return ImportDocument(Serializers(), document, path);
}

bool Write(const CKSData& document, const QString& path, bool tileLayers) {
    if (HasSuffix(path, u"ksd"))
        return WriteDeviceDocument(document, path);
    return ExportDocument(Serializers(), document, path, tileLayers);
}

} // namespace DocumentFiles
