// Shared pieces of the device-tree tests: a clean tree per test, opening collections, starting
// and finishing overlapped reads, watching for device changes and a window thread that records
// the notifications.
#pragma once

#include <windows.h>
#include <dbt.h>
#include <hidclass.h>
#include <sim/DeviceTree.h>
#include <sim/HidCollection.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace simtest {

inline std::u16string wide(const std::string& text)
{
    return std::u16string(text.begin(), text.end());  // test texts are ASCII
}

inline std::string narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

inline std::string lowered(std::string text)
{
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Device-change notifications for the HID interface class, or for one open handle.
inline HDEVNOTIFY watch_hid_class(HWND window)
{
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_HID;
    return RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

inline HDEVNOTIFY watch_file(HWND window, HANDLE file)
{
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof filter;
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = file;
    return RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

// Opens a collection for reading and writing, shared, overlapped unless told otherwise.
inline HANDLE open_path(const std::string& path, DWORD flags = FILE_FLAG_OVERLAPPED)
{
    const std::u16string p = wide(path);
    return CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

// Starts an overlapped read; true when it is pending.
inline bool start_read(HANDLE file, platform::sim::Bytes& buffer, OVERLAPPED& o)
{
    return !ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &o) &&
           GetLastError() == ERROR_IO_PENDING;
}

// Waits for an overlapped operation: 0 on success, else its error.
inline DWORD outcome(HANDLE file, OVERLAPPED& o)
{
    DWORD done = 0;
    return GetOverlappedResult(file, &o, &done, TRUE) ? 0 : GetLastError();
}

class DeviceTreeTest : public ::testing::Test {
protected:
    void SetUp() override { platform::sim::remove_all_dev_nodes(); }
    void TearDown() override { platform::sim::remove_all_dev_nodes(); }

    // A USB device with one protocol-like collection (report id 0x11, 20 bytes each way).
    std::shared_ptr<platform::sim::HidCollection> make_collection(const std::string& usbId = "USB\\VID_7E51&PID_C52B\\5&1A2B&0&1",
                                                                  std::uint16_t length = 20)
    {
        using namespace platform::sim;
        const DevInst usb = add_dev_node(DevNodeLayout{usbId, 0, std::string("USB")});
        auto layout = HidCollectionLayout::simple(0x7E51, 0xC52B, 0xFF00, 2, 0x11, length);
        layout.parent = usb;
        layout.productString = "Sim Receiver";
        return create_hid_collection(layout);
    }
};

// One notification as the window saw it.
struct Notice {
    WPARAM event = 0;
    DWORD type = 0;
    std::string name;            // interface path
    HANDLE handle = nullptr;     // file handle of a handle notification
    HDEVNOTIFY notify = nullptr;
    bool readDone = false;       // the watched read had completed when this arrived
};

// A window on its own thread with a message loop, recording WM_DEVICECHANGE.
class NoticeWindow {
public:
    NoticeWindow()
    {
        m_thread = std::thread([this] { run(); });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_window != nullptr; });
    }
    ~NoticeWindow()
    {
        PostMessageW(m_window, WM_CLOSE, 0, 0);
        m_thread.join();
    }

    HWND window() const { return m_window; }
    void watch_read(const OVERLAPPED* overlapped) { m_watched.store(overlapped); }
    // Notices wait in the handler until release(): a window slower than the broadcast time-out.
    void hold()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held = true;
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held = false;
        m_changed.notify_all();
    }
    bool handler_waiting() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_waiting;
    }
    std::vector<Notice> notices() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_notices;
    }
    bool wait_for(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_notices.size() >= count; });
    }

private:
    static LRESULT procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<NoticeWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == WM_DEVICECHANGE) {
            self->wait_while_held();
            self->record(wParam, reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam));
            return TRUE;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void wait_while_held()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_waiting = m_held;
        m_changed.wait(lock, [&] { return !m_held; });
        m_waiting = false;
    }

    void record(WPARAM event, const DEV_BROADCAST_HDR* header)
    {
        Notice n;
        n.event = event;
        if (header) {
            n.type = header->dbch_devicetype;
            if (n.type == DBT_DEVTYP_DEVICEINTERFACE)
                n.name = narrow(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header)->dbcc_name);
            if (n.type == DBT_DEVTYP_HANDLE) {
                const auto* h = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(header);
                n.handle = h->dbch_handle;
                n.notify = h->dbch_hdevnotify;
            }
        }
        if (const OVERLAPPED* watched = m_watched.load())
            n.readDone = __atomic_load_n(&watched->Internal, __ATOMIC_ACQUIRE) != 0x103;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_notices.push_back(n);
        m_changed.notify_all();
    }

    void run()
    {
        static const std::u16string className = u"SimTestNoticeWindow";
        WNDCLASSW wc{};
        wc.lpfnWndProc = &NoticeWindow::procedure;
        wc.lpszClassName = className.c_str();
        RegisterClassW(&wc);  // a second registration fails harmlessly
        HWND window = CreateWindowExW(0, className.c_str(), u"notices", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      nullptr, this);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_window = window;
            m_changed.notify_all();
        }
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_waiting = false;
    HWND m_window = nullptr;
    std::vector<Notice> m_notices;
    std::atomic<const OVERLAPPED*> m_watched{nullptr};
    std::thread m_thread;
};

}  // namespace simtest
