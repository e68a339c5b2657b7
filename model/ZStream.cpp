#include "model/ZStream.h"

#include "base/StringTable.h"

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kInputBufferSize = 10240;

} // namespace

CZStream::CZStream() = default;

CZStream::~CZStream() {
    End();
}

QString CZStream::InflateErrorText() {
    return LoadStringResource(IDS_INFLATE_FAILED);
}

void CZStream::End() {
    if (m_nMode == MODE_INFLATE)
        inflateEnd(&m_stream);
    m_nMode = MODE_NONE;
}

bool CZStream::InitInflate() {
    End();
    m_stream = z_stream{};
    if (inflateInit(&m_stream) != Z_OK) {
        m_strError = LoadStringResource(IDS_ZLIB_INIT_FAILED);
        return false;
    }
    m_nMode = MODE_INFLATE;
    return true;
}

bool CZStream::InflateFrom(QIODevice& file, quint8* out, quint32 outSize) {
    if (m_nMode != MODE_INFLATE && !InitInflate())
        return false;

    std::vector<Bytef> input(kInputBufferSize);
    // zlib refuses a null output pointer even with no room, so an empty
    // output points at a byte that is never written.
    Bytef noRoom = 0;
    m_stream.next_out = out ? out : &noRoom;
    m_stream.avail_out = out ? outSize : 0;
    for (;;) {
        if (m_stream.avail_in == 0) {
            const qint64 got =
                file.read(reinterpret_cast<char*>(input.data()), qint64(input.size()));
            m_stream.next_in = input.data();
            m_stream.avail_in = uInt(std::max<qint64>(got, 0));
        }
        const int result = inflate(&m_stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            if (m_stream.avail_out == 0)
                return true;
            break;
        }
        if (result != Z_OK)
            break; // corrupt data, or no progress possible (input ended, output full)
    }
    m_strError = InflateErrorText();
    End();
    return false;
}
