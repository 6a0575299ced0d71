// The run-time bound system table, the HID bus and the HID device against the stand-in.
#include "ReceiverRig.h"

#include "Windows/Win32Bus.h"
#include "Windows/Win32Device.h"
#include "Windows/Win32System.h"
#include "devices/SimHidDevice.h"

#include <hidsdi.h>
#include <setupapi.h>
#include <sim/DeviceTree.h>
#include <sim/HidCollection.h>
#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace devio::test {
namespace {

using namespace platform::sim;
using ::testing::ElementsAre;

DevInst usb_node(const std::string& id, std::optional<std::string> enumerator = std::string("USB"))
{
    DevNodeLayout layout;
    layout.instanceId = id;
    layout.enumeratorName = std::move(enumerator);
    return add_dev_node(layout);
}

class Win32Fixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_machine();
        remove_all_dev_nodes();
    }
    void TearDown() override
    {
        if (bus)
            bus.reset();
        remove_all_dev_nodes();
        manager->shutdown();
    }
    std::shared_ptr<Win32Bus> make_bus()
    {
        bus = Win32Bus::create(manager);
        bus->start();
        return bus;
    }
    std::shared_ptr<Win32Device> device_for(const std::string& path)
    {
        std::shared_ptr<IWin32System> system;
        bus->start(nullptr, &system);
        std::string lower = path;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return std::make_shared<Win32Device>(bus, system, lower, 0);
    }

    // A keyboard's two collections, plugged, and a device for one of them (the bus started).
    struct Plugged {
        std::unique_ptr<SimHidDevice> sim;
        std::shared_ptr<Win32Device> device;
    };
    Plugged plugged_keyboard(bool longCollection = false)
    {
        if (!bus)
            make_bus();
        Plugged p;
        p.sim = std::make_unique<SimHidDevice>(0x4001, "Sim Keyboard", nullptr);
        p.sim->plug();
        p.device = device_for((longCollection ? p.sim->long_collection() : p.sim->short_collection())->path());
        return p;
    }

    ScaledTiming timing{20};
    std::shared_ptr<HostManager> manager = HostManager::create();
    std::shared_ptr<Win32Bus> bus;
};

// ---- System table ----

using SystemTable = Win32Fixture;

TEST_F(SystemTable, LoadsALibraryOnceAndLooksTheEntryUpEveryTime)
{
    Win32System system;
    const unsigned loads = module_load_count("hid.dll");
    const unsigned lookups = module_lookup_count("hid.dll", "HidD_GetHidGuid");
    GUID guid{};
    system.HidD_GetHidGuid(&guid);
    system.HidD_GetHidGuid(&guid);
    EXPECT_EQ(module_load_count("hid.dll"), loads + 1);
    EXPECT_EQ(module_lookup_count("hid.dll", "HidD_GetHidGuid"), lookups + 2);
}

