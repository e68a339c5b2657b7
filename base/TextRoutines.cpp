#include "base/TextRoutines.h"

#include <QCryptographicHash>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <limits>
#include <vector>

QString Utf8ToWide(const QByteArray& utf8) {
    return QString::fromUtf8(utf8);
}

QByteArray WideToUtf8(const QString& text) {
    return text.toUtf8();
}

namespace {

template <typename StringList, typename String>
void SplitAny(StringList& result, const String& text, const String& delimiter, bool trim) {
    result.clear();
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = delimiter.isEmpty() ? -1 : text.indexOf(delimiter, from);
        String piece = text.mid(from, at < 0 ? -1 : at - from);
        result.append(trim ? piece.trimmed() : piece);
        if (at < 0)
            break;
        from = at + delimiter.size();
    }
}

// Hex digit values, 0xFF for characters that are not hexadecimal digits.
constexpr std::array<quint8, 256> MakeHexTable() {
    std::array<quint8, 256> table{};
    for (auto& v : table)
        v = 0xFF;
    for (int c = '0'; c <= '9'; ++c)
        table[size_t(c)] = quint8(c - '0');
    for (int c = 'a'; c <= 'f'; ++c)
        table[size_t(c)] = quint8(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        table[size_t(c)] = quint8(c - 'A' + 10);
    return table;
}
constexpr std::array<quint8, 256> kHexValue = MakeHexTable();

bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// strtol(pair, nullptr, 16) over a two-character string, low 8 bits.
quint8 ReadHexPairSlowly(char first, char second) {
    const char pair[2] = {first, second};
    int i = 0;
    while (i < 2 && IsCSpace(pair[i]))
        ++i;
    bool negative = false;
    if (i < 2 && (pair[i] == '+' || pair[i] == '-')) {
        negative = pair[i] == '-';
        ++i;
    }
    int value = 0;
    for (; i < 2; ++i) {
        const quint8 digit = kHexValue[quint8(pair[i])];
        if (digit == 0xFF)
            break;
        value = value * 16 + digit;
    }
    return quint8(negative ? -value : value);
}

#ifdef __SSE2__
// The nibble values of 16 characters, and whether each is a hexadecimal
// digit of either case.
inline __m128i NibblesOf(__m128i text, __m128i& valid) {
    // In-range tests on unsigned bytes: x - low <= span, with wrap-around.
    const auto inRange = [](__m128i x, char low, char span) {
        const __m128i offset = _mm_sub_epi8(x, _mm_set1_epi8(low));
        return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(span)), offset);
    };
    const __m128i folded = _mm_or_si128(text, _mm_set1_epi8(0x20)); // 'A'-'F' to 'a'-'f'
    const __m128i isDigit = inRange(text, '0', 9);
    const __m128i isLetter = inRange(folded, 'a', 5);
    valid = _mm_or_si128(isDigit, isLetter);
    const __m128i digit = _mm_sub_epi8(text, _mm_set1_epi8('0'));
    const __m128i letter = _mm_sub_epi8(folded, _mm_set1_epi8('a' - 10));
    return _mm_or_si128(_mm_and_si128(isDigit, digit), _mm_andnot_si128(isDigit, letter));
}

// Decodes 32 characters into 16 bytes when all of them are plain
// hexadecimal digits; false, writing nothing, otherwise.
inline bool DecodeHexBlock(const char* in, quint8* out) {
    __m128i valid0;
    __m128i valid1;
    const __m128i nibbles0 =
        NibblesOf(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), valid0);
    const __m128i nibbles1 =
        NibblesOf(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), valid1);
    if (_mm_movemask_epi8(_mm_and_si128(valid0, valid1)) != 0xFFFF)
        return false;
    // Each 16-bit lane holds a pair: the high nibble in its low byte.
    const auto pack = [](__m128i pairs) {
        const __m128i high = _mm_slli_epi16(_mm_and_si128(pairs, _mm_set1_epi16(0x00FF)), 4);
        return _mm_or_si128(high, _mm_srli_epi16(pairs, 8));
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_packus_epi16(pack(nibbles0), pack(nibbles1)));
    return true;
}
#endif

} // namespace

void SplitString(QStringList& result, const QString& text, const QString& delimiter, bool trim) {
    SplitAny(result, text, delimiter, trim);
}

void SplitString(QByteArrayList& result, const QByteArray& text, const QByteArray& delimiter,
                 bool trim) {
    SplitAny(result, text, delimiter, trim);
}

