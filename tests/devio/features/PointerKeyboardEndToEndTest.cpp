// A keyboard on USB and a mouse behind a receiver, both simulated, list the pointer, keyboard and
// gesture features: through the application's facade each is discovered and cast, reads and
// writes round-trip, notifications reach queued subscribers, and a write made while the mouse is
// unlinked reaches it once it is linked again.
#include "devio/Windows/ManagerTestSupport.h"

#include "core/CDevio.h"
#include "core/Subscriber.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "devices/SimHidDevice.h"
#include "devices/SimHidReceiver.h"
#include "features/IFeature2005ButtonSwapCancel.h"
#include "features/IFeature2110Sprocklin.h"
#include "features/IFeature2121HiResWheel.h"
#include "features/IFeature2201AdjustableDPI.h"
#include "features/IFeature2240SurfaceTuning.h"
#include "features/IFeature2400HybridTracking.h"
#include "features/IFeature40A2FnInversion.h"
#include "features/IFeature40A3FnInversion.h"
#include "features/IFeature4220LockKeyState.h"
#include "features/IFeature4521DisableKeys.h"
#include "features/IFeature4530DualPlatform.h"
#include "features/IFeature4600Crown.h"
#include "features/IFeature6100TouchPadRawXY.h"
#include "features/IFeature6500Gestures.h"
#include "features/IFeature6501Gestures.h"
#include "features/IFeature9001TestPMW3816.h"
#include "quillon/ProductIds.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

namespace devio::test {
namespace {

const std::vector<std::uint16_t> kKeyboardFeatures = {0x40A0, 0x40A2, 0x40A3, 0x4220, 0x4521,
                                                      0x4522, 0x4530, 0x4531, 0x4540};
const std::vector<std::uint16_t> kMouseFeatures = {0x2005, 0x2006, 0x2110, 0x2111, 0x2121, 0x2130, 0x2150,
                                                   0x2201, 0x2205, 0x2230, 0x2240, 0x2250, 0x2400, 0x4600,
                                                   0x6010, 0x6012, 0x6100, 0x6500, 0x6501, 0x9001};

// Handler calls as text, from whichever thread delivers them.
class Log {
public:
    void add(std::string e)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(e));
        m_condition.notify_all();
    }
    bool wait_for(const std::string& e)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, 20s, [&] {
            return std::find(m_events.begin(), m_events.end(), e) != m_events.end();
        });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::string> m_events;
};

