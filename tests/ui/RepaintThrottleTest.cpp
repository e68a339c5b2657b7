#include "ui/RepaintThrottle.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A widget showing a number, recording which numbers it painted.
class CCounterWidget : public QWidget {
public:
    explicit CCounterWidget(QWidget* parent) : QWidget(parent) { resize(40, 20); }
    void SetValue(int value) {
        m_nValue = value;
        update();
    }
    QList<int> painted;

protected:
    void paintEvent(QPaintEvent*) override { painted.append(m_nValue); }

private:
    int m_nValue = 0;
};

class RepaintThrottleTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_window.resize(100, 50);
        m_window.show();
        ASSERT_TRUE(WaitUntil([&] { return !m_widget.painted.isEmpty(); }));
        m_widget.painted.clear();
    }

    // Changes the value and tells the throttle.
    void Change(CRepaintThrottle& throttle, int value) {
        m_widget.SetValue(value);
        throttle.Changed();
    }

    QWidget m_window;
    CCounterWidget& m_widget = *new CCounterWidget(&m_window);
};

TEST_F(RepaintThrottleTest, AChangeAfterAQuietSpellPaintsAtOnce) {
    // An hour: every change but the first falls inside the interval.
    CRepaintThrottle throttle({&m_widget}, nullptr, 3600 * 1000);
    Change(throttle, 1);
    EXPECT_FALSE(throttle.IsHolding());
    EXPECT_TRUE(m_widget.updatesEnabled());
    EXPECT_TRUE(WaitUntil([&] { return m_widget.painted == QList<int>({1}); }));
}

TEST_F(RepaintThrottleTest, ABurstIsHeldAndThenPaintedOnceWithTheLastValue) {
    CRepaintThrottle throttle({&m_widget}, nullptr, 200);
    Change(throttle, 1);
    ASSERT_TRUE(WaitUntil([&] { return !m_widget.painted.isEmpty(); }));
    for (int value = 2; value <= 50; ++value) {
        Change(throttle, value);
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(throttle.IsHolding());
    EXPECT_FALSE(m_widget.updatesEnabled());
    // The changes made while held reach the screen in one paint, the last
    // value with it, and the widget is not left frozen.
    EXPECT_TRUE(WaitUntil([&] { return !throttle.IsHolding(); }));
    EXPECT_TRUE(m_widget.updatesEnabled());
    EXPECT_TRUE(WaitUntil([&] { return m_widget.painted.size() == 2; }));
    EXPECT_EQ(m_widget.painted, QList<int>({1, 50}));
}

TEST_F(RepaintThrottleTest, ChangesRightAfterAHeldPaintAreHeldAgain) {
    CRepaintThrottle throttle({&m_widget}, nullptr, 200);
    Change(throttle, 1);
    Change(throttle, 2);
    ASSERT_TRUE(WaitUntil([&] { return !throttle.IsHolding(); }));
    // The release has just painted: the next change waits its turn.
    Change(throttle, 3);
    EXPECT_TRUE(throttle.IsHolding());
    EXPECT_TRUE(WaitUntil([&] { return !throttle.IsHolding() && m_widget.painted.endsWith(3); }));
}

TEST_F(RepaintThrottleTest, EveryWidgetIsHeldAndReleasedTogether) {
    CCounterWidget& other = *new CCounterWidget(&m_window);
    other.show();
    ASSERT_TRUE(WaitUntil([&] { return !other.painted.isEmpty(); }));
    CRepaintThrottle throttle({&m_widget, &other}, nullptr, 200);
    Change(throttle, 1);
    Change(throttle, 2);
    other.SetValue(7);
    EXPECT_FALSE(m_widget.updatesEnabled());
    EXPECT_FALSE(other.updatesEnabled());
    EXPECT_TRUE(
        WaitUntil([&] { return m_widget.painted.endsWith(2) && other.painted.endsWith(7); }));
    EXPECT_TRUE(m_widget.updatesEnabled());
    EXPECT_TRUE(other.updatesEnabled());
}

TEST_F(RepaintThrottleTest, ThrottleGoesWithItsParent) {
    auto* parent = new QObject;
    QPointer<CRepaintThrottle> throttle = new CRepaintThrottle({&m_widget}, parent);
    delete parent;
    EXPECT_TRUE(throttle.isNull());
}

} // namespace
