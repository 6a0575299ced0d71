// The wizard on the real DFU API, provider and engine, over scenarios of the simulated machine.
// Each test runs in a process of its own (the provider and the engine live once per process).
// The device models first: Qt's keyword macros (emit) would clash with their names.
#include "devices/SimHidReceiver.h"

#include "DfuApi.h"
#include "MainWidget.h"
#include "WizardRoad.h"
#include "startup/Lifecycle.h"
#include "startup/ProcessEnd.h"

#include "core/Timing.h"

#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace sim = platform::sim;

namespace {

std::string g_root;  // this process's machine, removed before the process ends

class WizardEndToEnd : public ::testing::Test, protected WizardRoad {
protected:
    void SetUp() override
    {
        devio::Timing::setScale(1, 10);
        setQuitHook([this] { ++quits; });
    }

    void start(const std::string& xml)
    {
        scenario.emplace(sim::Scenario::from_text(xml));
        scenario->plug();
        widget = new MainWidget();  // lives until the process ends, as in the program
        // Queued after the window's own handler of each event: every state the wizard rests in
        // between two events is noted, however quickly the next event follows.
        QObject::connect(widget, &MainWidget::DfuEvent, widget, [this] { note(); }, Qt::QueuedConnection);
        DFU_Init(dfuEventCallback, widget);
        widget->setState(1);
        widget->show();
        left()->click();
        ASSERT_EQ(widget->state(), 2);
    }
    sim::SimHidReceiver& receiver(const char* name)
    {
        const sim::ScenarioDevice* d = scenario->device(name);
        return *static_cast<sim::SimHidReceiver*>(d->model.get());
    }
    // A picture of the real stack's page beside the window test's pictures.
    void shoot(const char* name) const
    {
        QDir().mkpath(QStringLiteral(QUILLON_SCREENSHOT_DIR));
        widget->grab().save(QStringLiteral(QUILLON_SCREENSHOT_DIR "/") + name + ".png");
    }

    std::optional<sim::Scenario> scenario;
    int quits = 0;
};

const char* const kUpToDateMouse = R"(
<scenario>
  <device kind="mouse" name="ms" product="0x4010" product-string="Tarn Mouse Gale">
    <firmware type="0" name="MPM" number="0x1502" build="0x0009"/>
  </device>
</scenario>)";

const char* const kTwoReceivers = R"(
<scenario>
  <device kind="receiver" name="rx1" product="0xC510" serial="0x11111111"/>
  <device kind="receiver" name="rx2" product="0xC520" serial="0x22222222"/>
</scenario>)";

const char* const kSleepingKeyboard = R"(
<scenario>
  <device kind="receiver" name="rx" product="0xC510" serial="0x1A2B3C4D">
    <paired slot="1" kind="keyboard" product="0x4002" name="Tarn Keys Birch" unit-id="0x0B0B0B0B" linked="false">
      <firmware type="0" name="MPK" number="0x0803" build="0x0021"/>
    </paired>
  </device>
</scenario>)";

// A keyboard with one image behind a receiver, older than the catalogue's; `extra` goes on <paired>.
std::string birchBehindReceiver(const std::string& extra)
{
    return R"(<scenario>
  <device kind="receiver" name="rx" product="0xC510" serial="0x1A2B3C4D">
    <paired slot="1" kind="keyboard" product="0x4002" name="Tarn Keys Birch" unit-id="0x0B0B0B0B" )" +
           extra + R"(>
      <firmware type="0" name="MPK" number="0x0803" build="0x0021"/>
    </paired>
  </device>
</scenario>)";
}

// Times the handling of every event the window's thread delivers (queued DFU events, timers,
// clicks, paints): the longest is the longest the window stood still. Handlers are timed, not the
// gaps between them, so a machine too loaded to run the thread at once does not count.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_depth++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --m_depth;
            return handled;
        }
        QElapsedTimer clock;
        clock.start();
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        longestEventMs = std::max(longestEventMs, clock.elapsed());
        return handled;
    }
    qint64 longestEventMs = 0;

private:
    int m_depth = 0;
};

// The longest the window stood still from now on: an event's handling, or a call the test makes
// from outside the event loop (`time`).
class LoopWatch {
public:
    LoopWatch() { app()->longestEventMs = 0; }
    void time(const std::function<void()>& call)
    {
        QElapsedTimer clock;
        clock.start();
        call();
        m_longestCall = std::max(m_longestCall, clock.elapsed());
    }
    qint64 longestMs() const { return std::max(m_longestCall, app()->longestEventMs); }

private:
    static TimedApplication* app() { return static_cast<TimedApplication*>(QCoreApplication::instance()); }
    qint64 m_longestCall = 0;
};

