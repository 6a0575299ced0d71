// Device-change notifications: arrival, orderly and surprise removal, and their order.
#include "SimTestSupport.h"

#include <hidclass.h>
#include <sim/Kernel.h>

using namespace platform::sim;
using namespace simtest;

namespace {

class NotificationTest : public simtest::DeviceTreeTest {};

TEST_F(NotificationTest, ArrivalCarriesTheMixedCasePathAndStopsAfterUnregistering)
{
    NoticeWindow window;
    HDEVNOTIFY notify = watch_hid_class(window.window());
    ASSERT_NE(notify, nullptr);
    auto c = make_collection();
    c->plug();  // returns once the window handled it
    auto notices = window.notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(notices[0].type, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
    EXPECT_EQ(notices[0].name, c->path());
    EXPECT_NE(notices[0].name, simtest::lowered(notices[0].name));

    EXPECT_TRUE(UnregisterDeviceNotification(notify));
    EXPECT_FALSE(UnregisterDeviceNotification(notify));
    c->unplug();
    EXPECT_EQ(window.notices().size(), 1u);
}

// A window slower than the broadcast time-out: the plug goes on at the time-out, as on Windows, and
// the late handler still reads the whole notice (the system's copy, not a gone stack frame).
TEST_F(NotificationTest, AHandlerSlowerThanTheBroadcastStillReadsTheWholeNotice)
{
    NoticeWindow window;
    ASSERT_NE(watch_hid_class(window.window()), nullptr);
    set_broadcast_timeout(100);
    window.hold();
    auto c = make_collection();
    c->plug();  // returns at the time-out, the window still at work
    EXPECT_TRUE(window.handler_waiting());
    EXPECT_TRUE(window.notices().empty());
    window.release();
    ASSERT_TRUE(window.wait_for(1));
    EXPECT_EQ(window.notices()[0].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(window.notices()[0].name, c->path());
    set_broadcast_timeout(10000);
}

TEST_F(NotificationTest, OrderlyRemovalAsksTheHandleWatchersFirst)
{
    NoticeWindow window;
    auto c = make_collection();
    c->plug();
    ASSERT_NE(watch_hid_class(window.window()), nullptr);
    HANDLE file = open_path(c->path());
    HDEVNOTIFY handleNotify = watch_file(window.window(), file);
    ASSERT_NE(handleNotify, nullptr);
    c->unplug(Removal::Orderly);
    auto n = window.notices();
    ASSERT_EQ(n.size(), 3u);
    EXPECT_EQ(n[0].event, static_cast<WPARAM>(DBT_DEVICEQUERYREMOVE));
    EXPECT_EQ(n[0].type, static_cast<DWORD>(DBT_DEVTYP_HANDLE));
    EXPECT_EQ(n[0].handle, file);
    EXPECT_EQ(n[0].notify, handleNotify);
    EXPECT_EQ(n[1].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(n[1].type, static_cast<DWORD>(DBT_DEVTYP_HANDLE));
    EXPECT_EQ(n[2].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(n[2].type, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
    EXPECT_EQ(n[2].name, c->path());
    UnregisterDeviceNotification(handleNotify);
    CloseHandle(file);
}

TEST_F(NotificationTest, SurpriseRemovalEndsReadsBeforeTheHandleThenTheInterfaceHearsOfIt)
{
    NoticeWindow window;
    auto c = make_collection();
    c->plug();
    ASSERT_NE(watch_hid_class(window.window()), nullptr);
    HANDLE file = open_path(c->path());
    ASSERT_NE(watch_file(window.window(), file), nullptr);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED o{};
    o.hEvent = event;
    Bytes buffer(20);
    ASSERT_FALSE(ReadFile(file, buffer.data(), 20, nullptr, &o));
    window.watch_read(&o);
    c->unplug(Removal::Surprise);
    auto n = window.notices();
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[0].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(n[0].type, static_cast<DWORD>(DBT_DEVTYP_HANDLE));
    EXPECT_TRUE(n[0].readDone);
    EXPECT_EQ(n[1].type, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
    DWORD done = 0;
    EXPECT_FALSE(GetOverlappedResult(file, &o, &done, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    window.watch_read(nullptr);
    CloseHandle(event);
    CloseHandle(file);
}

TEST_F(NotificationTest, UnplugFromAnotherThreadWhileAWindowWatches)
{
    NoticeWindow window;
    ASSERT_NE(watch_hid_class(window.window()), nullptr);
    auto c = make_collection();
    std::thread t([&] {
        for (int i = 0; i < 5; ++i) {
            c->plug();
            c->unplug(i % 2 ? Removal::Orderly : Removal::Surprise);
        }
    });
    t.join();
    EXPECT_TRUE(window.wait_for(10));
    auto n = window.notices();
    ASSERT_EQ(n.size(), 10u);
    for (std::size_t i = 0; i < n.size(); ++i)
        EXPECT_EQ(n[i].event, static_cast<WPARAM>(i % 2 ? DBT_DEVICEREMOVECOMPLETE : DBT_DEVICEARRIVAL));
}

}  // namespace
