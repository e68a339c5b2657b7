#include "base/FileException.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"

#include <new>

namespace {

QString Named(const QString& fileName) {
    return fileName.isEmpty() ? LoadStringResource(IDS_UNNAMED_FILE) : fileName;
}

} // namespace

CFileException CFileException::EndOfFile(const QString& fileName) {
    return CFileException(FormatStringResource(IDS_READ_PAST_END, {Named(fileName)}));
}

CFileException CFileException::WriteFault(const QString& fileName, const QString& reason) {
    QString text = FormatStringResource(IDS_WRITE_FAULT, {Named(fileName)});
    if (!reason.isEmpty())
        text += u'\n' + reason;
    return CFileException(text);
}

CFileException CFileException::OpenFailure(const QString& fileName, const QString& reason) {
    return CFileException(FormatStringResource(IDS_OPEN_FAILURE, {Named(fileName), reason}));
}

CFileException CFileException::BadFormat(const QString& fileName) {
    return CFileException(FormatStringResource(IDS_BAD_FORMAT, {Named(fileName)}));
}

CMemoryException::CMemoryException() : CException(LoadStringResource(IDS_OUT_OF_MEMORY)) {}

bool CatchFileErrors(const std::function<bool()>& operation, QString& errorText) {
    try {
        return operation();
    } catch (const CException& e) {
        errorText = e.GetErrorMessage();
    } catch (const std::bad_alloc&) {
        errorText = CMemoryException().GetErrorMessage();
    }
    return false;
}
