// The wizard's roads through its states on the fake DFU API.
#include "WizardRig.h"

#include <QDesktopServices>
#include <QUrl>

#include <thread>

namespace {

constexpr DFU_DEVICE kKeyboard = 0x1000;
constexpr DFU_DEVICE kMouse = 0x2000;
constexpr DFU_DEVICE kReceiver = 0x3000;
constexpr DFU_DEVICE kReceiver2 = 0x4000;

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

}  // namespace

TEST_F(WizardTest, DefaultRoadUpdatesKeyboardThenReceiver)
{
    make();
    arrive(kKeyboard, oldKeyboard());
    arrive(kMouse, currentMouse());
    arrive(kReceiver, oldReceiver());
    detect();
    ASSERT_EQ(w->state(), 7);
    EXPECT_TRUE(header().contains("KEYBOARD"));
    EXPECT_TRUE(text().contains("Test Keys K1"));
    EXPECT_EQ(left()->text(), "DO NOT UPDATE");
    EXPECT_EQ(right()->text(), "UPDATE");

    press(right());
    ASSERT_EQ(w->state(), 12);
    ASSERT_EQ(api.updates.size(), 1u);
    EXPECT_EQ(api.updates[0].device, kKeyboard);
    EXPECT_EQ(QByteArray::fromStdString(api.updates[0].image), rig::resource(":/Images/one.png"));
    EXPECT_TRUE(api.updates[0].second.empty());
    EXPECT_FALSE(api.updates[0].mainFirst);
    EXPECT_TRUE(label("percentLabel")->isVisible());
    EXPECT_EQ(label("percentLabel")->text(), "0<sup>%</sup>");  // no padding before the first event

    struct Progress {
        int param;
        const char* shown;
    };
    for (const Progress& p : {Progress{5, " 5<sup>%</sup>"}, Progress{50, "50<sup>%</sup>"},
                              Progress{100, "99<sup>%</sup>"}}) {
        SCOPED_TRACE(p.param);
        event(kKeyboard, DFU_EVENT_PROGRESS, p.param);
        EXPECT_EQ(label("percentLabel")->text(), p.shown);
    }

    event(kKeyboard, DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED);
    ASSERT_EQ(w->state(), 23);
    EXPECT_EQ(left()->text(), "NEXT");
    press(left());
    ASSERT_EQ(w->state(), 16);  // the mouse is up to date; the receiver is next
    press(right());
    ASSERT_EQ(w->state(), 18);
    EXPECT_EQ(label("percentLabel")->text(), "0<sup>%</sup>");
    ASSERT_EQ(api.receiverUpdates.size(), 1u);
    EXPECT_EQ(api.receiverUpdates[0].device, kReceiver);
    EXPECT_EQ(QByteArray::fromStdString(api.receiverUpdates[0].image), rig::resource(":/Images/tick.png"));
    EXPECT_EQ(QByteArray::fromStdString(api.receiverUpdates[0].second), rig::resource(":/Images/crossRed.png"));
    event(kReceiver, DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED);
    EXPECT_EQ(w->state(), 21);
    EXPECT_EQ(left()->text(), "CLOSE");
    press(left());
    EXPECT_EQ(quits, 1);
}