void DecodeHexPairs(const char* in, qint64 pairs, char* out) {
    // One lookup per pair of characters, indexed by their two bytes as they
    // lie in memory; pairs that are not two plain hex digits take the slow
    // path, which reads them exactly as strtol would.
    static const std::vector<qint16> kPairValue = [] {
        std::vector<qint16> table(65536, -1);
        for (int first = 0; first < 256; ++first) {
            for (int second = 0; second < 256; ++second) {
                const quint8 high = kHexValue[size_t(first)];
                const quint8 low = kHexValue[size_t(second)];
                if ((high | low) & 0xF0)
                    continue;
                const char pair[2] = {char(first), char(second)};
                quint16 key;
                std::memcpy(&key, pair, 2);
                table[key] = qint16(high << 4 | low);
            }
        }
        return table;
    }();
    const auto decodePair = [](const char* pair) {
        quint16 key;
        std::memcpy(&key, pair, 2);
        const qint16 value = kPairValue[key];
        return value >= 0 ? quint8(value) : ReadHexPairSlowly(pair[0], pair[1]);
    };
    auto* dest = reinterpret_cast<quint8*>(out);
    qint64 i = 0;
#ifdef __SSE2__
    // Sixteen pairs at a time while they are plain digits; a block with
    // anything else goes pair by pair.
    for (; i + 16 <= pairs; i += 16)
        if (!DecodeHexBlock(in + 2 * i, dest + i))
            for (qint64 k = i; k < i + 16; ++k)
                dest[k] = decodePair(in + 2 * k);
#endif
    for (; i < pairs; ++i)
        dest[i] = decodePair(in + 2 * i);
}

bool HexToBytes(const QByteArray& text, qint64 start, QByteArray& out) {
    out.resize(0); // keeps any capacity the caller already has
    const qint64 count = qint64(text.size()) - start;
    if (count & 1)
        return false;
    if (count <= 0)
        return true;
    out.resize(count / 2);
    DecodeHexPairs(text.constData() + start, count / 2, out.data());
    return true;
}

bool StrictHexToBytes(QByteArrayView text, QByteArray& out) {
    out.resize(0);
    if (text.size() & 1)
        return false;
    out.resize(text.size() / 2);
    const auto* in = reinterpret_cast<const quint8*>(text.data());
    quint8* dest = reinterpret_cast<quint8*>(out.data());
    for (qsizetype i = 0, n = out.size(); i < n; ++i, in += 2) {
        const quint8 high = kHexValue[in[0]];
        const quint8 low = kHexValue[in[1]];
        if ((high | low) & 0xF0) {
            out.resize(0);
            return false;
        }
        dest[i] = quint8(high << 4 | low);
    }
    return true;
}

void AppendHex(QByteArray& out, const char* data, qint64 length) {
    // Two output characters per byte from one table lookup.
    static constexpr std::array<char, 512> kPairs = [] {
        constexpr char kDigits[] = "0123456789abcdef";
        std::array<char, 512> pairs{};
        for (int i = 0; i < 256; ++i) {
            pairs[size_t(2 * i)] = kDigits[i >> 4];
            pairs[size_t(2 * i + 1)] = kDigits[i & 15];
        }
        return pairs;
    }();
    const qsizetype start = out.size();
    out.resize(start + length * 2);
    char* dest = out.data() + start;
    const auto* in = reinterpret_cast<const quint8*>(data);
    qint64 i = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time: split into nibbles, interleave high before
    // low, and turn 0-15 into '0'-'9' and 'a'-'f'.
    const auto digits = [](__m128i nibbles) {
        const __m128i letter = _mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9));
        return _mm_add_epi8(_mm_add_epi8(nibbles, _mm_set1_epi8('0')),
                            _mm_and_si128(letter, _mm_set1_epi8('a' - '0' - 10)));
    };
    for (; i + 16 <= length; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), _mm_set1_epi8(0x0F));
        const __m128i low = _mm_and_si128(bytes, _mm_set1_epi8(0x0F));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 2 * i),
                         digits(_mm_unpacklo_epi8(high, low)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 2 * i + 16),
                         digits(_mm_unpackhi_epi8(high, low)));
    }
#endif
    for (; i < length; ++i)
        std::memcpy(dest + 2 * i, &kPairs[size_t(in[i]) * 2], 2);
}

QByteArray BytesToHex(const char* data, qint64 length) {
    QByteArray text;
    AppendHex(text, data, length);
    return text;
}

QByteArray MD5Hex(const char* data, qint64 length) {
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(QByteArrayView(data, length));
    return hash.result().toHex();
}

qint64 ReadDecimalInt64(const QByteArray& text) {
    qsizetype i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    constexpr quint64 kPositiveLimit = quint64(std::numeric_limits<qint64>::max());
    const quint64 limit = negative ? kPositiveLimit + 1 : kPositiveLimit;
    quint64 magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const quint64 digit = quint64(text[i] - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (!negative)
        return qint64(magnitude);
    return magnitude == kPositiveLimit + 1 ? std::numeric_limits<qint64>::min()
                                           : -qint64(magnitude);
}

int ReadDecimalInt(const QByteArray& text) {
    return int(std::clamp<qint64>(ReadDecimalInt64(text), INT_MIN, INT_MAX));
}
