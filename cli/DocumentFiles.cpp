#include "cli/DocumentFiles.h"

#include "model/KSData.h"
#include "res/MessageSink.h"
#include "res/StringTable.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace DocumentFiles {

namespace {

bool IsDeviceDocumentPath(const QString& path) {
    return QFileInfo(path).suffix().compare(u"ksd", Qt::CaseInsensitive) == 0;
}

bool ReadDeviceDocument(const QString& path, CKSData& document) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(QStringLiteral(u"%1 を開けませんでした。%2").arg(path, file.errorString()));
        return false;
    }
    QString error;
    if (document.Load(file, &error))
        return true;
    ShowMessage(error.isEmpty() ? QStringLiteral("%1 is not a KomaSlate device document.").arg(path)
                                : error);
    return false;
}

bool WriteDeviceDocument(const CKSData& document, const QString& path) {
    QSaveFile file(path);
    QString error;
    if (!file.open(QIODevice::WriteOnly)) {
        ShowMessage(QStringLiteral(u"%1 を開けませんでした。%2").arg(path, file.errorString()));
        return false;
    }
    if (!document.Save(file, &error)) {
        ShowMessage(error);
        return false;
    }
    if (!file.commit()) {
        ShowMessage(QStringLiteral(u"%1 への書き込み中にエラーが発生しました。\n%2")
                        .arg(path, file.errorString()));
        return false;
    }
    return true;
}

} // namespace

bool Read(const QString& path, CKSData& document, QString& format) {
    if (IsDeviceDocumentPath(path)) {
        format = QStringLiteral("ksd");
        return ReadDeviceDocument(path, document);
    }
    ShowMessage(LoadStringResource(IDS_FORMAT_NOT_SUPPORTED));
    return false;
}

bool Write(const CKSData& document, const QString& path, bool tileLayers) {
    (void)tileLayers;
    if (IsDeviceDocumentPath(path))
        return WriteDeviceDocument(document, path);
    ShowMessage(LoadStringResource(IDS_FORMAT_NOT_SUPPORTED));
    return false;
}

} // namespace DocumentFiles
