#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Whole-string UTF-8 conversions; invalid sequences become U+FFFD.
QString Utf8ToWide(const QByteArray& utf8);
QByteArray WideToUtf8(const QString& text);

// Cuts `text` at every occurrence of `delimiter`: N delimiters give N+1
// pieces, an empty text one empty piece. With `trim`, white space is removed
// from both ends of every piece.
void SplitString(QStringList& result, const QString& text, const QString& delimiter, bool trim);
void SplitString(QByteArrayList& result, const QByteArray& text, const QByteArray& delimiter,
                 bool trim);

// Decodes hexadecimal text from `start` into `out`. An odd number of
// characters from `start` to the end returns false with `out` empty. Each
// pair reads like strtol in base 16: leading white space and a sign are
// accepted, reading stops at the first non-digit, a pair that starts with no
// digit reads as 0; the low 8 bits of the number make the byte.
bool HexToBytes(const QByteArray& text, qint64 start, QByteArray& out);
// The pairs of HexToBytes without the framing: decodes `pairs` pairs of
// characters from `in` into `pairs` bytes at `out`, each read as HexToBytes
// reads it (for text that arrives in pieces).
void DecodeHexPairs(const char* in, qint64 pairs, char* out);
// Decodes text made of hexadecimal digits only (either case), two per byte.
// False, with `out` empty, on an odd count or any other character: text from
// a peer that must be exactly what was meant.
bool StrictHexToBytes(QByteArrayView text, QByteArray& out);

// Two lower-case hexadecimal digits per byte, high nibble first, appended to
// `out` (so a request line can be built without copying the text again).
void AppendHex(QByteArray& out, const char* data, qint64 length);
QByteArray BytesToHex(const char* data, qint64 length);
inline QByteArray BytesToHex(const QByteArray& bytes) {
    return BytesToHex(bytes.constData(), bytes.size());
}

// The MD5 digest (RFC 1321) as 32 lower-case hexadecimal digits.
QByteArray MD5Hex(const char* data, qint64 length);
inline QByteArray MD5Hex(const QByteArray& bytes) {
    return MD5Hex(bytes.constData(), bytes.size());
}

// Reads a decimal integer the way atoi does: leading white space, an optional
// sign, then digits up to the first non-digit; 0 when there are none. Values
// beyond the int range are clamped to it.
int ReadDecimalInt(const QByteArray& text);
// The same over the 64-bit range.
qint64 ReadDecimalInt64(const QByteArray& text);
