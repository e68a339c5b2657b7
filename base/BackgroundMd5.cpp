#include "base/BackgroundMd5.h"

#include <algorithm>

namespace {

// The worker hashes in slices of this size, so a Publish that moves the
// buffer's address waits at most one slice for the worker to let go.
constexpr qsizetype kSlice = 256 * 1024;

} // namespace

CBackgroundMd5::CBackgroundMd5() = default;

CBackgroundMd5::~CBackgroundMd5() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void CBackgroundMd5::Publish(const char* pData, qsizetype nFilled) {
    {
        std::lock_guard lock(m_mutex);
        m_pData = pData;
        m_nPublished = nFilled;
    }
    // The worker starts with the first bytes: a hash that never gets any
    // costs no thread.
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Run(); });
    m_wake.notify_one();
}

void CBackgroundMd5::Drain() {
    std::unique_lock lock(m_mutex);
    m_caughtUp.wait(lock, [this] { return m_nHashed == m_nPublished; });
}

QByteArray CBackgroundMd5::Result() {
    Drain();
    std::lock_guard lock(m_mutex);
    const QByteArray digest = m_hash.result().toHex();
    m_hash.reset();
    m_pData = nullptr;
    m_nPublished = m_nHashed = 0;
    return digest;
}

void CBackgroundMd5::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bStop || m_nHashed < m_nPublished; });
        if (m_bStop)
            return;
        const char* pSlice = m_pData + m_nHashed;
        const qsizetype nSlice = std::min(m_nPublished - m_nHashed, kSlice);
        // The owner does not move published bytes before Drain returns, and
        // Drain waits for m_nHashed, so the slice stays valid unlocked.
        lock.unlock();
        m_hash.addData(QByteArrayView(pSlice, nSlice));
        lock.lock();
        m_nHashed += nSlice;
        if (m_nHashed == m_nPublished)
            m_caughtUp.notify_all();
    }
}
