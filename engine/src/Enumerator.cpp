#include "Enumerator.h"

#include "DfuManager.h"
#include "EventHolder.h"
#include "HidDevice.h"
#include "ProtocolSelection.h"
#include "Receiver.h"
#include "core/Timing.h"

#include <cfgmgr32.h>
#include <dbt.h>
#include <quillon/ProductIds.h>

#include <cstring>

using devio::Timing;

namespace qv {

namespace {

constexpr DWORD kFirstEnumerationWaitMs = 30000;
constexpr DWORD kThreadEndWaitMs = 5000;

// Entry points taken by name; the optional ones may stay null.
struct SystemEntries {
    decltype(&HidP_GetCaps) getCaps = nullptr;
    decltype(&HidP_GetButtonCaps) getButtonCaps = nullptr;
    decltype(&HidD_GetHidGuid) getHidGuid = nullptr;
    decltype(&HidD_GetPreparsedData) getPreparsed = nullptr;
    decltype(&HidD_FreePreparsedData) freePreparsed = nullptr;
    decltype(&HidD_GetAttributes) getAttributes = nullptr;
    decltype(&SetupDiGetClassDevsW) getClassDevs = nullptr;
    decltype(&SetupDiGetDeviceInterfaceDetailW) getDetail = nullptr;
    decltype(&SetupDiEnumDeviceInterfaces) enumInterfaces = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) destroyList = nullptr;
    decltype(&CM_Get_Parent) getParent = nullptr;
    decltype(&CMP_WaitNoPendingInstallEvents) waitNoPending = nullptr;
};
SystemEntries g_api;

const char* const kHidRequired[] = {
    "HidP_GetSpecificButtonCaps", "HidP_GetLinkCollectionNodes", "HidP_GetUsages", "HidP_SetUsages",
    "HidP_UnsetUsages", "HidP_GetUsagesEx", "HidP_TranslateUsagesToI8042ScanCodes", "HidP_GetUsageValue",
    "HidP_GetCaps", "HidP_GetButtonCaps", "HidP_GetValueCaps", "HidD_GetHidGuid", "HidD_GetPreparsedData",
    "HidD_FreePreparsedData", "HidD_GetAttributes", "HidD_GetSerialNumberString", "HidD_GetIndexedString"};
const char* const kSetupRequired[] = {
    "SetupDiGetClassDevsW", "SetupDiGetDeviceInterfaceDetailW", "SetupDiGetDeviceRegistryPropertyW",
    "SetupDiEnumDeviceInterfaces", "SetupDiDestroyDeviceInfoList", "SetupDiEnumDeviceInfo",
    "SetupDiOpenDeviceInterfaceRegKey"};

// A module is used only when it exports every name the engine may call.
template <std::size_t N>
bool exports_all(HMODULE module, const char* const (&names)[N])
{
    for (const char* name : names)
        if (!GetProcAddress(module, name))
            return false;
    return true;
}

template <class F>
void take(HMODULE module, const char* name, F& out)
{
    out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

LRESULT CALLBACK notification_window_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Enumerator::instance().window_proc(hwnd, message, wParam, lParam);
}

// The receiver product table: the built-in rows, then one bootloader row per selection row.
const std::vector<Enumerator::ProductRow>& product_table()
{
    static const std::vector<Enumerator::ProductRow> table = [] {
        std::vector<Enumerator::ProductRow> rows;
        for (const auto& r : quillon::ids::kEngineReceiverTable)
            rows.push_back({r.productId, r.kind, r.mask});
        for (std::uint32_t key : bootloader_keys())
            rows.push_back({static_cast<std::uint16_t>(key & 0xFFFF), 8, 0});
        return rows;
    }();
    return table;
}

}  // namespace

Enumerator& Enumerator::instance()
{
    // Lives to the end of the process: engine threads may still report while it ends.
    static Enumerator* enumerator = new Enumerator;
    return *enumerator;
}

bool Enumerator::product_row(std::uint16_t productId, ProductRow& out)
{
    for (const auto& row : product_table())
        if (row.productId == productId) {
            out = row;
            return true;
        }
    return false;
}

bool Enumerator::load_entry_points()
{
    m_hid = LoadLibraryW(QV_W("Hid.dll"));
    if (!m_hid || !exports_all(m_hid, kHidRequired))
        return false;
    take(m_hid, "HidP_GetCaps", g_api.getCaps);
    take(m_hid, "HidP_GetButtonCaps", g_api.getButtonCaps);
    take(m_hid, "HidD_GetHidGuid", g_api.getHidGuid);
    take(m_hid, "HidD_GetPreparsedData", g_api.getPreparsed);
    take(m_hid, "HidD_FreePreparsedData", g_api.freePreparsed);
    take(m_hid, "HidD_GetAttributes", g_api.getAttributes);
    g_api.getHidGuid(&m_hidGuid);
    return true;
}