TEST_F(SystemTable, MissingLibrariesAndEntryPointsThrowCode31WithTheirTexts)
{
    Win32System system;
    set_module_absent("BluetoothApis.dll", true);
    try {
        system.bluetoothApisEntry("BluetoothGATTGetServices", "BluetoothGATTGetServices ProcAddress Missing");
        ADD_FAILURE() << "no exception";
    } catch (const DevioException& e) {
        EXPECT_EQ(e.code(), 31u);
        EXPECT_STREQ(e.text(), "LoadLibrary BluetoothApis.dll failed");
    }
    set_module_absent("BluetoothApis.dll", false);
    GUID guid{};
    EXPECT_NO_THROW(system.HidD_GetHidGuid(&guid));  // the HID slots keep working

    struct Case {
        const char* module;
        const char* entry;
        std::function<void()> call;
        const char* text;
    };
    ULONG size = 0;
    WCHAR buffer[4];
    HIDP_CAPS caps{};
    const std::vector<Case> cases = {
        {"hid.dll", "HidP_GetCaps", [&] { system.HidP_GetCaps(nullptr, &caps); }, "HidP_GetCaps ProcAddress Missing"},
        {"cfgmgr32.dll", "CM_Get_Device_IDW", [&] { system.CM_Get_Device_IDW(1, buffer, 4, 0); },
         "CM_Get_Device_ID ProcAddress Missing"},
        {"cfgmgr32.dll", "CM_Get_Device_ID_Size", [&] { system.CM_Get_Device_ID_Size(&size, 1, 0); },
         "CM_Get_Device_ID_Size ProcAddress Missing"},
        {"setupapi.dll", "SetupDiGetClassDevsW", [&] { system.SetupDiGetClassDevsW(&guid, nullptr, nullptr, 0); },
         "SetupDiGetClassDevsW ProcAddress Missing"},
    };
    for (const auto& c : cases) {
        set_entry_absent(c.module, c.entry, true);
        try {
            c.call();
            ADD_FAILURE() << c.entry << ": no exception";
        } catch (const DevioException& e) {
            EXPECT_EQ(e.code(), 31u) << c.entry;
            EXPECT_STREQ(e.text(), c.text);
        }
        set_entry_absent(c.module, c.entry, false);
    }
    set_module_absent("setupapi.dll", true);
    Win32System fresh;
    try {
        fresh.getInstanceIdOfInterface("x");
        ADD_FAILURE() << "no exception";
    } catch (const DevioException& e) {
        EXPECT_STREQ(e.text(), "LoadLibrary setupapi.dll failed");
    }
}

TEST_F(SystemTable, LowerCasingAndTheComposites)
{
    EXPECT_EQ(wide_to_lower_utf8(u"\\\\?\\HID#VID_7E51&PID_C52B#\u00C4x"), "\\\\?\\hid#vid_7e51&pid_c52b#\xC3\x84x");
    std::string kept;
    wide_to_utf8(u"Sim Keyboard", kept);
    EXPECT_EQ(kept, "Sim Keyboard");
    EXPECT_EQ(utf8_to_wide("a\xC3\x84").size(), 3u);

    SimHidDevice device(0x4001, "Sim Keyboard", nullptr);
    device.plug();
    Win32System system;
    const std::string path = device.short_collection()->path();
    const std::string instance = system.getInstanceIdOfInterface(path);
    EXPECT_EQ(instance, wide_to_lower_utf8(utf8_to_wide(device.short_collection()->instance_id()).data()));
    EXPECT_EQ(system.getParentInstanceId(instance),
              wide_to_lower_utf8(utf8_to_wide(instance_id_of(device.node())).data()));
    EXPECT_EQ(system.getParentInstanceId("usb\\vid_0000&pid_0000\\nothing"), "usb\\vid_0000&pid_0000\\nothing");
    GUID hid{};
    system.HidD_GetHidGuid(&hid);
    EXPECT_EQ(system.findInterfacePath(instance, hid), wide_to_lower_utf8(utf8_to_wide(path).data()));
    EXPECT_EQ(system.findInterfacePath(system.getParentInstanceId(instance), hid), "");
    EXPECT_EQ(system.getInstanceIdOfInterface(""), "");
}

// A program that puts models behind HID collections knows every kind of the device models.
TEST(SimulatedDevices, EveryScenarioKindOfTheModelsIsKnown)
{
    EXPECT_THAT(device_kinds(), ::testing::IsSupersetOf({"keyboard", "mouse", "receiver"}));
}

// ---- HID bus ----

using HidBus = Win32Fixture;

