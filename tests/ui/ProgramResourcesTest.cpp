#include "ui/ProgramResources.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// True when some pixel of `image` is not fully transparent.
bool HasVisiblePixels(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(row[x]) != 0)
                return true;
        }
    }
    return false;
}

TEST(ProgramResourcesTest, IconInBothSizes) {
    for (const int size : {32, 48}) {
        const QImage image(ProgramIconPath(size));
        ASSERT_FALSE(image.isNull()) << size;
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_TRUE(image.hasAlphaChannel());
        EXPECT_TRUE(HasVisiblePixels(image));
    }
    const QIcon icon = ProgramIcon();
    EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(32, 32), QSize(48, 48)}));
}

TEST(ProgramResourcesTest, AnimationFramesLoop) {
    CProgressAnimation animation;
    EXPECT_TRUE(animation.GetFrame(0).isNull());
    ASSERT_TRUE(animation.Load());
    ASSERT_TRUE(animation.IsLoaded());
    for (int i = 0; i < CProgressAnimation::kFrameCount; ++i) {
        const QImage frame = animation.GetFrame(i);
        ASSERT_EQ(frame.size(), QSize(272, 40)) << i;
        EXPECT_TRUE(HasVisiblePixels(frame)) << i;
        // Each frame moves on from the one before, the first from the last.
        EXPECT_NE(frame, animation.GetFrame(i - 1)) << i;
    }
    EXPECT_EQ(animation.GetFrame(CProgressAnimation::kFrameCount), animation.GetFrame(0));
    EXPECT_EQ(animation.GetFrame(-1), animation.GetFrame(CProgressAnimation::kFrameCount - 1));
    EXPECT_NE(animation.GetFrame(1), animation.GetFrame(0));
}

TEST(ProgramResourcesTest, StripOfAnotherSizeIsRefused) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"strip.png"_s);
    QImage wrong(272 * 18, 40, QImage::Format_ARGB32);
    wrong.fill(Qt::red);
    ASSERT_TRUE(wrong.save(path));
    CProgressAnimation animation;
    ASSERT_TRUE(animation.Load());
    EXPECT_FALSE(animation.Load(path));
    EXPECT_FALSE(animation.IsLoaded());
    EXPECT_FALSE(animation.Load(dir.filePath(u"missing.png"_s)));
}

} // namespace