// One queued subscriber per event interface, each writing the handler it saw.
struct Ratchet : Subscriber<IFeature2121HiResWheel::RatchetSwitch> {
    Log& log;
    explicit Ratchet(Log& l) : log(l) {}
    ~Ratchet() override { stop_deliveries(); }
    void onRatchetSwitch(bool on) override { log.add("ratchet " + std::to_string(on)); }
};
struct Squal : Subscriber<IFeature2240SurfaceTuning::Report> {
    Log& log;
    explicit Squal(Log& l) : log(l) {}
    ~Squal() override { stop_deliveries(); }
    void onSqualCalibrationDone(bool ok, Byte a, Byte b) override
    {
        log.add("squal " + std::to_string(ok) + " " + std::to_string(a) + " " + std::to_string(b));
    }
};
struct Hybrid : Subscriber<IFeature2400HybridTracking::Report> {
    Log& log;
    explicit Hybrid(Log& l) : log(l) {}
    ~Hybrid() override { stop_deliveries(); }
    void onHybridStateChange(const HybridReporting::SpeedInfo& i) override
    {
        log.add("hybrid " + std::to_string(i.speed1));
    }
};
struct SwapCancel : Subscriber<IFeature2005ButtonSwapCancel::SettingChange> {
    Log& log;
    explicit SwapCancel(Log& l) : log(l) {}
    ~SwapCancel() override { stop_deliveries(); }
    void onSettingChange(unsigned sw, bool on) override
    {
        log.add("swap " + std::to_string(sw) + " " + std::to_string(on));
    }
};
struct FLock : Subscriber<IFeature40A3FnInversion::Report> {
    Log& log;
    explicit FLock(Log& l) : log(l) {}
    ~FLock() override { stop_deliveries(); }
    void onFLockChange(short s, bool a, bool, int) override
    {
        log.add("flock " + std::to_string(s) + " " + std::to_string(a));
    }
};
struct LockKeys : Subscriber<IFeature4220LockKeyState::Report> {
    Log& log;
    explicit LockKeys(Log& l) : log(l) {}
    ~LockKeys() override { stop_deliveries(); }
    void onLockKeyChange(short s) override { log.add("lock " + std::to_string(s)); }
};
struct Platform : Subscriber<IFeature4530DualPlatform::Report> {
    Log& log;
    explicit Platform(Log& l) : log(l) {}
    ~Platform() override { stop_deliveries(); }
    void onPlatformChangeEvent(short p) override { log.add("platform " + std::to_string(p)); }
};
struct Crown : Subscriber<IFeature4600Crown::CrownEvent> {
    Log& log;
    explicit Crown(Log& l) : log(l) {}
    ~Crown() override { stop_deliveries(); }
    void onCrownEvent(IFeature4600Crown::CrownEventData e) override { log.add("crown " + std::to_string(e.second)); }
};
struct Sensor : Subscriber<IFeature9001TestPMW3816::Event> {
    Log& log;
    explicit Sensor(Log& l) : log(l) {}
    ~Sensor() override { stop_deliveries(); }
    void OnFrameCaptureReport(const std::vector<Byte>& f) override { log.add("frame " + std::to_string(f.at(0))); }
};
struct TouchPad : Subscriber<IFeature6100TouchPadRawXY::Report> {
    Log& log;
    explicit TouchPad(Log& l) : log(l) {}
    ~TouchPad() override { stop_deliveries(); }
    void onDualXYData(IFeature6100TouchPadRawXY::DualXYData d) override { log.add("xy " + std::to_string(d.point1.x)); }
};
struct Taps : Subscriber<IFeature6500Gestures::Report> {
    Log& log;
    explicit Taps(Log& l) : log(l) {}
    ~Taps() override { stop_deliveries(); }
    void OnGestureTapEvent(GestureId id, EventType kind) override
    {
        log.add("tap " + std::to_string(id) + " " + std::to_string(kind));
    }
};
struct Table : Subscriber<IFeature6501Gestures::GestureReport> {
    Log& log;
    explicit Table(Log& l) : log(l) {}
    ~Table() override { stop_deliveries(); }
    void OnGestureDxDy(std::uint32_t g, IFeature6501Gestures::GestureId, IFeature6501Gestures::EventType, int lead,
                       int a, int b, int, int) override
    {
        log.add("dxdy " + std::to_string(g) + " " + std::to_string(lead) + " " + std::to_string(a) + " " +
                std::to_string(b));
    }
    void OnGestureDiverted(std::uint32_t, std::uint32_t g, bool on) override
    {
        log.add("diverted " + std::to_string(g) + " " + std::to_string(on));
    }
};

// The mouse's disconnections, as its device reports them.
struct Connections : Subscriber<IDevice::Connect> {
    std::mutex mutex;
    std::condition_variable changed;
    int disconnects = 0;
    ~Connections() override { stop_deliveries(); }
    void onDisconnect(std::shared_ptr<IDevice>) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++disconnects;
        changed.notify_all();
    }
    bool wait_for_disconnect()
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 20s, [this] { return disconnects > 0; });
    }
};

template <class I>
std::shared_ptr<I> feature(const std::shared_ptr<IDevice>& device, std::uint32_t id)
{
    return std::dynamic_pointer_cast<I>(device->getFeatureSync(id));
}

// A long notification of `id` as the model sends it (software id 0).
void notify(platform::sim::SimProtocolDevice& model, std::uint16_t id, std::uint8_t event, platform::sim::Bytes payload)
{
    payload.resize(16, 0);
    ASSERT_TRUE(model.notify(id, event, payload)) << std::hex << id;
}