TEST_F(HidBus, EnumerationListsProtocolCollectionsAndClassifiesTheirParents)
{
    make_bus();
    set_last_error(99);
    EXPECT_TRUE(bus->enumerate().empty());
    EXPECT_EQ(last_error().code, 0u);

    struct Parent {
        const char* instance;
        std::optional<std::string> enumerator;
        std::uint32_t kind;
    };
    const std::vector<Parent> parents = {
        {"USB\\VID_7E51&PID_4001\\A", std::string("USB"), 0},
        {"BTHENUM\\{X}\\B", std::string("BTHENUM"), 2},
        {"BTHLEDEVICE\\{Y}\\C", std::string("BTHLEDEVICE"), 3},
        {"USB\\VID_7E51&PID_4003\\D", std::string("usb"), 5},
        {"ACPI\\E", std::string("ACPI"), 5},
        {"ROOT\\F", std::nullopt, 5},
    };
    std::map<std::string, std::uint32_t> expected;
    int n = 0;
    for (const auto& p : parents) {
        const DevInst node = usb_node(p.instance, p.enumerator);
        auto layout = HidCollectionLayout::simple(0x7E51, static_cast<std::uint16_t>(0x4001 + n), 0xFF00, 1, 0x10, 7);
        layout.parent = node;
        auto c = create_hid_collection(layout);
        expected[wide_to_lower_utf8(utf8_to_wide(c->path()).data())] = p.kind;
        plug(node);
        ++n;
    }
    // Another vendor's collection is not listed.
    const DevInst other = usb_node("USB\\VID_1234&PID_0001\\G");
    auto layout = HidCollectionLayout::simple(0x1234, 0x0001, 0xFF00, 1, 0x10, 7);
    layout.parent = other;
    create_hid_collection(layout);
    plug(other);

    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), parents.size());
    for (const auto& d : devices) {
        auto w = std::dynamic_pointer_cast<Win32Device>(d);
        ASSERT_TRUE(w);
        EXPECT_EQ(w->parentKind(), expected.at(w->getPath())) << w->getPath();
    }
}

TEST_F(HidBus, CollectionsOfOneDeviceShareTheirParentId)
{
    make_bus();
    SimHidDevice sim(0x4001, "Sim Keyboard", nullptr);
    sim.plug();
    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), 2u);
    const std::string parent = wide_to_lower_utf8(utf8_to_wide(instance_id_of(sim.node())).data());
    for (const auto& d : devices) {
        EXPECT_EQ(d->getProtocolKind(), 3u);
        EXPECT_EQ(d->getParentId(), parent) << d->getPath();
    }
    EXPECT_NE(devices[0]->getUsage(), devices[1]->getUsage());
}

TEST_F(HidBus, ArrivalRemovalAndPowerNotifications)
{
    make_bus();
    PlugLog log;
    ASSERT_TRUE(log.subscribe(bus, 1, ""));
    SimHidDevice device(0x4001, "Sim Keyboard", nullptr);
    device.plug();
    ASSERT_TRUE(log.wait_count(2));
    const std::string shortPath = wide_to_lower_utf8(utf8_to_wide(device.short_collection()->path()).data());
    EXPECT_THAT(log.events(), ::testing::Contains("plug " + shortPath));
    device.unplug();
    ASSERT_TRUE(log.wait_count(4));
    EXPECT_THAT(log.events(), ::testing::Contains("unplug " + shortPath));

    broadcast_power(PBT_APMSUSPEND);
    broadcast_power(PBT_APMRESUMEAUTOMATIC);
    ASSERT_TRUE(log.wait_count(5));
    EXPECT_EQ(log.events().size(), 5u);
    EXPECT_EQ(log.events()[4], "power off");
}

class FailingWindowBus : public Win32Bus {
public:
    using Win32Bus::Win32Bus;
    void window_thread() override { throw DevioException("could not create window", 41, 0); }
};

