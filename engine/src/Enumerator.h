// The engine's device enumerator: finds receivers and bootloaders among the HID interfaces,
// keeps every engine device in one table under one lock, and follows arrival and removal.
#pragma once

#include "Device.h"

#include <windows.h>
#include <hidsdi.h>
#include <setupapi.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

class CReceiver;

// Posted by a transport's reader when its device is gone (wParam: the file handle).
constexpr UINT kRemovalMessage = 0x808F;

class Enumerator {
public:
    static Enumerator& instance();

    // Loads the entry points, creates the notification window on the calling thread (which must
    // pump messages) and starts the first enumeration. False when that failed.
    bool start();
    void stop();
    bool running() const { return m_running.load(); }
    bool first_enumeration_done() const { return m_firstDone.load(); }

    // ---- device table ----
    std::uint64_t add(CDevice* device, std::uint8_t parentByte);
    std::uint64_t find(std::int64_t kind, std::uint64_t value);
    DeviceRef lookup(std::uint64_t handle);
    bool copy_record(std::uint64_t handle, QV_DEVICE_INFO& out);
    std::vector<std::uint64_t> handles();
    bool remove(std::uint64_t handle);
    std::size_t device_count();

    // ---- arrivals still to be announced by receivers ----
    void adjust_pending(int delta);
    int pending() const;

    // ---- kept for the update manager ----
    std::atomic<std::uint64_t> underUpdate{0};
    std::atomic<std::uint32_t> bootloaderExpected{0};
    std::atomic<std::uint64_t> lastBootloader{0};

    // Events of device objects; drops removal of the device under update.
    void relay(std::uint64_t handle, std::uint32_t event, std::uint64_t value);

    HWND window() const { return m_window; }
    unsigned activity_interval() const { return 0; }

    // Receiver product table row for a product id; false when absent.
    struct ProductRow {
        std::uint16_t productId;
        std::uint32_t kind;
        std::uint32_t mask;
    };
    static bool product_row(std::uint16_t productId, ProductRow& out);

    LRESULT window_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    Enumerator() = default;

    bool load_entry_points();
    void enumerate_all();
    void on_interface(HDEVINFO set, SP_DEVINFO_DATA& info, const WString& path);
    bool on_hid_interface(DWORD devInst, HANDLE file, const WString& path, const HIDD_ATTRIBUTES& attributes);
    bool on_tsl_arrival(DWORD devInst, HANDLE file, const WString& path, const HIDD_ATTRIBUTES& attributes,
                        PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps);
    bool on_hid_arrival(DWORD devInst, HANDLE file, const WString& path, const HIDD_ATTRIBUTES& attributes,
                        PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps);
    std::uint8_t report_id_of(PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps);
    HDEVNOTIFY register_handle(HANDLE file);
    void remove_by_file(HANDLE file);
    void purge();
    void enumeration_thread();
    void notification_thread();

    std::mutex m_tableMutex;
    std::map<std::uint64_t, CDevice*> m_table;
    std::uint32_t m_serial = 1;

    mutable std::mutex m_pendingMutex;
    int m_pending = 0;
    HANDLE m_allAnnounced = nullptr;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_firstDone{false};
    std::mutex m_enumerateMutex;  // the enumeration and notification threads take turns

    HWND m_window = nullptr;
    HDEVNOTIFY m_notification = nullptr;
    HANDLE m_changeEvent = nullptr;
    HANDLE m_quitEvent = nullptr;
    std::thread m_enumerationThread;
    std::thread m_notificationThread;
    GUID m_hidGuid{};
    HMODULE m_hid = nullptr;
    HMODULE m_setupApi = nullptr;
};

}  // namespace qv
