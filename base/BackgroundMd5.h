#pragma once

#include <QByteArray>
#include <QCryptographicHash>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Computes the MD5 of bytes that arrive piece by piece, on a thread of its
// own, so hashing runs beside the work that produces them (receiving and
// decoding a download, encoding an upload).
//
// The owner adds pieces in order; the hash follows behind. Every piece must
// stay where it is, unchanged, until Result has returned or the hash is
// destroyed.
class CBackgroundMd5 {
public:
    CBackgroundMd5() = default;
    ~CBackgroundMd5();
    CBackgroundMd5(const CBackgroundMd5&) = delete;
    CBackgroundMd5& operator=(const CBackgroundMd5&) = delete;

    // The next nBytes of the input, at pData.
    void Add(const char* pData, qsizetype nBytes);
    // Waits for the hash of every piece added and returns it as 32
    // lower-case hexadecimal digits; afterwards the hash starts again empty.
    QByteArray Result();

private:
    struct CPiece {
        const char* pData;
        qsizetype nBytes;
    };

    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;     // a piece was added, or stop
    std::condition_variable m_caughtUp; // every piece is hashed
    std::deque<CPiece> m_pieces;        // added and not yet hashed
    bool m_bHashing = false;            // the worker holds a slice
    bool m_bStop = false;
    QCryptographicHash m_hash{QCryptographicHash::Md5};
    std::thread m_thread;
};