// A reader that finds its handle gone reports the removal late (its thread may lag behind a quick
// re-plug): the report counts only while no arrival of the path came since the handle was opened,
// else it would take away the device plugged since.
TEST_F(HidBus, AReaderLateWithItsLossDoesNotUnplugTheDevicePluggedSince)
{
    make_bus();
    PlugLog log;
    ASSERT_TRUE(log.subscribe(bus, 1, ""));
    SimHidDevice device(0x4001, "Sim Keyboard", nullptr);
    const std::string path = wide_to_lower_utf8(utf8_to_wide(device.short_collection()->path()).data());
    device.plug();
    ASSERT_TRUE(log.wait_count(2));
    const std::uint64_t first = bus->plug_generation(path);
    device.unplug();
    device.plug();
    ASSERT_TRUE(log.wait_count(6));
    EXPECT_EQ(bus->plug_generation(path), first + 1);

    bus->reader_lost(path, first);      // the handle of the first plug: stale
    bus->reader_lost(path, first + 1);  // the current handle: reported
    ASSERT_TRUE(log.wait_count(7));
    const auto events = log.events();
    EXPECT_EQ(std::count(events.begin() + 6, events.end(), "unplug " + path), 1) << ::testing::PrintToString(events);
}

// The window announced the removal before the reader got round to its report: the path may be
// back on the bus by then, found by an enumeration (the combiner enumerates on another device's
// arrival) before the window counts its arrival. Published then, the report withdraws it.
TEST_F(HidBus, AReaderLateWithALossTheWindowAnnouncedPublishesNothing)
{
    make_bus();
    PlugLog log;
    ASSERT_TRUE(log.subscribe(bus, 1, ""));
    SimHidDevice device(0x4001, "Sim Keyboard", nullptr);
    const std::string path = wide_to_lower_utf8(utf8_to_wide(device.short_collection()->path()).data());
    device.plug();
    ASSERT_TRUE(log.wait_count(2));
    const std::uint64_t opened = bus->plug_generation(path);
    device.unplug();
    ASSERT_TRUE(log.wait_count(4));

    bus->reader_lost(path, opened);  // no arrival counted since: only the announced removal tells
    device.plug();
    ASSERT_TRUE(log.wait_count(6));
    // After its removal the path comes back, and nothing takes it away again.
    const auto events = log.events();
    const std::vector<std::string> after(events.begin() + 4, events.end());
    EXPECT_EQ(std::count(after.begin(), after.end(), "unplug " + path), 0) << ::testing::PrintToString(events);
    EXPECT_EQ(std::count(after.begin(), after.end(), "plug " + path), 1) << ::testing::PrintToString(events);
}

TEST_F(HidBus, AFailedWindowNeitherHangsTheStartNorServesRequests)
{
    auto failing = std::make_shared<FailingWindowBus>(manager);
    failing->start();  // returns although the window never came
    EXPECT_EQ(failing->window(), nullptr);
    EXPECT_EQ(failing->registerDeviceNotificationAndTakeOwnershipOfHandle(reinterpret_cast<HANDLE>(1)), nullptr);
    EXPECT_EQ(last_error().code, 72u);
    EXPECT_THAT(manager->errors(), ElementsAre("Win32Bus::window_thread_static"));
}

TEST_F(HidBus, BusesCanBeMadeAgainAndIgnoreMalformedRequests)
{
    for (int i = 0; i < 2; ++i) {
        auto again = Win32Bus::create(manager);
        again->start();
        EXPECT_NE(again->window(), nullptr) << "bus " << i;
    }
    make_bus();
    DeviceNotificationRequest request;
    request.kind = 1;
    request.fileHandle = reinterpret_cast<HANDLE>(1);
    request.size = sizeof(request) + 1;
    DWORD_PTR result = 7;
    ::SendMessageTimeoutW(bus->window(), WM_USER, sizeof(request), reinterpret_cast<LPARAM>(&request), SMTO_BLOCK,
                          5000, &result);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(request.handleNotification, nullptr);
}

// A window thread writing into a record on a sender's stack after the send gave up must be caught
// in this suite, not only corrupt a later frame.
extern "C" __attribute__((used)) const char* __asan_default_options()
{
    return "detect_stack_use_after_return=1";
}

