#include "BenchSupport.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

double SecondsSince(BenchClock::time_point start) {
    return std::chrono::duration<double>(BenchClock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double TimeMd5sum(const QByteArray& path) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char program[] = "md5sum";
    char* argv[] = {program, const_cast<char*>(path.constData()), nullptr};
    const auto start = BenchClock::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, program, &actions, nullptr, argv, environ) == 0)
        waitpid(pid, &status, 0);
    const double seconds = SecondsSince(start);
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

void ReportAgainstMd5sum(benchmark::State& state, double measuredSeconds, double md5sumSeconds,
                         double limitRatio, const char* label) {
    state.counters["measured"] = measuredSeconds * 1e3;
    state.counters["baseline"] = md5sumSeconds * 1e3;
    state.counters["ratio"] = md5sumSeconds > 0 ? measuredSeconds / md5sumSeconds : 0;
    state.counters["limit"] = limitRatio;
    state.SetLabel(label);
}

void ReportAbsolute(benchmark::State& state, double measured, double limit, const char* label) {
    state.counters["measured"] = measured;
    state.counters["limit"] = limit;
    state.SetLabel(label);
}

CThreadPeer::CThreadPeer(quint16 nPort, Answer answer) : m_answer(std::move(answer)) {
    m_fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd >= 0 && connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (m_fd >= 0)
        m_thread = std::thread([this] { Run(); });
}

CThreadPeer::~CThreadPeer() {
    if (m_fd < 0)
        return;
    // Wakes the blocked receive; the thread then ends.
    shutdown(m_fd, SHUT_RDWR);
    m_thread.join();
    close(m_fd);
}

void CThreadPeer::Run() {
    // The answers need only the start of a request; the rest of a long line
    // (a SetFile document) is counted through, not kept.
    constexpr qsizetype kKeptHead = 4096;
    QByteArray head;
    std::vector<char> buffer(1024 * 1024);
    for (;;) {
        const ssize_t nRead = recv(m_fd, buffer.data(), buffer.size(), 0);
        if (nRead <= 0)
            return;
        for (const char* p = buffer.data(); p < buffer.data() + nRead;) {
            const char* pEnd = buffer.data() + nRead;
            const auto* pFeed = static_cast<const char*>(std::memchr(p, '\n', size_t(pEnd - p)));
            const char* pStop = pFeed ? pFeed + 1 : pEnd;
            head.append(
                p, std::min<qsizetype>(pStop - p, std::max<qsizetype>(kKeptHead - head.size(), 0)));
            p = pStop;
            if (!pFeed)
                break;
            const QByteArray reply = m_answer(head);
            head.clear();
            for (qsizetype nSent = 0; nSent < reply.size();) {
                const ssize_t n = send(m_fd, reply.constData() + nSent,
                                       size_t(reply.size() - nSent), MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                nSent += n;
            }
        }
    }
}
