// Feeds an arbitrary byte stream to the link's line framer twice: whole, and
// cut into pieces whose sizes come from the input. Both must frame the same
// lines, route the same packets, stream the same values and fail alike on
// the limits; a difference, a crash or a sanitizer report is a finding.
#include "FuzzRequire.h"
#include "link/LineFramer.h"

#include <QByteArrayList>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

// Small limits, so that inputs reach them.
constexpr qsizetype kMaxLine = 512;
constexpr qsizetype kMaxUntaken = 1024;

class CValue : public IValueStream {
public:
    void AppendValue(const char* pData, qsizetype nBytes) override { m_text.append(pData, nBytes); }
    QByteArray m_text;
};

// Streams the values of packets whose name starts with an odd byte; the
// owner tag counts the packets.
class CRouter : public CLineFramer::IRouter {
public:
    quint64 RoutePacket(QByteArrayView name, IValueStream*& pStream) override {
        m_names.append(name.toByteArray());
        if (!name.isEmpty() && (name[0] & 1)) {
            m_values.push_back(std::make_unique<CValue>());
            pStream = m_values.back().get();
        }
        return quint64(m_names.size());
    }
    QByteArrayList m_names;
    std::vector<std::unique_ptr<CValue>> m_values;
};

struct CResult {
    bool bOk = true;
    QByteArrayList lines; // owner, name and value of every line that answers
    QByteArrayList names;
    QByteArrayList streamed;
};

CResult Frame(QByteArrayView stream, QByteArrayView pieceSizes) {
    CRouter router;
    CLineFramer framer(router, kMaxLine, kMaxUntaken);
    CResult result;
    CSocketError error;
    for (qsizetype at = 0, i = 0; at < stream.size() && result.bOk; ++i) {
        const qsizetype n = pieceSizes.isEmpty()
                                ? stream.size()
                                : std::min<qsizetype>(quint8(pieceSizes[i % pieceSizes.size()]) + 1,
                                                      stream.size() - at);
        result.bOk = framer.Append(stream.sliced(at, n), error);
        at += n;
    }
    if (!result.bOk) {
        Require(!error.strText.isEmpty()); // a failure always says why
        return result;
    }
    Require(framer.PendingBytes() <= kMaxUntaken);
    while (framer.HasLine()) {
        const quint64 nOwner = framer.FrontOwner();
        QByteArray name;
        QByteArray value;
        const bool bPacket = framer.TakeLine(name, value);
        if (nOwner != 0)
            result.lines << QByteArray::number(nOwner) + (bPacket ? ":" : "!") + name + '|' + value;
    }
    result.names = router.m_names;
    for (const auto& pValue : router.m_values)
        result.streamed.append(pValue->m_text);
    return result;
}

} // namespace

// Input: one byte N, then N bytes of piece sizes, then the stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nSizes = std::min<qsizetype>(quint8(input[0]), input.size() - 1);
    const QByteArrayView pieceSizes = input.sliced(1, nSizes);
    const QByteArrayView stream = input.sliced(1 + nSizes);
    const CResult whole = Frame(stream, {});
    const CResult pieces =
        Frame(stream, pieceSizes.isEmpty() ? QByteArrayView("\0", 1) : pieceSizes);
    Require(whole.bOk == pieces.bOk);
    Require(!whole.bOk || (whole.lines == pieces.lines && whole.names == pieces.names &&
                           whole.streamed == pieces.streamed));
    return 0;
}
