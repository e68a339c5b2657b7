#pragma once

#include <QIODevice>
#include <QString>

#include <zlib.h>

// One zlib stream. Only decompression is used: a zlib-wrapped deflate stream
// is read from a device and inflated into a buffer of a known size.
class CZStream {
public:
    CZStream();
    ~CZStream();
    CZStream(const CZStream&) = delete;
    CZStream& operator=(const CZStream&) = delete;

    // Starts a fresh decompression; false (with an error text) when the
    // library cannot start one.
    bool InitInflate();
    // Reads compressed data from `file` and inflates it into `out`. Succeeds
    // only when the stream ends exactly as `outSize` bytes are filled.
    bool InflateFrom(QIODevice& file, quint8* out, quint32 outSize);
    // Ends the open stream, if any.
    void End();
    const QString& GetError() const { return m_strError; }

    // The text for compressed data that does not expand to what was expected.
    static QString InflateErrorText();

private:
    // The stream's mode in zlib's numbering; compression (1) is never started.
    enum Mode : quint8 { MODE_NONE = 0, MODE_INFLATE = 2 };

    z_stream m_stream{};
    quint8 m_nMode = MODE_NONE;
    QString m_strError;
};
