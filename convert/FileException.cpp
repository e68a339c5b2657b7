#include "convert/FileException.h"

namespace {

QString Named(const QString& fileName) {
    return fileName.isEmpty() ? QStringLiteral(u"ファイル") : fileName;
}

} // namespace

CFileException CFileException::EndOfFile(const QString& fileName) {
    return CFileException(
        QStringLiteral(u"%1 の終わりを越えて読み込もうとしました。").arg(Named(fileName)));
}

CFileException CFileException::WriteFault(const QString& fileName, const QString& reason) {
    QString text =
        QStringLiteral(u"%1 への書き込み中にエラーが発生しました。").arg(Named(fileName));
    if (!reason.isEmpty())
        text += u'\n' + reason;
    return CFileException(text);
}

CFileException CFileException::OpenFailure(const QString& fileName, const QString& reason) {
    return CFileException(
        QStringLiteral(u"%1 を開けませんでした。%2").arg(Named(fileName), reason));
}

CFileException CFileException::BadFormat(const QString& fileName) {
    return CFileException(QStringLiteral(u"%1 の形式が正しくありません。").arg(Named(fileName)));
}

CMemoryException::CMemoryException() : CException(QStringLiteral(u"メモリが不足しています。")) {}
