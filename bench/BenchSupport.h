#pragma once

#include "support/ProcessMemory.h"

#include <QByteArray>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

// What the benchmarks with targets share: timing md5sum as the yardstick,
// reporting a result against its target, and an app on its own thread (the
// resident size comes from the tests' support).

using BenchClock = std::chrono::steady_clock;

double SecondsSince(BenchClock::time_point start);
double Median(std::vector<double> values);

// The wall time of running md5sum on the file at `path` (start to exit), or
// -1 when it did not run.
double TimeMd5sum(const QByteArray& path);

// The counters that scripts/bench.sh reads for a target given as a multiple
// of md5sum's time on the same bytes: measured and baseline in ms, their
// ratio and the allowed ratio.
void ReportAgainstMd5sum(benchmark::State& state, double measuredSeconds, double md5sumSeconds,
                         double limitRatio, const char* label);
// The same for an absolute target (`measured` and `limit` in the unit the
// label names).
void ReportAbsolute(benchmark::State& state, double measured, double limit, const char* label);

// The app on a thread of its own: connects to 127.0.0.1:nPort and answers
// every request line it receives with answer(line), written whole with
// blocking sends, like a device that has its answer ready. `answer` runs on
// that thread, as soon as a line is complete, with its first 4096 bytes
// (the line feed included when the line is shorter).
class CThreadPeer {
public:
    using Answer = std::function<QByteArray(const QByteArray& line)>;
    CThreadPeer(quint16 nPort, Answer answer);
    ~CThreadPeer();
    CThreadPeer(const CThreadPeer&) = delete;
    CThreadPeer& operator=(const CThreadPeer&) = delete;

    bool Connected() const { return m_fd >= 0; }

private:
    void Run();

    int m_fd = -1;
    Answer m_answer;
    std::thread m_thread;
};