// A window procedure wrapped around the bus's own that holds its WM_USER handling until released.
struct HeldWindow {
    static inline WNDPROC original = nullptr;
    static inline std::mutex mutex;
    static inline std::condition_variable condition;
    static inline bool entered = false, released = false, finished = false;

    static LRESULT procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message != WM_USER)
            return original(window, message, wParam, lParam);
        {
            std::unique_lock<std::mutex> lock(mutex);
            entered = true;
            condition.wait(lock, [] { return released; });
        }
        const LRESULT result = original(window, message, wParam, lParam);
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        condition.notify_all();
        return result;
    }
};

// The window thread is slower than the time-out: the registration reports the time-out, and the
// late handler leaves the record its sender gave up alone (no write into a gone stack frame, no
// registration nobody owns). The bus keeps serving.
TEST_F(HidBus, AWindowThreadSlowerThanTheTimeOutLeavesTheGivenUpRequestAlone)
{
    make_bus();
    const HWND window = bus->window();
    HeldWindow::original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HeldWindow::procedure)));
    ASSERT_NE(HeldWindow::original, nullptr);
    const GUID someClass{0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

    EXPECT_EQ(bus->registerDeviceInterfaceNotification(someClass), nullptr);
    EXPECT_EQ(last_error().code, 63u);
    EXPECT_EQ(last_error().detail, static_cast<std::uint32_t>(ERROR_TIMEOUT));
    {
        std::unique_lock<std::mutex> lock(HeldWindow::mutex);
        EXPECT_TRUE(HeldWindow::entered);  // picked up in time, held past the time-out
        HeldWindow::released = true;
        HeldWindow::condition.notify_all();
        EXPECT_TRUE(HeldWindow::condition.wait_for(lock, std::chrono::seconds(10), [] { return HeldWindow::finished; }));
    }
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HeldWindow::original));

    HDEVNOTIFY notification = bus->registerDeviceInterfaceNotification(someClass);
    EXPECT_NE(notification, nullptr);
    bus->unregisterDeviceInterfaceNotification(notification);
}

// ---- HID device ----

using HidDevice = Win32Fixture;

TEST_F(HidDevice, OpenRefusesWhatIsNotAProtocolCollection)
{
    make_bus();
    struct Case {
        const char* what;
        std::uint16_t vendor, page, usage;
        std::vector<HidReportLayout> input, output;
        ErrorCode code;
        std::uint32_t detail;
    };
    const HidReportLayout s7{0x10, 7, false}, l20{0x11, 20, false};
    const std::vector<Case> cases = {
        {"short", 0x7E51, 0xFF00, 1, {s7}, {s7}, 0, 0},
        {"ff00 usage 3", 0x7E51, 0xFF00, 3, {s7}, {s7}, 38, 0},
        {"ff43 0602", 0x7E51, 0xFF43, 0x0602, {l20}, {l20}, 0, 0},
        {"ff43 0402", 0x7E51, 0xFF43, 0x0402, {l20}, {l20}, 38, 0},
        {"ff43 0203", 0x7E51, 0xFF43, 0x0203, {l20}, {l20}, 38, 0},
        {"other page", 0x7E51, 0x0001, 2, {s7}, {s7}, 37, 0},
        {"two inputs", 0x7E51, 0xFF00, 2, {s7, l20}, {l20}, 38, 0},
        {"lengths differ", 0x7E51, 0xFF00, 2, {l20}, {s7}, 38, 0},
        {"other vendor", 0x1234, 0xFF00, 1, {s7}, {s7}, 70, 0x4100},
    };
    int n = 0;
    for (const auto& c : cases) {
        HidCollectionLayout layout;
        layout.vendorId = c.vendor;
        layout.productId = 0x4100;
        layout.usagePage = c.page;
        layout.usage = c.usage;
        layout.inputReports = c.input;
        layout.outputReports = c.output;
        layout.instanceId = "HID\\CASE" + std::to_string(n++);
        auto collection = create_hid_collection(layout);
        collection->plug();
        auto device = device_for(collection->path());
        EXPECT_EQ(device->open(), c.code == 0) << c.what;
        EXPECT_EQ(last_error().code, c.code) << c.what;
        if (c.code) {
            EXPECT_EQ(last_error().detail, c.detail) << c.what;
        }
        EXPECT_EQ(collection->open_handle_count(), c.code ? 0u : 1u) << c.what;
        device->close();
    }
}

