#include "base/AnsiCodePage.h"

#include <QList>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

constexpr char kCodePage[] = "CP932";

// One iconv conversion descriptor for the lifetime of a call.
class CIconv {
public:
    CIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CIconv() {
        if (IsOpen())
            iconv_close(m_cd);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    bool IsOpen() const { return m_cd != iconv_t(-1); }
    // Converts as much as fits; returns false with errno set when it stopped
    // early (EILSEQ: a character it cannot convert, E2BIG: the output is
    // full, EINVAL: an incomplete character at the end of the input).
    bool Convert(char*& in, size_t& inLeft, char*& out, size_t& outLeft) {
        return iconv(m_cd, &in, &inLeft, &out, &outLeft) != size_t(-1);
    }

private:
    iconv_t m_cd;
};

} // namespace

namespace AnsiCodePage {

QByteArray FromUnicode(const QString& text, qsizetype maxBytes) {
    // Every character takes at most two bytes in the code page.
    QList<uint> ucs4 = text.toUcs4();
    qsizetype capacity = ucs4.size() * 2;
    if (maxBytes >= 0 && maxBytes < capacity)
        capacity = maxBytes;
    QByteArray result(capacity, Qt::Uninitialized);

    char* in = reinterpret_cast<char*>(ucs4.data());
    size_t inLeft = size_t(ucs4.size()) * sizeof(uint);
    char* out = result.data();
    size_t outLeft = size_t(capacity);
    CIconv converter(kCodePage, Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "UTF-32LE" : "UTF-32BE");
    if (!converter.IsOpen()) {
        // Without the code page, only ASCII can be written as it is.
        for (uint c : ucs4) {
            if (outLeft == 0)
                break;
            *out++ = c < 0x80 ? char(c) : '?';
            --outLeft;
        }
        inLeft = 0;
    }
    while (inLeft > 0 && !converter.Convert(in, inLeft, out, outLeft)) {
        if (errno != EILSEQ || outLeft == 0)
            break; // output full (E2BIG) or nothing more to convert
        *out++ = '?';
        --outLeft;
        in += sizeof(uint);
        inLeft -= sizeof(uint);
    }
    result.truncate(out - result.data());
    return result;
}

QString ToUnicode(const QByteArray& bytes) {
    // Every character of the code page lies in the Basic Multilingual Plane
    // and takes at least one byte, so one UTF-16 unit per byte is enough.
    QString result(bytes.size(), Qt::Uninitialized);
    QByteArray input = bytes;
    char* in = input.data();
    size_t inLeft = size_t(input.size());
    char* out = reinterpret_cast<char*>(result.data());
    size_t outLeft = size_t(result.size()) * sizeof(char16_t);
    CIconv converter(Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "UTF-16LE" : "UTF-16BE", kCodePage);
    if (!converter.IsOpen()) {
        qsizetype n = 0;
        for (char c : bytes)
            result[n++] = uchar(c) < 0x80 ? QChar(c) : QChar(u'?');
        return result;
    }
    while (inLeft > 0 && !converter.Convert(in, inLeft, out, outLeft)) {
        if (errno != EILSEQ)
            break; // EINVAL: a lead byte without its trail byte at the end
        const char16_t question = u'?';
        std::memcpy(out, &question, sizeof question);
        out += sizeof question;
        outLeft -= sizeof question;
        ++in;
        --inLeft;
    }
    result.truncate((out - reinterpret_cast<char*>(result.data())) / qsizetype(sizeof(char16_t)));
    return result;
}

} // namespace AnsiCodePage
