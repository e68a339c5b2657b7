// Receiving one long reply line through the device link over loopback, fed
// in 64 KB pieces that the link reads one by one. Throughput should not drop
// as the line grows.
#include "link/Packet.h"
#include "support/LinkTestSupport.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "bench_link_receive";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

void BM_LongReplyIn64KPieces(benchmark::State& state) {
    App();
    CListeningLink server;
    auto pPeer = server.ConnectPeer();
    CRecordingEvent event;
    if (!pPeer || !server.link.AttachTransaction(&event)) {
        state.SkipWithError("no loopback connection");
        return;
    }
    const QByteArray reply = "ok:" + QByteArray(state.range(0), 'a') + '\n';
    const qsizetype nPiece = 64 * 1024;
    for (auto _ : state) {
        const qsizetype nPackets = event.m_packets.size();
        const qint64 nStart = event.m_nReceived;
        server.link.SendToDevice(MakeRequestLine("GetFile", "x"));
        for (qsizetype nDone = 0; nDone < reply.size(); nDone += nPiece) {
            pPeer->Send(reply.mid(nDone, nPiece));
            const qint64 nWant = nStart + std::min(reply.size(), nDone + nPiece);
            WaitUntil([&] { return event.m_nReceived >= nWant; });
        }
        WaitUntil([&] { return event.m_packets.size() > nPackets; });
        event.m_packets.clear();
    }
    state.SetBytesProcessed(state.iterations() * reply.size());
    server.link.DetachTransaction(&event);
}
BENCHMARK(BM_LongReplyIn64KPieces)
    ->Arg(1 << 20)
    ->Arg(8 << 20)
    ->Arg(40 << 20)
    ->Arg(80 << 20)
    ->Unit(benchmark::kMillisecond);

} // namespace
