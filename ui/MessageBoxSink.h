#pragma once

#include "base/MessageSink.h"

// Shows every message in a modal message box with the application name as
// its caption and an OK button (a question with Yes and No), over whichever window is modal at the
// time. The text is always shown as plain text, since it may carry names the app sent.
class CMessageBoxSink : public IMessageSink {
public:
    void ShowMessage(const QString& text) override;
    bool AskYesNo(const QString& text) override;
};