TEST_F(HidDevice, IdsFromThePathWhenTheAttributesHaveNone)
{
    std::uint16_t vid = 0, pid = 0;
    Win32Device::ids_from_path("\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&027e51_pid&b010_rev&0001#x",
                               vid, pid);
    EXPECT_EQ(vid, 0x7E51);
    EXPECT_EQ(pid, 0xB010);
    vid = pid = 0;
    Win32Device::ids_from_path("\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&02zz51_pid&b010_rev&0001#x",
                               vid, pid);
    EXPECT_EQ(vid, 0);  // not a number: no exception, no ids
    EXPECT_EQ(pid, 0);
    Win32Device::ids_from_path("x}_dev_vid&027e51_pid&b010", vid, pid);  // too close to the end
    EXPECT_EQ(pid, 0);

    make_bus();
    auto layout = HidCollectionLayout::simple(0, 0, 0xFF00, 2, 0x11, 20);
    layout.instanceId = "HID\\{00001812-0000-1000-8000-00805F9B34FB}_DEV_VID&027E51_PID&B010_REV&0001\\9";
    layout.path = "\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&027e51_pid&b010_rev&0001#9#{4d1e55b2}";
    auto collection = create_hid_collection(layout);
    collection->plug();
    auto device = device_for(collection->path());
    ASSERT_TRUE(device->open());
    EXPECT_EQ(device->getProductId(), 0xB010);
}

class WriteLog : public Subscriber<IHardwareDevice::Write> {
public:
    void onWrite(std::vector<Byte> data, ErrorCode code, unsigned detail) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        writes.push_back({data, code, detail});
    }
    struct Entry {
        std::vector<Byte> data;
        ErrorCode code;
        unsigned detail;
    };
    std::mutex mutex;
    std::vector<Entry> writes;
};

TEST_F(HidDevice, WritesArePaddedToTheReportAndFailuresCarryTheirCodes)
{
    auto [simDevice, device] = plugged_keyboard(true);
    SimHidDevice& sim = *simDevice;
    WriteLog log;
    ASSERT_TRUE(log.subscribe(std::static_pointer_cast<Producer<IHardwareDevice::Write>>(device), 1, ""));

    ASSERT_TRUE(device->write({0x10, 0xFF, 0x00, 0x1A, 1, 2, 3}, false));
    ASSERT_EQ(log.writes.size(), 1u);
    const std::vector<Byte> expected = {0x11, 0xFF, 0x00, 0x1A, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(log.writes[0].data, expected);
    EXPECT_EQ(sim.long_collection()->written_reports().at(0), expected);

    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::vector<Byte> report;
        bool awaitReply;
        ErrorCode code;
        unsigned detail;
    };
    const std::vector<Case> cases = {
        {"too long", [] {}, std::vector<Byte>(21, 0x11), false, 25, 0},
        {"empty", [] {}, {}, false, 71, 0},
        {"reply without reader", [] {}, {0x11, 0xFF, 0, 0}, true, 27, 0},
        {"write error", [&] { sim.long_collection()->fail_writes(ERROR_ACCESS_DENIED); }, {0x11, 0xFF}, false, 40,
         ERROR_ACCESS_DENIED},
        {"device not functioning", [&] { sim.long_collection()->set_stalled(true); }, {0x11, 0xFF}, false, 61, 31},
    };
    for (const auto& c : cases) {
        c.arrange();
        EXPECT_FALSE(device->write(c.report, c.awaitReply)) << c.what;
        EXPECT_EQ(last_error().code, c.code) << c.what;
        EXPECT_EQ(last_error().detail, c.detail) << c.what;
        // Refused before WriteFile: nothing to show; failed in WriteFile: the report as it went out.
        std::vector<Byte> shown;
        if (c.code == 40 || c.code == 61) {
            shown = c.report;
            shown.resize(20, 0);
        }
        EXPECT_EQ(log.writes.back().data, shown) << c.what;
        EXPECT_EQ(log.writes.back().code, c.code) << c.what;
    }
    sim.long_collection()->set_stalled(false);

    // A write that does not finish in time is cancelled before write returns.
    device->setWriteTimeout(50);
    sim.long_collection()->hold_writes(true);
    EXPECT_FALSE(device->write({0x11, 0xFF}, false));
    EXPECT_EQ(last_error().code, 39u);
    EXPECT_EQ(sim.long_collection()->held_write_count(), 0u);
    sim.long_collection()->hold_writes(false);
    EXPECT_EQ(sim.long_collection()->write_count(), 1u);
}