std::string defaultScenario()
{
    std::ifstream in(QUILLON_DEFAULT_SCENARIO);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST_F(WizardEndToEnd, DefaultScenarioUpdatesKeyboardAndReceiver)
{
    start(defaultScenario());
    ASSERT_TRUE(reach(7)) << "states " << roadText();
    EXPECT_EQ(header(), "YOUR KEYBOARD <br>IS READY TO UPDATE");
    shoot("real-page-07");
    LoopWatch watch;
    watch.time([&] { right()->click(); });
    ASSERT_TRUE(reach(23)) << "states " << roadText();
    watch.time([&] { left()->click(); });  // NEXT: the mouse is up to date, the receiver is not
    ASSERT_TRUE(reach(16)) << "states " << roadText();
    shoot("real-page-16");
    watch.time([&] { right()->click(); });
    ASSERT_TRUE(reach(21)) << "states " << roadText();
    shoot("real-page-21");
    // Reported, not bounded: between the updates the wizard's own calls may wait for the provider,
    // which holds its lock while it reads a returning device.
    RecordProperty("longest_stall_ms", static_cast<int>(watch.longestMs()));
    std::printf("longest stall of the window's event loop through both updates: %lld ms\n",
                static_cast<long long>(watch.longestMs()));
}

TEST_F(WizardEndToEnd, DefaultScenarioOffersTheUpdateWithinSeconds)
{
    // Its devices answer in milliseconds: the engine waits no extra 500 ms after each reply, and
    // the offer comes soon after the detecting page's own two seconds.
    devio::Timing::setScale(1, 1);
    start(defaultScenario());
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(reach(7, 60000)) << "states " << roadText();
    std::printf("the update is offered %lld ms after CONTINUE\n", static_cast<long long>(clock.elapsed()));
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(WizardEndToEnd, WindowKeepsTurningThroughAnUpdate)
{
    // A keyboard that answers in 120 ms behind its receiver: starting its update takes seconds.
    devio::Timing::setScale(1, 1);  // the waits of a real machine: none of them ends early
    start(R"(<scenario>
  <device kind="receiver" name="rx" product="0xC510" serial="0x1A2B3C4D" latency-us="120000">
    <paired slot="1" kind="keyboard" product="0x4002" name="Tarn Keys Birch" unit-id="0x0B0B0B0B">
      <firmware type="0" name="MPK" number="0x0803" build="0x0021"/>
    </paired>
  </device>
</scenario>)");
    ASSERT_TRUE(reach(7, 120000)) << "states " << roadText();
    LoopWatch watch;
    watch.time([&] { right()->click(); });  // UPDATE
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            note();
            return widget->state() != 7 && widget->state() != 9 && widget->state() != 12;
        },
        300000))
        << "states " << roadText();
    EXPECT_EQ(widget->state(), 23) << "states " << roadText();
    const qint64 longest = watch.longestMs();
    RecordProperty("longest_stall_ms", static_cast<int>(longest));
    std::printf("longest stall of the window's event loop during the update: %lld ms\n",
                static_cast<long long>(longest));
    EXPECT_LE(longest, 100);
}

TEST_F(WizardEndToEnd, DecliningEverythingEndsOnNoOtherDevices)
{
    start(defaultScenario());
    ASSERT_TRUE(reach(7)) << "states " << roadText();
    left()->click();
    ASSERT_TRUE(reach(16)) << "states " << roadText();
    left()->click();
    EXPECT_EQ(widget->state(), 24);
}

TEST_F(WizardEndToEnd, LowBattery)
{
    start(birchBehindReceiver(R"(battery="5" battery-critical="10")"));
    ASSERT_TRUE(reach(7)) << "states " << roadText();
    right()->click();
    ASSERT_TRUE(reach(11)) << "states " << roadText();
    EXPECT_EQ(header(), "KEYBOARD BATTERY LEVEL IS CRITICAL");
}

TEST_F(WizardEndToEnd, ConnectionLostWhileWaitingForThePowerCycle)
{
    start(birchBehindReceiver(R"(switch="0x00C1")"));
    ASSERT_TRUE(reach(7)) << "states " << roadText();
    right()->click();
    ASSERT_TRUE(reach(10)) << "states " << roadText();
    receiver("rx").unplug();
    ASSERT_TRUE(reach(13)) << "states " << roadText();
    EXPECT_EQ(header(), "ERROR CONNECTING <br>TO KEYBOARD");
}

TEST_F(WizardEndToEnd, PowerCycleResumesTheUpdateInTheBootloader)
{
    start(birchBehindReceiver(R"(switch="0x00C1")"));
    ASSERT_TRUE(reach(7)) << "states " << roadText();
    right()->click();
    ASSERT_TRUE(reach(10)) << "states " << roadText();
    sim::SimProtocolDevice& keyboard = *receiver("rx").paired(1);
    keyboard.power_cycle();
    ASSERT_TRUE(keyboard.wait_for_mode(true, std::chrono::seconds(30)));
    ASSERT_TRUE(reach(23)) << "states " << roadText();
    EXPECT_NE(std::find(road.begin(), road.end(), 12), road.end()) << "states " << roadText();
}