TEST_F(WizardTest, SummaryPages)
{
    struct Row {
        const char* name;
        std::vector<std::pair<DFU_DEVICE, FakeDevice>> devices;
        std::vector<int> results;
        int firstState;
        bool decline;  // left button on the first page
        int finalState;
    };
    const Row rows[] = {
        {"declined", {{kKeyboard, oldKeyboard()}}, {}, 7, true, 24},
        {"low battery", {{kKeyboard, oldKeyboard()}}, {DFU_ERR_LOW_BATTERY}, 11, true, 24},
        {"all up to date", {{kMouse, currentMouse()}}, {}, 6, false, 6},
        {"nothing found", {}, {}, 4, false, 4},
        {"receiver fits no row", {{kReceiver, makeDevice("", 0xC510, "99.1.1", 0)}}, {}, 4, false, 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        api = FakeDfuApi();
        make();
        for (const auto& [device, d] : r.devices)
            arrive(device, d);
        api.updateResults.assign(r.results.begin(), r.results.end());
        detect();
        if (!r.results.empty())
            press(right());
        ASSERT_EQ(w->state(), r.firstState);
        if (r.decline)
            press(left());
        EXPECT_EQ(w->state(), r.finalState);
    }
}

TEST_F(WizardTest, NothingFoundWaitsForAReceiver)
{
    make();
    detect();
    ASSERT_EQ(w->state(), 4);
    EXPECT_FALSE(right()->isEnabled());
    arrive(kReceiver, oldReceiver());
    EXPECT_TRUE(right()->isEnabled());
    press(right());
    EXPECT_EQ(w->state(), 2);
}

TEST_F(WizardTest, DetectingLastsForTheTimerAndTheEnumeration)
{
    make();
    press(left());
    ASSERT_EQ(w->state(), 2);
    EXPECT_EQ(api.detections, 1);
    // The timer alone does not end the page.
    QTest::qWait(static_cast<int>(devio::Timing::scaled(2000)) * 3);
    EXPECT_EQ(w->state(), 2);
    event(0, DFU_EVENT_ENUMERATION_COMPLETE);
    EXPECT_EQ(w->state(), 4);
}

TEST_F(WizardTest, FailureCountsDownAndRetriesThreeTimes)
{
    make();
    arrive(kKeyboard, oldKeyboard());
    detect();
    devio::Timing::setScale(100, 1);  // the countdown is driven below, one tick at a time
    press(right());
    ASSERT_EQ(w->state(), 12);
    auto tick = [&] {
        ASSERT_TRUE(QMetaObject::invokeMethod(w.get(), "onRetryTimeout"));
        ASSERT_TRUE(settle());
    };
    for (int attempt = 0; attempt < 4; ++attempt) {
        SCOPED_TRACE(attempt);
        ASSERT_EQ(w->state(), 12);
        event(kKeyboard, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
        ASSERT_EQ(w->state(), 14);
        if (attempt == 3)
            break;
        EXPECT_FALSE(left()->isVisible());
        EXPECT_FALSE(right()->isVisible());
        EXPECT_EQ(header(), QString::fromUtf8("SOMETHING WENT WRONG <br>RETRYING IN 10\u00a0SECONDS"));
        for (int second = 9; second >= 1; --second) {
            tick();
            EXPECT_EQ(header(), QString::fromUtf8("SOMETHING WENT WRONG<br> RETRYING IN %1\u00a0%2")
                                    .arg(second)
                                    .arg(second == 1 ? "SECOND" : "SECONDS"));
            EXPECT_EQ(w->state(), 14);
        }
        tick();  // the tenth second retries
        ASSERT_EQ(w->state(), 12);
        EXPECT_EQ(api.updates.size(), static_cast<std::size_t>(attempt + 2));
    }
    EXPECT_EQ(w->retryCount(), 3);
    EXPECT_EQ(header(), "SOMETHING WENT WRONG<br> PLEASE CONTACT SUPPORT");
    EXPECT_EQ(left()->text(), "SUPPORT PAGE");
    EXPECT_EQ(right()->text(), "CONTINUE");

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    press(left());
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_TRUE(catcher.urls[0].path().endsWith("/en_us/home"));
    EXPECT_EQ(w->state(), 14);

    press(right());
    EXPECT_EQ(w->state(), 24);
    EXPECT_EQ(w->deviceCount(), 0u);
}

TEST_F(WizardTest, RetryFindsTheDeviceGoneAndLosesTheConnection)
{
    make();
    arrive(kKeyboard, oldKeyboard());
    detect();
    press(right());
    event(kKeyboard, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
    leave(kKeyboard);
    ASSERT_TRUE(waitState(13));
    EXPECT_EQ(right()->text(), "CONTINUE");
    EXPECT_EQ(w->focusWidget(), right());
    // The keyboard comes back while the page is open: the update starts again.
    arrive(kKeyboard, oldKeyboard());
    EXPECT_EQ(w->state(), 12);
    EXPECT_EQ(api.updates.size(), 2u);
}

TEST_F(WizardTest, MissingImageFailsLikeAFailedStart)
{
    make();
    arrive(kKeyboard, makeDevice("Broken K", rig::kBrokenId, "0.0.0", 0x42));
    detect();
    ASSERT_EQ(w->state(), 7);
    press(right());
    EXPECT_EQ(w->state(), 14);
    EXPECT_TRUE(api.updates.empty());
}

TEST_F(WizardTest, PowerCycleThenUpdate)
{
    make();
    arrive(kKeyboard, oldKeyboard());
    detect();
    api.updateResults = {DFU_ERR_POWER_CYCLE};
    press(right());
    ASSERT_EQ(w->state(), 10);
    EXPECT_EQ(text(), "Look at the back of your Test Keys K1 and turn your Test Keys K1 off and on.");
    EXPECT_FALSE(left()->isVisible());
    event(kKeyboard, DFU_EVENT_STATUS, DFU_STATUS_STARTED);
    ASSERT_EQ(w->state(), 12);
    event(kKeyboard, DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED);
    EXPECT_EQ(w->state(), 23);
}

TEST_F(WizardTest, PowerCycleLosesTheDevice)
{
    make();
    arrive(kKeyboard, oldKeyboard());
    detect();
    api.updateResults = {DFU_ERR_POWER_CYCLE};
    press(right());
    ASSERT_EQ(w->state(), 10);
    leave(kKeyboard);
    ASSERT_EQ(w->state(), 13);
    EXPECT_EQ(header(), "ERROR CONNECTING <br>TO KEYBOARD");
    press(right());
    EXPECT_EQ(w->state(), 24);
}

TEST_F(WizardTest, WakeUpThenUpdateReady)
{
    make();
    FakeDevice mouse = makeDevice("Test Mouse M1", rig::kMouseId, "15.01.0009", 0x2222, false);
    arrive(kMouse, mouse);
    detect();
    ASSERT_EQ(w->state(), 8);
    EXPECT_EQ(header(), "PLEASE WAKE UP <br>YOUR MOUSE");
    api.devices[kMouse].info.online = 1;
    event(kMouse, DFU_EVENT_CONNECTED);
    ASSERT_EQ(w->state(), 7);
    EXPECT_EQ(header(), "YOUR MOUSE <br>IS READY TO UPDATE");
    press(right());
    ASSERT_EQ(w->state(), 12);
    // The mouse row carries a second image.
    EXPECT_EQ(QByteArray::fromStdString(api.updates[0].second), rig::resource(":/Images/crossRed.png"));
}

TEST_F(WizardTest, WakingAnUpToDateDeviceMovesOn)
{
    make();
    arrive(kMouse, makeDevice("Test Mouse M1", rig::kMouseId, "15.02.0009", 0x2222, false));
    detect();
    ASSERT_EQ(w->state(), 8);
    api.devices[kMouse].info.online = 1;
    event(kMouse, DFU_EVENT_CONNECTED);
    EXPECT_EQ(w->state(), 6);
}

TEST_F(WizardTest, BluetoothDeviceReturnsInItsBootloader)
{
    make();
    arrive(kKeyboard, makeDevice("Test Keys BT", rig::kKeyboardBtId, "12.01.0030", 0x77, true, false,
                                 DFU_CONNECTION_BLUETOOTH_LE));
    detect();
    ASSERT_EQ(w->state(), 7);
    api.updateResults = {DFU_ERR_WAIT_RECONNECT, DFU_OK};
    press(right());
    ASSERT_EQ(w->state(), 22);
    leave(kKeyboard);
    arrive(kKeyboard + 1, makeDevice("Test Keys BT", rig::kKeyboardBtId, "0.0.0", 0x77, true, true,
                                     DFU_CONNECTION_BLUETOOTH_LE));
    ASSERT_EQ(w->state(), 12);
    ASSERT_EQ(api.updates.size(), 2u);
    EXPECT_EQ(api.updates[1].device, kKeyboard + 1);
}

TEST_F(WizardTest, OtherDevicesAreOnlyRecordedDuringAnUpdate)
{
    make();
    arrive(kKeyboard, oldKeyboard(0x1111));
    detect();
    press(right());
    ASSERT_EQ(w->state(), 12);
    arrive(kKeyboard + 1, makeDevice("Other BT", rig::kKeyboardBtId, "0.0.0", 0x99, true, true,
                                     DFU_CONNECTION_BLUETOOTH_LE));
    EXPECT_EQ(api.updates.size(), 1u);
    EXPECT_EQ(w->deviceCount(), 2u);
}

TEST_F(WizardTest, TwoReceiversAskForOne)
{
    make();
    arrive(kReceiver, oldReceiver());
    arrive(kReceiver2, oldReceiver());
    detect();
    ASSERT_EQ(w->state(), 3);
    EXPECT_EQ(text(), "Please make sure there is only one Tarnwick receiver connected to your PC.");
    EXPECT_TRUE(right()->isVisible());
    EXPECT_FALSE(right()->isEnabled());
    leave(kReceiver2);
    EXPECT_TRUE(right()->isEnabled());
    press(right());
    EXPECT_EQ(w->state(), 16);
}

TEST_F(WizardTest, ReceiverRetriesRotateThroughCandidateRows)
{
    make();
    arrive(kReceiver, oldReceiver(0x09));  // no row is built for bootloader revision 9
    detect();
    ASSERT_EQ(w->state(), 16);
    EXPECT_EQ(w->receiverEntryCount(), 2u);
    press(right());
    ASSERT_EQ(w->state(), 18);
    std::vector<QByteArray> images;
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        ASSERT_EQ(w->state(), 18);
        images.push_back(QByteArray::fromStdString(api.receiverUpdates.back().image));
        event(kReceiver, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
        ASSERT_EQ(w->state(), 20);
        // One receiver with two candidate rows is still one receiver: no "unplug" page.
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->state() != 20 && !w->updateStarting(); }, 10000));
    }
    // Most recently added row first, then the others in turn.
    EXPECT_EQ(images[0], rig::resource(":/Images/tick.png"));
    EXPECT_EQ(images[1], rig::resource(":/Images/one.png"));
    EXPECT_EQ(images[2], rig::resource(":/Images/tick.png"));
    event(kReceiver, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
    ASSERT_EQ(w->state(), 20);
    EXPECT_EQ(left()->text(), "SUPPORT PAGE");
    const QString final = header();
    QTest::qWait(static_cast<int>(devio::Timing::scaled(1000)) * 3);
    EXPECT_EQ(header(), final);  // no countdown on the final page
    EXPECT_EQ(w->state(), 20);
    press(right());
    EXPECT_EQ(w->state(), 24);
}

TEST_F(WizardTest, ReceiverLostThenBack)
{
    make();
    arrive(kReceiver, oldReceiver());
    detect();
    press(right());
    ASSERT_EQ(w->state(), 18);
    event(kReceiver, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
    leave(kReceiver);
    ASSERT_TRUE(waitState(19));
    EXPECT_EQ(w->focusWidget(), right());
    arrive(kReceiver2, oldReceiver());
    EXPECT_EQ(w->state(), 18);
    EXPECT_EQ(api.receiverUpdates.back().device, kReceiver2);
}

TEST_F(WizardTest, ReceiversStillArriveAfterAnUpdateOfUnitZero)
{
    make();
    arrive(kReceiver, oldReceiver());
    detect();
    press(right());
    event(kReceiver, DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED);
    ASSERT_EQ(w->state(), 21);
    // The receiver returns with new firmware, as every engine device, with unit id 0.
    leave(kReceiver);
    arrive(kReceiver2, oldReceiver());
    EXPECT_EQ(w->receiverEntryCount(), 1u);
}

TEST_F(WizardTest, UpdatedUnitIsIgnoredUnlessInItsBootloader)
{
    make();
    arrive(kKeyboard, oldKeyboard(0x1111));
    detect();
    press(right());
    event(kKeyboard, DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED);
    ASSERT_EQ(w->state(), 23);
    arrive(kKeyboard + 1, oldKeyboard(0x1111));
    EXPECT_EQ(w->deviceCount(), 1u);
    arrive(kKeyboard + 2, makeDevice("Test Keys K1", rig::kKeyboardId, "0.0.0", 0x1111, true, true));
    EXPECT_EQ(w->deviceCount(), 2u);
}

TEST_F(WizardTest, EventsCrossThreadsThroughTheQueuedSignal)
{
    make();
    api.devices[kKeyboard] = oldKeyboard();
    std::thread provider([&] { emit w->DfuEvent(kKeyboard, DFU_EVENT_DEVICE_ARRIVAL, 0); });
    provider.join();
    EXPECT_EQ(w->deviceCount(), 0u);  // not yet delivered
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->deviceCount() == 1; }, 5000));
    std::thread([&] { emit w->DfuEvent(0, 99, 0); }).join();  // unknown codes are dropped
    QTest::qWait(10);
    EXPECT_EQ(w->state(), 1);
}

#include "WizardRoadsTest.moc"
