#include "base/MessageSink.h"

#include <cstdio>

namespace {

class CStderrSink : public IMessageSink {
public:
    void ShowMessage(const QString& text) override {
        // Message texts break lines with CR LF; a terminal or a log wants LF.
        const QByteArray bytes =
            QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        if (!text.endsWith(u'\n'))
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }
};

CStderrSink g_stderrSink;
IMessageSink* g_pSink = &g_stderrSink;

} // namespace

IMessageSink* SetMessageSink(IMessageSink* sink) {
    IMessageSink* previous = g_pSink;
    g_pSink = sink ? sink : &g_stderrSink;
    return previous;
}

void ShowMessage(const QString& text) {
    g_pSink->ShowMessage(text);
}

bool AskYesNo(const QString& text) {
    return g_pSink->AskYesNo(text);
}
