// The instruments of the hostile-app cases measure what they claim.
#include "HostileSupport.h"

#include <QDialog>
#include <QElapsedTimer>

TEST(ResponsivenessProbeTest, ClicksComeThroughWhileAModalDialogRuns) {
    CResponsivenessProbe probe;
    QDialog dialog;
    dialog.setModal(true);
    QTimer look;
    look.callOnTimeout([&] {
        if (probe.Handled() >= 5)
            dialog.accept();
    });
    look.start(5);
    // Ends a dialog that no click reaches.
    QTimer::singleShot(20000, &dialog, &QDialog::reject);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
}

TEST(ResponsivenessProbeTest, ALongSliceOfWorkShowsAsALateClick) {
    CResponsivenessProbe probe;
    ASSERT_TRUE(WaitUntil([&] { return probe.Handled() >= 1; }));
    const int handled = probe.Handled();
    // The GUI thread is kept busy for 300 ms: the click due meanwhile waits.
    QElapsedTimer busy;
    busy.start();
    while (busy.elapsed() < 300) {
    }
    EXPECT_GE(probe.WorstLatencyMs(), 300 - CResponsivenessProbe::kIntervalMs);
    ASSERT_TRUE(WaitUntil([&] { return probe.Handled() > handled; }));
    EXPECT_GE(probe.WorstLatencyMs(), 300 - CResponsivenessProbe::kIntervalMs);
    ASSERT_FALSE(probe.LateClicks().isEmpty());
    EXPECT_TRUE(probe.LateClicks().last().contains(u"no window over the main one"));
}

TEST(ProcessFiguresTest, FollowMemoryAndDescriptorsOfThisProcess) {
    ASSERT_TRUE(ResetPeakResident());
    const qint64 before = ResidentKb();
    const qint64 heapBefore = ProcessFigures::HeapInUseBytes();
    const int descriptors = ProcessFigures::OpenDescriptors();
    const int sockets = ProcessFigures::OpenSockets();
    {
        // 64 MB touched page by page become resident.
        QByteArray block(64 * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < block.size(); i += 4096)
            block[i] = char(i);
        EXPECT_GE(ProcessFigures::HeapInUseBytes() - heapBefore, block.size());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, 9); // an fd, connected or not
        EXPECT_EQ(ProcessFigures::OpenSockets(), sockets + 1);
        EXPECT_EQ(ProcessFigures::OpenDescriptors(), descriptors + 1);
    }
    EXPECT_GE(PeakResidentKb(), before + 60 * 1024);
    EXPECT_LT(ProcessFigures::HeapInUseBytes() - heapBefore, 1024 * 1024);
    EXPECT_EQ(ProcessFigures::OpenSockets(), sockets);
}
