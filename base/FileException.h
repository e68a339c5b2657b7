#pragma once

#include <QString>

#include <exception>
#include <functional>

// The file layer's exceptions. Each carries the text shown to the user; the
// document and serializer procedures catch them and report that text.
class CException : public std::exception {
public:
    explicit CException(QString text) : m_strText(std::move(text)) {}
    const QString& GetErrorMessage() const { return m_strText; }
    const char* what() const noexcept override { return "KomaSlate file layer error"; }

private:
    QString m_strText;
};

// A file could not be read, written or positioned as asked, or its contents
// are not in a readable form.
class CFileException : public CException {
public:
    using CException::CException;

    // A read that delivered fewer bytes than asked.
    static CFileException EndOfFile(const QString& fileName);
    // A write that could not be completed.
    static CFileException WriteFault(const QString& fileName, const QString& reason);
    // A file that could not be opened or created.
    static CFileException OpenFailure(const QString& fileName, const QString& reason);
    // Stored counts or sizes that no valid file holds.
    static CFileException BadFormat(const QString& fileName);
};

// A fixed-size memory stream was positioned past its end.
class CMemoryException : public CException {
public:
    CMemoryException();
};

// Runs `operation` so that no file-layer exception and no failed allocation
// leaves it. Returns the operation's result; after an exception, false with
// the exception's text in `errorText`.
bool CatchFileErrors(const std::function<bool()>& operation, QString& errorText);
