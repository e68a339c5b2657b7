#pragma once

#include <QString>

// Every user-facing message of the program passes through one sink: the
// window installs one that shows a message box, the command-line tool one
// that prints to stderr.
class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void ShowMessage(const QString& text) = 0;
    // A question with Yes and No buttons and the exclamation icon; true for
    // Yes. A sink that cannot ask shows the text and answers No.
    virtual bool AskYesNo(const QString& text) {
        ShowMessage(text);
        return false;
    }
};

// Installs `sink` (not owned) and returns the previous one; null restores the
// default, which prints to stderr.
IMessageSink* SetMessageSink(IMessageSink* sink);

// Hands a message with an OK button to the installed sink.
void ShowMessage(const QString& text);
// Asks the installed sink a yes/no question; true for Yes.
bool AskYesNo(const QString& text);

// Installs a sink for the lifetime of a scope, then restores the previous one.
class CScopedMessageSink {
public:
    explicit CScopedMessageSink(IMessageSink* sink) : m_pPrevious(SetMessageSink(sink)) {}
    ~CScopedMessageSink() { SetMessageSink(m_pPrevious); }
    CScopedMessageSink(const CScopedMessageSink&) = delete;
    CScopedMessageSink& operator=(const CScopedMessageSink&) = delete;

private:
    IMessageSink* m_pPrevious;
};
