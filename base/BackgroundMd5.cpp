#include "base/BackgroundMd5.h"

#include <algorithm>

namespace {

// The worker takes at most this much at a time, so a piece added meanwhile
// joins the queue without waiting long for the lock.
constexpr qsizetype kSlice = 256 * 1024;

} // namespace

CBackgroundMd5::~CBackgroundMd5() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void CBackgroundMd5::Add(const char* pData, qsizetype nBytes) {
    if (nBytes <= 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        // A piece that continues the last one extends it.
        if (!m_pieces.empty() && m_pieces.back().pData + m_pieces.back().nBytes == pData)
            m_pieces.back().nBytes += nBytes;
        else
            m_pieces.push_back({pData, nBytes});
    }
    // The worker starts with the first bytes: a hash that never gets any
    // costs no thread.
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Run(); });
    m_wake.notify_one();
}

QByteArray CBackgroundMd5::Result() {
    std::unique_lock lock(m_mutex);
    m_caughtUp.wait(lock, [this] { return m_pieces.empty() && !m_bHashing; });
    const QByteArray digest = m_hash.result().toHex();
    m_hash.reset();
    return digest;
}

void CBackgroundMd5::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bStop || !m_pieces.empty(); });
        if (m_bStop)
            return;
        CPiece& piece = m_pieces.front();
        const QByteArrayView slice(piece.pData, std::min(piece.nBytes, kSlice));
        piece.pData += slice.size();
        piece.nBytes -= slice.size();
        if (piece.nBytes == 0)
            m_pieces.pop_front();
        m_bHashing = true;
        // Pieces do not move before Result returns, and Result waits for
        // m_bHashing, so the slice stays valid unlocked.
        lock.unlock();
        m_hash.addData(slice);
        lock.lock();
        m_bHashing = false;
        if (m_pieces.empty())
            m_caughtUp.notify_all();
    }
}