TEST_F(HidDevice, ConcurrentWritersShareTheDeviceSafely)
{
    auto [simDevice, device] = plugged_keyboard();
    SimHidDevice& sim = *simDevice;
    ASSERT_TRUE(device->open());
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i)
                if (!device->write({0x10, 0xFF, static_cast<Byte>(t), static_cast<Byte>(i)}, false))
                    ++failures;
        });
    for (auto& w : writers)
        w.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(sim.short_collection()->write_count(), 100u);
}

// Everything the reader and the bus publish about one device, in order.
class ReadLog : public Subscriber<IHardwareDevice::Read>,
                public Subscriber<IHardwareDevice::FastDisconnect>,
                public Subscriber<IHardwareBus::PlugUnplug> {
public:
    void onRead(std::vector<Byte> data, bool, unsigned status, unsigned) override
    {
        add(status ? "read " + std::to_string(status) : "read " + std::to_string(data.size()));
        if (on_read)
            on_read();
    }
    void onFastDisconnect() override { add("fast"); }
    void onUnplug(std::shared_ptr<IHardwareDevice> d) override
    {
        if (d->getPath() == path)
            add("unplug");
    }
    bool wait_for(const std::string& e, std::chrono::milliseconds deadline = 10s)
    {
        return wait_until([&](const std::string& seen) { return seen == e; }, deadline);
    }
    bool wait_until(const std::function<bool(const std::string&)>& match, std::chrono::milliseconds deadline = 10s)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return condition.wait_for(lock, deadline, [&] { return std::any_of(events.begin(), events.end(), match); });
    }
    // Follows the bus's unplugs of the device and all its reader publishes; opens it first.
    bool watch(const std::shared_ptr<Win32Bus>& bus, const std::shared_ptr<Win32Device>& device)
    {
        path = device->getPath();
        return Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, 1, "") && device->open() &&
               Subscriber<IHardwareDevice::Read>::subscribe(device, 1, "") &&
               Subscriber<IHardwareDevice::FastDisconnect>::subscribe(device, 1, "");
    }
    std::vector<std::string> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
    std::string path;
    std::function<void()> on_read;

private:
    void add(const std::string& e)
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(e);
        condition.notify_all();
    }
    std::mutex mutex;
    std::condition_variable condition;
    std::vector<std::string> events;
};

