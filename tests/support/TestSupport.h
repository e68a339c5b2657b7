#pragma once

#include "base/MessageSink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// Collects the messages shown while it is installed, instead of printing them.
class CCapturingSink : public IMessageSink {
public:
    CCapturingSink() : m_scope(this) {}
    void ShowMessage(const QString& text) override { m_messages.append(text); }
    const QStringList& Messages() const { return m_messages; }

private:
    QStringList m_messages;
    CScopedMessageSink m_scope;
};

// Bytes from hexadecimal text, ignoring spaces ("ED 03 01").
QByteArray Hex(const char* text);

// Writes `bytes` as seed `name` for the fuzz target `fuzzer`, so the fuzz
// smoke run starts from documents the tests know to be valid.
void WriteFuzzSeed(const char* fuzzer, const QString& name, const QByteArray& bytes);

// The public PNG test suite beside the project.
QString PngSuitePath(const QString& fileName);

// Runs the event loop until `done` holds; false when a generous safety limit
// passes first (tests wait for events, never for a fixed time). Wakes at
// least every 100 ms to look at the limit.
bool WaitUntil(const std::function<bool()>& done, int limitMs = 20000);
