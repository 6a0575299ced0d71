// A Bluetooth LE keyboard restarts twice during its update: into its bootloader after the switch,
// and again after its radio image. Each time the wizard waits for it to come back; a keyboard
// that stays away fails the update instead of holding the window for ever.
#include "WizardRig.h"

#include <QMovie>

namespace {

constexpr DFU_DEVICE kKeyboard = 0x1000;
constexpr DFU_DEVICE kBootloader = 0x1001;  // the same keyboard back in its bootloader: a new handle
constexpr std::uint32_t kUnit = 0x77;

FakeDevice bleKeyboard()
{
    return makeDevice("Test Keys BT", rig::kKeyboardBtId, "12.01.0030", kUnit, true, false,
                      DFU_CONNECTION_BLUETOOTH_LE);
}
FakeDevice bleBootloader()
{
    return makeDevice("Test Keys BT", rig::kKeyboardBtId, "0.0.0", kUnit, true, true, DFU_CONNECTION_BLUETOOTH_LE);
}

// How the keyboard goes away.
enum class Road {
    Switch,           // the switch answered "wait for reconnect" and the keyboard left
    RadioLeaves,      // after the radio image the keyboard restarted and left
    RadioVanishes,    // the same, seen only as its removal
    RadioReconnects,  // after the radio image the bootloader came back only as a reconnection
};

const char* roadName(Road road)
{
    switch (road) {
    case Road::Switch:
        return "switch";
    case Road::RadioLeaves:
        return "radio image, keyboard leaves";
    case Road::RadioVanishes:
        return "radio image, keyboard removed without a disconnection";
    case Road::RadioReconnects:
        return "radio image, only a reconnection";
    }
    return "?";
}

class ReturnWaitTest : public WizardTest {
protected:
    // The rig's time scale: the bound is 300 ms, the countdown after it 200 ms.
    int bound() const { return static_cast<int>(devio::Timing::scaled(15000)); }

    void toReady()
    {
        api = FakeDfuApi();
        make();
        arrive(kKeyboard, bleKeyboard());
        detect();
        ASSERT_EQ(w->state(), 7);
    }

    // From the ready page to the keyboard gone (or back only as a reconnection).
    void goAway(Road road)
    {
        if (road == Road::Switch) {
            api.updateResults = {DFU_ERR_WAIT_RECONNECT};
            press(right());
            ASSERT_EQ(w->state(), 22);
            leave(kKeyboard);
            return;
        }
        press(right());
        ASSERT_EQ(w->state(), 12);
        event(kKeyboard, DFU_EVENT_PROGRESS, 25);
        if (road == Road::RadioVanishes) {
            leave(kKeyboard);
            ASSERT_EQ(w->state(), 12);
            return;
        }
        api.devices[kKeyboard].info.online = 0;
        event(kKeyboard, DFU_EVENT_DISCONNECTED);
        if (road == Road::RadioLeaves) {
            leave(kKeyboard);
        } else {
            api.devices[kKeyboard] = bleBootloader();
            event(kKeyboard, DFU_EVENT_CONNECTED);
        }
        ASSERT_EQ(w->state(), 12);
    }

    // The failure page with its countdown: no buttons while retries remain.
    void expectRetryingFailure()
    {
        EXPECT_EQ(w->retryCount(), 0);
        EXPECT_TRUE(header().startsWith("SOMETHING WENT WRONG")) << header().toStdString();
        EXPECT_FALSE(left()->isVisible());
        EXPECT_FALSE(right()->isVisible());
    }

    bool loaderRunning() const
    {
        const QMovie* movie = label("picture")->movie();
        return movie && movie->state() == QMovie::Running;
    }
};

}  // namespace

TEST_F(ReturnWaitTest, KeyboardThatNeverComesBackFailsTheUpdate)
{
    struct Row {
        Road road;
        int afterRetry;  // gone: connection lost; back as a reconnection: its update starts again
    };
    for (const Row& r : {Row{Road::Switch, 13}, Row{Road::RadioLeaves, 13}, Row{Road::RadioVanishes, 13},
                         Row{Road::RadioReconnects, 12}}) {
        SCOPED_TRACE(roadName(r.road));
        toReady();
        goAway(r.road);
        ASSERT_TRUE(waitState(14, bound() * 10));
        expectRetryingFailure();
        EXPECT_EQ(api.updates.size(), 1u);

        ASSERT_TRUE(waitState(r.afterRetry, bound() * 10));
        ASSERT_TRUE(settle());
        EXPECT_EQ(w->retryCount(), 1);
        if (r.afterRetry == 13) {
            EXPECT_EQ(api.updates.size(), 1u);
            EXPECT_EQ(right()->text(), "CONTINUE");
            press(right());
            EXPECT_EQ(w->state(), 24);
        } else {
            ASSERT_EQ(api.updates.size(), 2u);
            EXPECT_EQ(api.updates[1].device, kKeyboard);
            EXPECT_FALSE(api.updates[1].mainFirst);  // the retry starts from the beginning
        }
    }
}