// A report of another program's request at `index` that this host never asked for.
void foreign_reply(platform::sim::SimProtocolDevice& model, Byte deviceIndex, Byte index, Byte function,
                   Byte softwareId, platform::sim::Bytes payload)
{
    platform::sim::Bytes report{0x11, deviceIndex, index, static_cast<Byte>(function << 4 | softwareId)};
    report.insert(report.end(), payload.begin(), payload.end());
    report.resize(20, 0);
    model.inject(report);
}

TEST(PointerKeyboardEndToEnd, PointerKeyboardAndGestureFeaturesThroughTheFacade)
{
    platform::sim::reset_machine();
    Timing::setScale(1, 20);
    const auto usbIds = quillon::ids::kKeyboardC;
    const auto pairedIds = quillon::ids::kMouseA;

    auto keyboardConfig = platform::sim::sim_keyboard_config();
    keyboardConfig.product_id = usbIds.productId;
    for (auto id : kKeyboardFeatures)
        keyboardConfig.features.push_back({id, 0, 0});
    platform::sim::SimHidProtocolDevice usbKeyboard(keyboardConfig);
    platform::sim::SimHidReceiver receiver(quillon::ids::kMiraReceiver[0], 0x1A2B3C4D);
    auto mouseConfig = platform::sim::sim_mouse_config();
    mouseConfig.product_id = pairedIds.productId;
    for (auto id : kMouseFeatures)
        mouseConfig.features.push_back({id, 0, 0});
    platform::sim::SimProtocolDevice* mouseModel = receiver.pair(1, mouseConfig);
    ASSERT_NE(mouseModel, nullptr);

    FacadeSession session;
    ASSERT_TRUE(session.open({ConfigReceivers, ConfigUsbHid}));
    usbKeyboard.plug();
    receiver.plug();
    auto keyboard = session.changes.wait_for(Changes::key("+", TransportUsbHid, usbIds.productId));
    auto mouse = session.changes.wait_for(Changes::key("+", TransportReceiver, pairedIds.productId));
    ASSERT_TRUE(keyboard);
    ASSERT_TRUE(mouse);

    // Every listed feature is found and is of its own class.
    for (auto id : kKeyboardFeatures) {
        auto f = keyboard->getFeatureSync(id);
        ASSERT_TRUE(f) << std::hex << id;
        EXPECT_EQ(f->feature_id(), id);
    }
    for (auto id : kMouseFeatures) {
        auto f = mouse->getFeatureSync(id);
        ASSERT_TRUE(f) << std::hex << id;
        EXPECT_EQ(f->feature_id(), id);
    }

    // A write and a read of each family, against the model's stored answers.
    auto swap = feature<IFeature2005ButtonSwapCancel>(mouse, 0x2005);
    bool on = false;
    ASSERT_TRUE(swap && swap->SetButtonSwapCancel(1) && swap->GetButtonSwapCancel(&on));
    EXPECT_TRUE(on);
    auto sprocklin = feature<IFeature2110Sprocklin>(mouse, 0x2110);
    std::uint32_t v0 = 0;
    std::uint8_t v1 = 0;
    ASSERT_TRUE(sprocklin && sprocklin->SetSprocklinState(3, 4, nullptr, nullptr) &&
                sprocklin->GetSprocklinState(&v0, &v1));
    EXPECT_EQ(std::make_pair(v0, v1), std::make_pair(3u, std::uint8_t(4)));
    auto wheel = feature<IFeature2121HiResWheel>(mouse, 0x2121);
    bool flagA = false, flagB = true;
    std::uint32_t value1 = 0, value2 = 0;
    ASSERT_TRUE(wheel && wheel->SetWheelMode(true, false, 7, 8, nullptr, nullptr, nullptr, nullptr) &&
                wheel->GetWheelMode(&flagA, &flagB, &value1, &value2));
    EXPECT_TRUE(flagA && !flagB && value1 == 7 && value2 == 8);
    auto dpi = feature<IFeature2201AdjustableDPI>(mouse, 0x2201);
    unsigned short resolution = 0;
    ASSERT_TRUE(dpi && dpi->SetSensorDpiClamped(9000, 0) && dpi->GetSensorDpi(resolution, 0));
    EXPECT_EQ(resolution, 4000);
    auto tuning = feature<IFeature2240SurfaceTuning>(mouse, 0x2240);
    std::uint8_t block[9] = {};
    const std::uint8_t setting[3] = {1, 2, 3};
    ASSERT_TRUE(tuning && tuning->GetSurfaceTuningInfo(block) && tuning->SetSurfaceTuning(setting));
    EXPECT_EQ(block[8], 9);
    auto hybrid = feature<IFeature2400HybridTracking>(mouse, 0x2400);
    ASSERT_TRUE(hybrid && hybrid->SetHybridMode(0) && hybrid->GetHybridMode(&on));
    EXPECT_FALSE(on);
    auto fn = feature<IFeature40A2FnInversion>(keyboard, 0x40A2);
    bool second = true;
    ASSERT_TRUE(fn && fn->SetFnInversion(true) && fn->GetFnInversion(&on, &second));
    EXPECT_TRUE(on);
    auto keys = feature<IFeature4521DisableKeys>(keyboard, 0x4521);
    bool k[5] = {};
    ASSERT_TRUE(keys && keys->SetDisabledKeys(true, false, true, false, false) &&
                keys->GetDisabledKeys(&k[0], &k[1], &k[2], &k[3], &k[4]));
    EXPECT_TRUE(k[0] && !k[1] && k[2] && !k[3] && !k[4]);
    auto platform = feature<IFeature4530DualPlatform>(keyboard, 0x4530);
    std::uint16_t platformValue = 0;
    ASSERT_TRUE(platform && platform->SetPlatform(2) && platform->GetPlatform(&platformValue));
    EXPECT_EQ(platformValue, 2);
    auto crown = feature<IFeature4600Crown>(mouse, 0x4600);
    IFeature4600Crown::CrownMode mode;
    mode.first = 9;
    ASSERT_TRUE(crown && crown->SetMode(mode));
    IFeature4600Crown::CrownMode read;
    ASSERT_TRUE(crown->GetMode(read));
    EXPECT_EQ(read.first, 9);
    auto sensor = feature<IFeature9001TestPMW3816>(mouse, 0x9001);
    std::uint8_t reg = 0;
    ASSERT_TRUE(sensor && sensor->WriteRegister(1, 2) && sensor->ReadRegister(1, &reg));
    EXPECT_EQ(reg, 0x42);
    auto touch = feature<IFeature6100TouchPadRawXY>(mouse, 0x6100);
    std::uint8_t touchMode = 0;
    ASSERT_TRUE(touch && touch->SetMode(3) && touch->GetMode(&touchMode));
    EXPECT_EQ(touchMode, 3);
    auto gestures = feature<IFeature6500Gestures>(mouse, 0x6500);
    int first = 0, secondValue = 0;
    std::uint32_t third = 0;
    ASSERT_TRUE(gestures && gestures->GetInfo(1, &first, &secondValue, &third) && gestures->SetValue(0x7101, 1));
    EXPECT_EQ(first, 0x7801);
    auto table = feature<IFeature6501Gestures>(mouse, 0x6501);
    ASSERT_TRUE(table && table->SetGestureDiverted(0, true, 0));
    bool diverted = false;
    ASSERT_TRUE(table->GetGestureDiverted(0, &diverted, 0));

    // Notifications, one per family, reach queued subscribers through the run loop.
    Log log;
    Ratchet ratchet(log);
    Squal squal(log);
    Hybrid hybridLog(log);
    SwapCancel swapLog(log);
    FLock flock(log);
    LockKeys lockKeys(log);
    Platform platformLog(log);
    Crown crownLog(log);
    Sensor sensorLog(log);
    TouchPad touchLog(log);
    Taps taps(log);
    Table tableLog(log);
    ASSERT_TRUE(ratchet.subscribe(wheel, 0, "test") && squal.subscribe(tuning, 0, "test") &&
                hybridLog.subscribe(hybrid, 0, "test") && swapLog.subscribe(swap, 0, "test") &&
                flock.subscribe(feature<IFeature40A3FnInversion>(keyboard, 0x40A3), 0, "test") &&
                lockKeys.subscribe(feature<IFeature4220LockKeyState>(keyboard, 0x4220), 0, "test") &&
                platformLog.subscribe(platform, 0, "test") && crownLog.subscribe(crown, 0, "test") &&
                sensorLog.subscribe(sensor, 0, "test") && touchLog.subscribe(touch, 0, "test") &&
                taps.subscribe(gestures, 0, "test") && tableLog.subscribe(table, 0, "test"));
    notify(*mouseModel, 0x2121, 1, {0x01});
    notify(*mouseModel, 0x2240, 1, {0x00, 0x05, 0x07});
    notify(*mouseModel, 0x2400, 1, {0x00, 0xFF, 0xFE});
    notify(usbKeyboard.model(), 0x40A3, 0, {0x02, 0x01, 0x00, 0x00});
    notify(usbKeyboard.model(), 0x4220, 0, {0x05});
    notify(usbKeyboard.model(), 0x4530, 0, {0x01});
    notify(*mouseModel, 0x4600, 0, {0x00, 0xFE});
    notify(*mouseModel, 0x9001, 1, {0x33});
    notify(*mouseModel, 0x6100, 0, {0x00, 0x00, 0x3F, 0xFF});
    notify(*mouseModel, 0x6500, 0, {0x71, 0x01, 0x10});
    // Gesture 0 was prepared by the divert write: an 8-bit gesture field, then two 8-bit deltas.
    notify(*mouseModel, 0x6501, 0, {0x13, 0x00, 0xFF, 0x02});
    const Byte otherSoftwareId = mouse->getSoftwareId() == 7 ? 8 : 7;
    foreign_reply(*mouseModel, 1, swap->feature_index(), 1, otherSoftwareId, {0x01});
    foreign_reply(*mouseModel, 1, table->feature_index(), 4, otherSoftwareId, {0x00, 0x01, 0x01, 0x00});
    for (const char* e : {"ratchet 1", "squal 1 5 7", "hybrid -2", "flock 2 1", "lock 5", "platform 1", "crown -2",
                          "frame 51", "xy -1", "tap 28929 1", "dxdy 0 1 -1 2", "diverted 0 0"})
        EXPECT_TRUE(log.wait_for(e)) << e;
    EXPECT_TRUE(log.wait_for("swap " + std::to_string(otherSoftwareId) + " 1"));

    // Unlinked, the mouse refuses requests: the write is kept and reaches it once it is back.
    ASSERT_TRUE(swap->SetButtonSwapCancel(0));
    Connections connections;
    ASSERT_TRUE(connections.subscribe(mouse, 1, "test"));
    receiver.receiver().unlink(1);
    ASSERT_TRUE(connections.wait_for_disconnect());
    set_last_error(9, 0, nullptr);
    EXPECT_TRUE(swap->SetButtonSwapCancel(5));
    EXPECT_EQ(last_error().code, 0u);
    // The model keeps the parameters of a short report: the value and two padding bytes.
    EXPECT_EQ(mouseModel->answer_value(0x2005, 0), (platform::sim::Bytes{0x00, 0x00, 0x00}));
    receiver.receiver().link(1);
    bool delivered = false;
    // Each write the device makes after the link may be the kept one.
    for (int i = 0; i < 200 && !delivered; ++i) {
        const std::size_t seen = mouseModel->write_count();
        delivered = mouseModel->answer_value(0x2005, 0) == platform::sim::Bytes{0x05, 0x00, 0x00};
        if (!delivered)
            mouseModel->wait_for_writes(seen + 1, 100ms);
    }
    EXPECT_TRUE(delivered);

    usbKeyboard.unplug();
    receiver.unpair(1);
    EXPECT_TRUE(session.changes.wait_for(Changes::key("-", TransportUsbHid, usbIds.productId)));
    EXPECT_TRUE(session.changes.wait_for(Changes::key("-", TransportReceiver, pairedIds.productId)));
    keyboard.reset();
    mouse.reset();
    session.close();
}

} // namespace
} // namespace devio::test
