// Starting an update runs beside the window: the window goes on turning while the call blocks,
// and the DFU events that come meanwhile follow the call's result in their order.
#include "WizardRig.h"

#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

constexpr DFU_DEVICE kKeyboard = 0x1000;

// Holds every start until opened (or, should the window wait for it, for five seconds).
class Gate {
public:
    void pass()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_waiting = true;
        m_changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_open; });
    }
    bool waiting()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_waiting;
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_waiting = false;
    bool m_open = false;
};

}  // namespace

TEST_F(WizardTest, StartRunsBesideTheWindowAndEventsFollowItsResult)
{
    make();
    arrive(kKeyboard, oldKeyboard());
    detect();
    ASSERT_EQ(w->state(), 7);
    Gate gate;
    api.duringStart = [&] { gate.pass(); };
    api.updateResults = {DFU_ERR_POWER_CYCLE};
    right()->click();  // UPDATE
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.waiting(); }, 5000));

    // The window's own timers keep running while the call blocks.
    int turns = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++turns; });
    timer.start(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return turns >= 3; }, 5000));
    EXPECT_EQ(w->state(), 9);
    EXPECT_FALSE(right()->isVisible());

    // The power cycle is done before the call returns: its status waits for the result (turn the
    // device off and on), then moves on to the progress page, as behind a blocking call.
    w->onDfuEvent(kKeyboard, DFU_EVENT_STATUS, DFU_STATUS_STARTED);
    w->onDfuEvent(kKeyboard, DFU_EVENT_PROGRESS, 40);
    EXPECT_EQ(w->state(), 9);
    gate.open();
    ASSERT_TRUE(settle());
    EXPECT_EQ(w->state(), 12);
    EXPECT_EQ(label("percentLabel")->text(), "40<sup>%</sup>");
    ASSERT_EQ(api.updates.size(), 1u);
    EXPECT_EQ(api.updates[0].device, kKeyboard);
}

TEST_F(WizardTest, ClosingTheWindowWaitsForAStartThatRuns)
{
    make();
    arrive(kKeyboard, oldKeyboard());
    detect();
    Gate gate;
    api.duringStart = [&] { gate.pass(); };
    right()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.waiting(); }, 5000));
    gate.open();
    w.reset();  // joins the start's thread; its result, posted to a window now gone, is dropped
    QCoreApplication::processEvents();
    EXPECT_EQ(api.updates.size(), 1u);
}