TEST_F(ReturnWaitTest, KeyboardBackAfterTheBoundIsRetriedByTheCountdownOnly)
{
    for (const Road road : {Road::Switch, Road::RadioLeaves}) {
        SCOPED_TRACE(roadName(road));
        toReady();
        goAway(road);
        ASSERT_TRUE(waitState(14, bound() * 10));

        // Too late: the update has failed and the countdown decides what comes next.
        arrive(kBootloader, bleBootloader());
        event(kBootloader, DFU_EVENT_CONNECTED);
        EXPECT_EQ(w->state(), 14);
        expectRetryingFailure();
        EXPECT_EQ(api.updates.size(), 1u);

        ASSERT_TRUE(waitState(12, bound() * 10));
        ASSERT_TRUE(settle());
        EXPECT_EQ(w->retryCount(), 1);
        ASSERT_EQ(api.updates.size(), 2u);
        EXPECT_EQ(api.updates[1].device, kBootloader);
        EXPECT_FALSE(api.updates[1].mainFirst);

        // The old wait is over: it fails nothing of the new attempt.
        QTest::qWait(bound() * 2);
        EXPECT_EQ(w->state(), 12);
        event(kBootloader, DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED);
        EXPECT_EQ(w->state(), 23);
        EXPECT_EQ(w->retryCount(), 1);
    }
}

TEST_F(ReturnWaitTest, SwitchThatNeverTakesEndsOnTheFinalFailurePage)
{
    toReady();
    // The keyboard answers every switch with "wait for reconnect" and never leaves.
    api.updateResults = {DFU_ERR_WAIT_RECONNECT, DFU_ERR_WAIT_RECONNECT, DFU_ERR_WAIT_RECONNECT,
                         DFU_ERR_WAIT_RECONNECT};
    press(right());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->state() == 14 && w->retryCount() == 3; }, bound() * 40));
    EXPECT_EQ(api.updates.size(), 4u);
    EXPECT_EQ(left()->text(), "SUPPORT PAGE");
    EXPECT_EQ(right()->text(), "CONTINUE");
    EXPECT_TRUE(right()->isVisible());
    press(right());
    EXPECT_EQ(w->state(), 24);
}

TEST_F(ReturnWaitTest, WaitingShowsTheLoaderAndEndsWhenTheKeyboardIsBack)
{
    struct Row {
        Road road;
        bool mainFirst;  // after the radio image only the main image is left
    };
    for (const Row& r : {Row{Road::Switch, false}, Row{Road::RadioLeaves, true}}) {
        SCOPED_TRACE(roadName(r.road));
        toReady();
        const QString readyHeader = header();
        const QString readyText = text();
        goAway(r.road);
        if (r.road == Road::Switch) {
            // No page of its own: the ready page's words stay, the loader says it is waiting.
            EXPECT_EQ(header(), readyHeader);
            EXPECT_EQ(text(), readyText);
            EXPECT_TRUE(loaderRunning());
            EXPECT_FALSE(left()->isVisible());
            EXPECT_FALSE(right()->isVisible());
        }
        arrive(kBootloader, bleBootloader());
        ASSERT_EQ(w->state(), 12);
        ASSERT_EQ(api.updates.size(), 2u);
        EXPECT_EQ(api.updates[1].device, kBootloader);
        EXPECT_EQ(api.updates[1].mainFirst, r.mainFirst);
        EXPECT_TRUE(loaderRunning());
        QTest::qWait(bound() * 2);
        EXPECT_EQ(w->state(), 12);
    }
}

TEST_F(ReturnWaitTest, ProgressAfterAReconnectionEndsTheWait)
{
    toReady();
    goAway(Road::RadioReconnects);
    // The transfer goes on (as the main image does over a receiver): nothing fails.
    event(kKeyboard, DFU_EVENT_PROGRESS, 26);
    QTest::qWait(bound() * 2);
    EXPECT_EQ(w->state(), 12);
    // A keyboard that drops out later is waited for afresh.
    event(kKeyboard, DFU_EVENT_DISCONNECTED);
    ASSERT_TRUE(waitState(14, bound() * 10));
}