bool Enumerator::start()
{
    if (!load_entry_points())
        return false;
    WNDCLASSW wc{};
    wc.lpfnWndProc = notification_window_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = QV_W("CIntfEnumNotifWnd");
    RegisterClassW(&wc);
    // A start that failed further on is tried again by the next QV_Init: one window serves.
    if (!m_window)
        m_window = CreateWindowExW(WS_EX_TOOLWINDOW, QV_W("CIntfEnumNotifWnd"), QV_W(""), WS_POPUP, 0, 0, 0, 0,
                                   nullptr, nullptr, wc.hInstance, nullptr);
    if (!m_window)
        return false;
    m_setupApi = LoadLibraryW(QV_W("SetupApi.dll"));
    if (!m_setupApi || !exports_all(m_setupApi, kSetupRequired))
        return false;
    take(m_setupApi, "SetupDiGetClassDevsW", g_api.getClassDevs);
    take(m_setupApi, "SetupDiGetDeviceInterfaceDetailW", g_api.getDetail);
    take(m_setupApi, "SetupDiEnumDeviceInterfaces", g_api.enumInterfaces);
    take(m_setupApi, "SetupDiDestroyDeviceInfoList", g_api.destroyList);
    take(m_setupApi, "CM_Get_Parent", g_api.getParent);
    take(m_setupApi, "CMP_WaitNoPendingInstallEvents", g_api.waitNoPending);

    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = m_hidGuid;
    m_notification = RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);

    m_changeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_quitEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_allAnnounced = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!m_changeEvent || !m_quitEvent || !m_allAnnounced)
        return false;
    m_running.store(true);
    m_enumerationThread = std::thread([this] { enumeration_thread(); });
    m_notificationThread = std::thread([this] { notification_thread(); });
    return true;
}

void Enumerator::enumeration_thread()
{
    {
        std::lock_guard<std::mutex> lock(m_enumerateMutex);
        enumerate_all();
    }
    const HANDLE waits[2] = {m_allAnnounced, m_quitEvent};
    const DWORD w = WaitForMultipleObjects(2, waits, FALSE, Timing::scaled(kFirstEnumerationWaitMs));
    if (w == WAIT_OBJECT_0 + 1) {
        SetEvent(m_quitEvent);  // keep it for the notification thread
        return;
    }
    EventHolder::instance().fire(0, QV_EVENT_ENUMERATION_COMPLETE, 0);
    m_firstDone.store(true);
    DfuManager::instance().request_check();
}

void Enumerator::notification_thread()
{
    const HANDLE waits[2] = {m_quitEvent, m_changeEvent};
    for (;;) {
        const DWORD w = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (w != WAIT_OBJECT_0 + 1)
            return;
        if (g_api.waitNoPending)
            g_api.waitNoPending(Timing::scaled(30000));
        std::lock_guard<std::mutex> lock(m_enumerateMutex);
        enumerate_all();
    }
}

void Enumerator::stop()
{
    if (m_notification) {
        UnregisterDeviceNotification(m_notification);
        m_notification = nullptr;
    }
    if (m_quitEvent)
        SetEvent(m_quitEvent);
    // Threads end on the quit event; they are joined, never terminated.
    if (m_enumerationThread.joinable())
        m_enumerationThread.join();
    if (m_notificationThread.joinable())
        m_notificationThread.join();
    std::vector<std::uint64_t> all;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        for (auto it = m_table.rbegin(); it != m_table.rend(); ++it)
            if (it->second)
                all.push_back(it->first);
    }
    // Paired devices first (their handles come from other parent bytes): remove() takes children along.
    for (std::uint64_t h : all)
        remove(h);
}