TEST_F(HidDevice, SurpriseRemovalUnplugsThenFailsTheReadThenDisconnects)
{
    auto [simDevice, device] = plugged_keyboard();
    SimHidDevice& sim = *simDevice;
    ReadLog log;
    ASSERT_TRUE(log.watch(bus, device));
    ASSERT_TRUE(sim.send_input({0x10, 0xFF, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(log.wait_for("read 7"));
    ASSERT_TRUE(sim.short_collection()->wait_for_pending_reads(1));

    // The device vanishes under the pending read.
    sim.short_collection()->inject_read_error(ERROR_DEVICE_NOT_CONNECTED);
    ASSERT_TRUE(log.wait_for("fast"));
    const auto events = log.snapshot();
    const auto read = std::find(events.begin(), events.end(), "read 1167");
    const auto fast = std::find(events.begin(), events.end(), "fast");
    const auto unplug = std::find(events.begin(), events.end(), "unplug");
    ASSERT_NE(read, events.end());
    EXPECT_LT(unplug, read);
    EXPECT_LT(read, fast);
    EXPECT_FALSE(device->open());
    EXPECT_EQ(last_error().code, 28u);
}

// Whichever comes first, the failed read or the bus closing the handle on the removal
// notification: the bus publishes the unplug, the reader reports one failed read and stops.
TEST_F(HidDevice, EveryRemovalOrderEndsTheReaderWithOneFailedReadAndAnUnplug)
{
    make_bus();
    for (const Removal how : {Removal::Surprise, Removal::Orderly}) {
        const char* what = how == Removal::Surprise ? "surprise" : "orderly";
        auto [simDevice, device] = plugged_keyboard();
        SimHidDevice& sim = *simDevice;
        ReadLog log;
        ASSERT_TRUE(log.watch(bus, device));
        ASSERT_TRUE(sim.short_collection()->wait_for_pending_reads(1));
        sim.unplug(how);
        const auto failedRead = [](const std::string& e) { return e.rfind("read ", 0) == 0 && e != "read 7"; };
        ASSERT_TRUE(log.wait_for("unplug")) << what;
        ASSERT_TRUE(log.wait_until(failedRead)) << what;
        EXPECT_TRUE(sim.short_collection()->wait_for_open_handles(0)) << what;
        EXPECT_FALSE(device->open()) << what;
        device->close();  // the reader has stopped or waits to be: close returns
        const auto events = log.snapshot();
        const auto failedReads = std::count_if(events.begin(), events.end(), failedRead);
        EXPECT_EQ(failedReads, 1) << what << ": " << ::testing::PrintToString(events);
        if (how == Removal::Orderly) {
            EXPECT_EQ(std::count(events.begin(), events.end(), "read 1167"), 0) << what;
        }
        log.Subscriber<IHardwareBus::PlugUnplug>::unsubscribe(bus);
    }
}

TEST_F(HidDevice, OrderlyRemovalHandsTheHandleBackAndAReaderMayCloseItsOwnDevice)
{
    auto [simDevice, device] = plugged_keyboard();
    SimHidDevice& sim = *simDevice;
    ASSERT_TRUE(device->open());
    sim.unplug(Removal::Orderly);  // the query closes our handle; nothing crashes on reuse
    EXPECT_EQ(sim.short_collection()->open_handle_count(), 0u);
    EXPECT_FALSE(device->open());
    EXPECT_EQ(last_error().code, 33u);
    device->close();

    sim.plug();
    auto other = device_for(sim.short_collection()->path());
    ReadLog log;
    std::weak_ptr<Win32Device> weak = other;
    log.on_read = [weak] {
        if (auto d = weak.lock())
            d->close();
    };
    ASSERT_TRUE(other->open());
    ASSERT_TRUE(log.Subscriber<IHardwareDevice::Read>::subscribe(other, 1, ""));
    ASSERT_TRUE(sim.send_input({0x10, 0xFF, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(log.wait_for("read 7"));
    ASSERT_TRUE(sim.short_collection()->wait_for_open_handles(0));
    sim.send_input({0x10, 0xFF, 1, 0, 0, 0, 0});
    EXPECT_EQ(log.snapshot().size(), 1u);  // the reader left with its device
}

} // namespace
} // namespace devio::test