TEST_F(WizardEndToEnd, FailedTransferCountsDownAndRetries)
{
    start(birchBehindReceiver(R"(switch="0x00C2")"));
    ASSERT_TRUE(reach(7)) << "states " << roadText();
    sim::SimDfuFaults faults;
    faults.failAtPacket = 1;
    receiver("rx").paired(1)->set_dfu_faults(faults);
    right()->click();
    ASSERT_TRUE(reach(14)) << "states " << roadText();
    EXPECT_EQ(header(), QString::fromUtf8("SOMETHING WENT WRONG <br>RETRYING IN 10\u00a0SECONDS"));
    // The countdown's own header (its line break sits elsewhere) shows it is running.
    ASSERT_TRUE(QTest::qWaitFor([&] { return header().startsWith("SOMETHING WENT WRONG<br> RETRYING IN "); }, 30000));
    // Three automatic retries, then the final page.
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget->state() == 14 && widget->retryCount() == 3; }, 120000))
        << "state " << widget->state() << ", retries " << widget->retryCount();
    EXPECT_EQ(left()->text(), "SUPPORT PAGE");
    right()->click();  // CONTINUE: on to the receiver, whose firmware is older too
    ASSERT_TRUE(reach(16)) << "states " << roadText();
    left()->click();
    EXPECT_EQ(widget->state(), 24);
}

TEST_F(WizardEndToEnd, ReceiverRetriesRotateThroughCandidateImages)
{
    // Bootloader 9 has no image of its own: every image of the receiver's firmware is a candidate.
    // It also wants signed images, and this family's are not: every attempt fails.
    start(R"(<scenario>
  <device kind="receiver" name="rx" product="0xC510" serial="0x1A2B3C4D" version="12.01.0010.09.00"
          signature-required="true"/>
</scenario>)");
    ASSERT_TRUE(reach(16)) << "states " << roadText();
    right()->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            note();
            return widget->state() == 20 && widget->retryCount() == 3;
        },
        120000))
        << "states " << roadText();
    right()->click();
    EXPECT_EQ(widget->state(), 24);

    // The images handed to the engine stay in the temporary folder, one per attempt.
    const std::string temp = sim::host_path("C:\\Users\\User\\AppData\\Local\\Temp");
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(temp))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return std::filesystem::last_write_time(a) < std::filesystem::last_write_time(b);
    });
    std::vector<std::string> images;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        images.push_back(bytes.str());
    }
    auto resource = [](const char* path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    };
    const std::string bl03 = resource(":/firmware/RQR12_02_B0011_BL03.hex");
    const std::string plain = resource(":/firmware/RQR12_02_B0011.hex");
    ASSERT_FALSE(bl03.empty());
    ASSERT_FALSE(plain.empty());
    // The last fitting row first, then the others in turn.
    EXPECT_EQ(images, (std::vector<std::string>{bl03, plain, plain, bl03}));
}

TEST_F(WizardEndToEnd, NothingFound)
{
    start("<scenario/>");
    ASSERT_TRUE(reach(4));
}

TEST_F(WizardEndToEnd, UpToDate)
{
    start(kUpToDateMouse);
    ASSERT_TRUE(reach(6)) << "states " << roadText();
}

TEST_F(WizardEndToEnd, TwoReceiversAskForOne)
{
    start(kTwoReceivers);
    ASSERT_TRUE(reach(3)) << "states " << roadText();
    EXPECT_FALSE(right()->isEnabled());
}

TEST_F(WizardEndToEnd, WakeUpThenUpdateReady)
{
    start(kSleepingKeyboard);
    ASSERT_TRUE(reach(8)) << "states " << roadText();
    EXPECT_EQ(header(), "PLEASE WAKE UP <br>YOUR KEYBOARD");
    receiver("rx").receiver().link(1);
    ASSERT_TRUE(reach(7)) << "states " << roadText();
    left()->click();  // DO NOT UPDATE
    ASSERT_TRUE(reach(16)) << "states " << roadText();  // the receiver's firmware is older
    left()->click();
    EXPECT_EQ(widget->state(), 24);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    char pattern[] = "/tmp/quillon-wizard-e2e-XXXXXX";
    if (const char* made = ::mkdtemp(pattern)) {
        g_root = made;
        sim::set_machine_root(g_root);
        if (!qEnvironmentVariableIsEmpty("QUILLON_KEEP_MACHINE"))
            std::printf("machine: %s\n", g_root.c_str());
    }
    TimedApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    // The provider, the engine and their threads end with the process, as in the program.
    std::fflush(stdout);
    std::fflush(stderr);
    // QUILLON_KEEP_MACHINE=1 keeps the machine's files (engine log, temp files) to look at.
    if (!g_root.empty() && qEnvironmentVariableIsEmpty("QUILLON_KEEP_MACHINE")) {
        std::error_code ignored;
        std::filesystem::remove_all(g_root, ignored);
    }
    std::_Exit(result);
}