void Enumerator::enumerate_all()
{
    HDEVINFO set = g_api.getClassDevs(&m_hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE || set == nullptr)
        return;
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA itf{};
        itf.cbSize = sizeof itf;
        if (!g_api.enumInterfaces(set, nullptr, &m_hidGuid, i, &itf))
            break;
        DWORD size = 0;
        g_api.getDetail(set, &itf, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<std::uint8_t> storage(size + sizeof(WCHAR), 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = 8;
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!g_api.getDetail(set, &itf, detail, size, nullptr, &info))
            continue;
        const std::size_t chars = (size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(WCHAR);
        const WString path(detail->DevicePath, wide_length(detail->DevicePath, chars));
        on_interface(set, info, path);
    }
    g_api.destroyList(set);
}

void Enumerator::on_interface(HDEVINFO, SP_DEVINFO_DATA& info, const WString& path)
{
    if (find(0, info.DevInst))
        return;
    // A path that cannot be held whole is left alone rather than cut.
    if (path.size() + 6 >= MAX_PATH)
        return;
    const WString open = path + QV_W("\\QVAPI");
    HANDLE file = CreateFileW(open.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    bool kept = false;
    if (g_api.getAttributes(file, &attributes))
        kept = on_hid_interface(info.DevInst, file, path, attributes);
    if (!kept)
        CloseHandle(file);
}

bool Enumerator::on_hid_interface(DWORD devInst, HANDLE file, const WString& path, const HIDD_ATTRIBUTES& attributes)
{
    ProductRow row;
    if (attributes.VendorID != quillon::ids::kVendorId || !product_row(attributes.ProductID, row) || row.kind == 7)
        return false;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!g_api.getPreparsed(file, &preparsed))
        return false;
    HIDP_CAPS caps{};
    bool kept = false;
    if (g_api.getCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
        if (caps.UsagePage == 0xFF00 && (caps.Usage == 1 || caps.Usage == 2))
            kept = on_tsl_arrival(devInst, file, path, attributes, preparsed, caps);
        else if (caps.UsagePage == 0xFFB0 && caps.Usage == 1)
            kept = on_hid_arrival(devInst, file, path, attributes, preparsed, caps);
    }
    g_api.freePreparsed(preparsed);
    return kept;
}

std::uint8_t Enumerator::report_id_of(PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps)
{
    if (caps.NumberInputButtonCaps == 0)
        return 255;
    std::vector<HIDP_BUTTON_CAPS> buttons(caps.NumberInputButtonCaps);
    USHORT count = caps.NumberInputButtonCaps;
    if (g_api.getButtonCaps(HidP_Input, buttons.data(), &count, preparsed) != HIDP_STATUS_SUCCESS || count == 0)
        return 255;
    return buttons[0].ReportID;
}

HDEVNOTIFY Enumerator::register_handle(HANDLE file)
{
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof filter;
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = file;
    return RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

bool Enumerator::on_tsl_arrival(DWORD devInst, HANDLE file, const WString& path, const HIDD_ATTRIBUTES& attributes,
                                PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps)
{
    DEVINST parent = 0;
    if (!g_api.getParent || g_api.getParent(&parent, devInst, 0) != CR_SUCCESS)
        parent = 0;
    ProductRow row;
    if (!product_row(attributes.ProductID, row))
        return false;
    DeviceRef ref;
    if (const std::uint64_t h = parent ? find(0, parent) : 0)
        ref = lookup(h);
    if (!ref) {
        if (row.kind == 7 || row.kind > 10)
            return false;
        switch (row.kind) {
        case 0: case 2: case 3: case 4: case 9: case 10: break;
        default: return false;
        }
        auto* receiver = new CReceiver(this, static_cast<int>(row.kind), parent);
        const std::uint64_t h = add(receiver, 0xFF);
        ref = lookup(h);
        if (!ref)
            return false;
    }
    auto* receiver = ref.as<CReceiver>();
    if (!receiver)
        return false;
    const std::uint8_t reportId = report_id_of(preparsed, caps);
    if (receiver->has_report_id(reportId))
        return false;
    HDEVNOTIFY notify = register_handle(file);
    if (!receiver->open_collection(devInst, file, notify, path, caps, reportId)) {
        if (notify)
            UnregisterDeviceNotification(notify);
        return false;
    }
    const unsigned open = receiver->open_mask();
    if ((open & row.mask) == row.mask && !receiver->info().Name[0]) {
        receiver->identity(attributes);
        if (receiver->start())
            receiver->discover();
    }
    return true;
}

bool Enumerator::on_hid_arrival(DWORD devInst, HANDLE file, const WString& path, const HIDD_ATTRIBUTES& attributes,
                                PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps)
{
    if (find(0, devInst))
        return false;
    auto* device = new CHidDevice(this, devInst);
    const std::uint64_t h = add(device, 0xFF);
    // Its removal must be seen, or its next arrival would be refused as a duplicate.
    device->init(file, register_handle(file), report_id_of(preparsed, caps), caps.OutputReportByteLength,
                 caps.InputReportByteLength, attributes, path);
    if (device->start() && bootloaderExpected.load() != 0) {
        lastBootloader.store(h);
        DfuManager::instance().signal(DfuManager::kReceiverInBootloader);
    }
    return true;
}

LRESULT Enumerator::window_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE && lParam) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        if (header->dbch_devicetype == DBT_DEVTYP_HANDLE &&
            (wParam == DBT_DEVICEQUERYREMOVE || wParam == DBT_DEVICEREMOVEPENDING || wParam == DBT_DEVICEREMOVECOMPLETE)) {
            remove_by_file(reinterpret_cast<const DEV_BROADCAST_HANDLE*>(lParam)->dbch_handle);
        } else if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
                   (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEQUERYREMOVEFAILED)) {
            if (m_changeEvent)
                SetEvent(m_changeEvent);
        }
        return TRUE;
    }
    if (message == kRemovalMessage) {
        remove_by_file(reinterpret_cast<HANDLE>(wParam));
        return 0;
    }
    if (message == WM_TIMER) {
        DeviceRef ref = lookup(static_cast<std::uint64_t>(wParam));
        if (auto* receiver = ref.as<CReceiver>())
            receiver->discovery_tick();
        else
            KillTimer(hwnd, wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Enumerator::remove_by_file(HANDLE file)
{
    if (const std::uint64_t h = find(-2, reinterpret_cast<std::uint64_t>(file)))
        remove(h);
    purge();
}

}  // namespace qv
