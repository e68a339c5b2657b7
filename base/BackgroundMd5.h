#pragma once

#include <QByteArray>
#include <QCryptographicHash>

#include <condition_variable>
#include <mutex>
#include <thread>

// Computes the MD5 of a buffer that is filled piece by piece, on a thread of
// its own, so hashing runs beside the work that fills the buffer (receiving
// and decoding a download, encoding an upload).
//
// The owner publishes how far its buffer is filled; the hash follows behind.
// The bytes published must stay where they are until Drain or Result has
// returned: call Drain before moving or freeing the buffer (for example
// before growing it), then publish the new address.
class CBackgroundMd5 {
public:
    CBackgroundMd5();
    ~CBackgroundMd5();
    CBackgroundMd5(const CBackgroundMd5&) = delete;
    CBackgroundMd5& operator=(const CBackgroundMd5&) = delete;

    // The first nFilled bytes at pData are final and may be hashed; they
    // continue what was published before (same bytes, possibly moved).
    void Publish(const char* pData, qsizetype nFilled);
    // Waits until every published byte is hashed.
    void Drain();
    // Waits for the hash of every published byte and returns it as 32
    // lower-case hexadecimal digits; afterwards the hash starts again empty.
    QByteArray Result();

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;     // more bytes, or stop
    std::condition_variable m_caughtUp; // every published byte is hashed
    const char* m_pData = nullptr;
    qsizetype m_nPublished = 0;
    qsizetype m_nHashed = 0;
    bool m_bStop = false;
    QCryptographicHash m_hash{QCryptographicHash::Md5};
    std::thread m_thread;
};
