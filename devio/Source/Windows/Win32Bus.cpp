#include "Windows/Win32Bus.h"

#include "Windows/Win32Device.h"
#include "Windows/Win32System.h"
#include "core/ErrorRecord.h"
#include "core/IDeviceManager.h"

#include <quillon/WideText.h>
#include <devpkey.h>
#include <setupapi.h>

#include <cstring>

namespace devio {

namespace {

const WCHAR kWindowClass[] = QUILLON_W("Tarn_Devio_MainWindow");

std::mutex& makers_mutex()
{
    static std::mutex& mutex = *new std::mutex;  // never destroyed: threads may still use it at exit
    return mutex;
}

BluetoothBusMakers& makers()
{
    static BluetoothBusMakers& value = *new BluetoothBusMakers;
    return value;
}

bool text_equals(const WCHAR* text, const char* ascii)
{
    std::size_t i = 0;
    for (; ascii[i]; ++i)
        if (text[i] != static_cast<WCHAR>(ascii[i]))
            return false;
    return text[i] == 0;
}

// Removes the set on every way out.
struct InfoSet {
    IWin32System* system;
    HDEVINFO set;
    ~InfoSet()
    {
        if (set != INVALID_HANDLE_VALUE && set != nullptr)
            system->SetupDiDestroyDeviceInfoList(set);
    }
};

} // namespace

void Win32Bus::setBluetoothMakers(BluetoothBusMakers value)
{
    std::lock_guard<std::mutex> lock(makers_mutex());
    makers() = std::move(value);
}

std::shared_ptr<IHardwareBus> make_platform_bus(std::shared_ptr<IDeviceManager> manager)
{
    return Win32Bus::create(std::move(manager));
}

std::shared_ptr<Win32Bus> Win32Bus::create(std::shared_ptr<IDeviceManager> manager)
{
    auto bus = std::make_shared<Win32Bus>(std::move(manager));
    bus->makeBluetoothBuses();
    return bus;
}

Win32Bus::Win32Bus(std::shared_ptr<IDeviceManager> manager) : m_manager(manager)
{
    if (manager)
        set_run_loop(std::weak_ptr<IRunLoopManager>(manager));
}

Win32Bus::~Win32Bus()
{
    const HWND window = m_window.load();
    if (m_window_thread && m_window_thread->joinable() &&
        m_window_thread->get_id() == std::this_thread::get_id()) {
        // Dropped from a handler on the window thread: nothing of ours may run after this.
        if (m_window_alive)
            m_window_alive->store(false);
        if (window)
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        ::PostQuitMessage(0);
        m_window_thread->detach();
        return;
    }
    if (window)
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (m_window_thread && m_window_thread->joinable()) {
        try {
            m_window_thread->join();
        } catch (...) {
            m_window_thread.release();  // a thread that cannot be joined must not be destroyed
        }
    }
}

void Win32Bus::makeBluetoothBuses()
{
    bool classic = false, le = false, gatt = false, winrt = false;
    if (auto manager = m_manager.lock()) {
        manager->getConfig(ConfigItem(0), &classic);
        manager->getConfig(ConfigItem(1), &le);
        manager->getConfig(ConfigItem(2), &gatt);
        manager->getConfig(ConfigItem(3), &winrt);
    } else {
        set_last_error(72);
    }
    m_secondary_le_allowed = winrt;
    BluetoothBusMakers m;
    {
        std::lock_guard<std::mutex> lock(makers_mutex());
        m = makers();
    }
    auto self = shared_from_this();
    if (winrt && m.runtimeAvailable && m.runtimeAvailable() && m.makeRuntimeBus) {
        try {
            m_winrt_bus = m.makeRuntimeBus(self, le);
            if (m_winrt_bus)
                return;
        } catch (const DevioException&) {
        }
    }
    if (m.makeMicrosoftBus) {
        BluetoothBusMakers::DeviceChangeForward forward;
        if (auto bus = m.makeMicrosoftBus(self, classic || le, forward)) {
            m_bluetooth_buses.push_back(bus);
            m_bluetooth_forwards.push_back(forward);
        }
    }
    if ((le || gatt) && m.makeGattBus)
        if (auto bus = m.makeGattBus(self))
            m_gatt_buses.push_back(bus);
}

std::vector<std::shared_ptr<IBluetoothBus>> Win32Bus::getBluetoothBuses()
{
    return m_bluetooth_buses;
}

std::vector<std::shared_ptr<IHardwareBus>> Win32Bus::getSecondaryBuses()
{
    if (m_winrt_bus)
        return {m_winrt_bus};
    std::vector<std::shared_ptr<IHardwareBus>> result;
    if (m_secondary_le_allowed)
        result.assign(m_gatt_buses.begin(), m_gatt_buses.end());
    return result;
}

std::shared_ptr<IWin32System> Win32Bus::makeSystem()
{
    return std::make_shared<Win32System>();
}

bool Win32Bus::on_subscribe(IHardwareBus::PlugUnplug*)
{
    try {
        start();
    } catch (const DevioException& e) {
        e.to_last_error();
        return false;
    }
    return true;
}

void Win32Bus::start(HWND* window, std::shared_ptr<IWin32System>* system)
{
    std::lock_guard<std::mutex> lock(m_start_mutex);
    if (!m_started) {
        m_system = makeSystem();
        m_system->HidD_GetHidGuid(&m_hid_class);
        {
            std::lock_guard<std::mutex> ready(m_ready_mutex);
            m_window_ready = false;
        }
        m_window_alive = std::make_shared<std::atomic<bool>>(true);
        auto alive = m_window_alive;
        m_window_thread = std::make_unique<std::thread>([this, alive]() { window_thread_static(this, alive); });
        std::unique_lock<std::mutex> ready(m_ready_mutex);
        m_ready_condition.wait(ready, [this]() { return m_window_ready; });
        m_started = true;
    }
    if (window)
        *window = m_window.load();
    if (system)
        *system = m_system;
}

void Win32Bus::set_ready()
{
    {
        std::lock_guard<std::mutex> lock(m_ready_mutex);
        m_window_ready = true;
    }
    m_ready_condition.notify_all();
}

void Win32Bus::window_thread_static(Win32Bus* bus, std::shared_ptr<std::atomic<bool>> alive)
{
    try {
        bus->window_thread();
    } catch (...) {
        set_last_error(62);
        if (alive->load()) {
            if (auto manager = bus->m_manager.lock())
                manager->reportError("Win32Bus::window_thread_static");
        }
    }
    // Whatever happened, nobody may wait for the window for ever.
    if (alive->load())
        bus->set_ready();
}

void Win32Bus::window_thread()
{
    const std::shared_ptr<std::atomic<bool>> alive = m_window_alive;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &Win32Bus::window_procedure;
    windowClass.lpszClassName = kWindowClass;
    // A second bus (after a configuration change) finds the class registered already.
    if (!::RegisterClassW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw DevioException("could not create window", 41, ::GetLastError());
    HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, kWindowClass, WS_POPUP, 0, 0, 0, 0, nullptr,
                                    nullptr, nullptr, this);
    if (!window)
        throw DevioException("could not create window", 41, ::GetLastError());
    m_window.store(window);
    ::ShowWindow(window, SW_HIDE);

    DeviceNotificationRequest request;
    request.kind = 0;
    request.op = 0;
    request.interfaceClass = m_hid_class;
    handle_request(request);
    if (!request.interfaceNotification) {
        set_last_error(63, request.platformError);
        if (auto manager = m_manager.lock())
            manager->reportError("Win32Bus::window_thread");
    }
    set_ready();

    MSG message;
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (!alive->load())
        return;
    for (HDEVNOTIFY n : m_interface_notifications)
        ::UnregisterDeviceNotification(n);
    m_interface_notifications.clear();
    std::map<HDEVNOTIFY, HANDLE> copy;
    {
        std::lock_guard<std::mutex> lock(m_notification_mutex);
        copy = m_handle_notifications;
    }
    for (const auto& entry : copy) {
        std::lock_guard<std::mutex> lock(m_notification_mutex);
        auto it = m_handle_notifications.find(entry.first);
        if (it == m_handle_notifications.end())
            continue;
        if (it->second != INVALID_HANDLE_VALUE)
            ::CloseHandle(it->second);
        ::UnregisterDeviceNotification(it->first);
        m_handle_notifications.erase(it);
    }
}

LRESULT Win32Bus::window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (create)
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        // Creation goes on only when the default handling agrees.
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    auto* bus = reinterpret_cast<Win32Bus*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!bus)
        return 0;  // before creation, or after the bus let go of its window on this thread
    return bus->handle_message(window, message, wParam, lParam);
}

LRESULT Win32Bus::handle_message(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC)
            Producer<IHardwareBus::PlugUnplug>::notify([](IHardwareBus::PlugUnplug* s) { s->onPowerChange(false); },
                                                       "Win32Bus::PlugUnplug::onPowerChange");
        return 0;
    case WM_DEVICECHANGE:
        try {
            handle_device_change(static_cast<std::uint32_t>(wParam), reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam));
        } catch (...) {
        }
        return 0;
    case WM_USER: {
        // lParam names a record of send_request; one whose sender has given up is not touched.
        auto record = claim_request(reinterpret_cast<DeviceNotificationRequest*>(lParam));
        if (wParam == sizeof(DeviceNotificationRequest) && record && record->size == sizeof(DeviceNotificationRequest)) {
            DeviceNotificationRequest answer = *record;
            handle_request(answer);
            if (!answer_request(record, answer))
                drop_late_answer(answer);
        }
        return 0;
    }
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

bool Win32Bus::isDevicePresent(const std::string& path)
{
    for (const auto& device : enumerate())
        if (device->getPath() == path)
            return true;
    unplugPath(path);
    return false;
}

std::uint64_t Win32Bus::plug_generation(const std::string& path)
{
    std::lock_guard<std::recursive_mutex> lock(m_plug_mutex);
    auto it = m_plug_generations.find(path);
    return it == m_plug_generations.end() ? 0 : it->second;
}

void Win32Bus::reader_lost(const std::string& path, std::uint64_t generation)
{
    // Checked and published under the lock the window thread holds to count and announce an
    // arrival: a report of the old handle is either published before the new device's arrival or
    // not at all. Our subscribers are queued, so the lock is held for posts only.
    std::lock_guard<std::recursive_mutex> lock(m_plug_mutex);
    if (plug_generation(path) != generation)
        return;
    auto removed = m_removed_generations.find(path);
    if (removed != m_removed_generations.end() && removed->second == generation)
        return;  // announced by the window already
    unplugPath(path);
}

void Win32Bus::unplugPath(const std::string& path)
{
    std::shared_ptr<IHardwareDevice> device =
        std::make_shared<Win32Device>(shared_from_this(), m_system, path, ParentUsb);
    Producer<IHardwareBus::PlugUnplug>::notify([device](IHardwareBus::PlugUnplug* s) { s->onUnplug(device); },
                                               "Win32Bus::PlugUnplug::onUnplug");
}

std::vector<std::shared_ptr<IHardwareDevice>> Win32Bus::enumerate()
{
    std::vector<std::shared_ptr<IHardwareDevice>> result;
    try {
        start();
        result = enumerate_interfaces(m_hid_class);
    } catch (const DevioException& e) {
        e.to_last_error();
        return {};
    }
    if (result.empty())
        set_last_error(0);
    return result;
}

std::vector<std::shared_ptr<IHardwareDevice>> Win32Bus::enumerate_interfaces(const GUID& interfaceClass)
{
    std::vector<std::shared_ptr<IHardwareDevice>> result;
    InfoSet set{m_system.get(), m_system->SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr,
                                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
    if (set.set == INVALID_HANDLE_VALUE)
        throw DevioException("SetupDiGetClassDevs failed", 42, ::GetLastError());
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof(iface);
        if (!m_system->SetupDiEnumDeviceInterfaces(set.set, nullptr, &interfaceClass, index, &iface)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NO_MORE_ITEMS)
                break;
            throw DevioException("SetupDiEnumDeviceInterfaces failed", 42, error);
        }
        InterfaceDetail detail;
        switch (read_detail(set.set, iface, detail)) {
        case DetailProbeFailed:
            throw DevioException("SetupDiGetDeviceInterfaceDetail probe failed", 42, detail.error);
        case DetailReadFailed:
            throw DevioException("SetupDiGetDeviceInterfaceDetail failed", 42, detail.error);
        default:
            break;
        }
        const std::string& path = detail.path;
        const std::uint32_t kind = classify(detail.instance);
        if (kind == ParentBluetoothLE && m_winrt_bus)
            continue;
        auto device = std::make_shared<Win32Device>(shared_from_this(), m_system, path, kind);
        if (device->open()) {
            device->close();
            result.push_back(device);
        }
    }
    return result;
}

std::uint32_t Win32Bus::classify(DWORD instance)
{
    DEVINST parent = 0;
    if (m_system->CM_Get_Parent(&parent, instance, 0) != CR_SUCCESS)
        return ParentOther;
    DEVPROPTYPE type = 0;
    ULONG size = 0;
    if (m_system->CM_Get_DevNode_PropertyW(parent, &DEVPKEY_Device_EnumeratorName, &type, nullptr, &size, 0) !=
            CR_BUFFER_SMALL ||
        type != DEVPROP_TYPE_STRING)
        return ParentOther;
    std::vector<std::uint8_t> buffer(size + 1 + sizeof(WCHAR), 0);
    ULONG length = size + 1;
    if (m_system->CM_Get_DevNode_PropertyW(parent, &DEVPKEY_Device_EnumeratorName, &type, buffer.data(), &length, 0) !=
        CR_SUCCESS)
        return ParentOther;
    std::vector<WCHAR> text(buffer.size() / sizeof(WCHAR) + 1, 0);
    std::memcpy(text.data(), buffer.data(), buffer.size() - buffer.size() % sizeof(WCHAR));
    if (text_equals(text.data(), "BTHENUM"))
        return ParentBluetooth;
    if (text_equals(text.data(), "BTHLEDEVICE"))
        return ParentBluetoothLE;
    if (text_equals(text.data(), "USB"))
        return ParentUsb;
    return ParentOther;
}

DWORD Win32Bus::instance_of_interface(const WCHAR* path)
{
    InfoSet set{m_system.get(), m_system->SetupDiGetClassDevsW(&m_hid_class, nullptr, nullptr,
                                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
    if (set.set == INVALID_HANDLE_VALUE || set.set == nullptr)
        return 0;
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof(iface);
    if (!m_system->SetupDiOpenDeviceInterfaceW(set.set, path, 0, &iface))
        return 0;
    InterfaceDetail detail;
    return read_detail(set.set, iface, detail) == DetailRead ? detail.instance : 0;
}

Win32Bus::DetailResult Win32Bus::read_detail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& iface, InterfaceDetail& out)
{
    DWORD required = 0;
    if (!m_system->SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &required, nullptr)) {
        out.error = ::GetLastError();
        if (out.error != ERROR_INSUFFICIENT_BUFFER)
            return DetailProbeFailed;
    }
    // Room for the size field and a terminating NUL even when the probe reports less.
    std::vector<std::uint8_t> storage(required + sizeof(WCHAR) + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W), 0);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    if (!m_system->SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, required, nullptr, &element)) {
        out.error = ::GetLastError();
        return DetailReadFailed;
    }
    out.path = wide_to_lower_utf8(detail->DevicePath);
    out.instance = element.DevInst;
    return DetailRead;
}

void Win32Bus::handle_device_change(std::uint32_t event, const DEV_BROADCAST_HDR* header)
{
    auto self = weak_from_this().lock();  // a direct subscriber may let the bus go meanwhile
    if (!self)
        return;
    // What the Bluetooth and GATT buses get is copied first: a subscriber may change the lists.
    const auto forwards = m_bluetooth_forwards;
    const auto gattBuses = m_gatt_buses;
    const bool arrival = event == DBT_DEVICEARRIVAL || event == DBT_DEVICEQUERYREMOVEFAILED;
    const bool removal =
        event == DBT_DEVICEQUERYREMOVE || event == DBT_DEVICEREMOVEPENDING || event == DBT_DEVICEREMOVECOMPLETE;
    if (header && (arrival || removal)) {
        if (removal && header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
            const auto* handle = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(header);
            std::lock_guard<std::mutex> lock(m_notification_mutex);
            auto it = m_handle_notifications.find(handle->dbch_hdevnotify);
            if (it != m_handle_notifications.end() && it->second != INVALID_HANDLE_VALUE) {
                ::CloseHandle(handle->dbch_handle);
                it->second = INVALID_HANDLE_VALUE;
            }
        } else if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
            const auto* iface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
            if (iface->dbcc_classguid == m_hid_class) {
                const std::string path = wide_to_lower_utf8(iface->dbcc_name);
                const std::uint32_t kind = classify(instance_of_interface(iface->dbcc_name));
                if (kind == ParentBluetoothLE && m_winrt_bus)
                    return;  // reached through the Windows Runtime bus instead
                std::shared_ptr<IHardwareDevice> device =
                    std::make_shared<Win32Device>(shared_from_this(), m_system, path, kind);
                if (arrival) {
                    // Counted and announced under the lock of reader_lost (see there).
                    std::lock_guard<std::recursive_mutex> lock(m_plug_mutex);
                    ++m_plug_generations[path];
                    Producer<IHardwareBus::PlugUnplug>::notify(
                        [device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); }, "Win32Bus::PlugUnplug::onPlug");
                } else {
                    {
                        // From here on a reader's report of this arrival's loss is late (see reader_lost).
                        std::lock_guard<std::recursive_mutex> lock(m_plug_mutex);
                        m_removed_generations[path] = plug_generation(path);
                    }
                    Producer<IHardwareBus::PlugUnplug>::notify(
                        [device](IHardwareBus::PlugUnplug* s) { s->onUnplug(device); },
                        "Win32Bus::PlugUnplug::onUnplug");
                }
            }
        }
    }
    for (auto& forward : forwards)
        if (forward)
            forward(event, header);
    for (auto& bus : gattBuses) {
        try {
            bus->onDeviceChange(event, header);
        } catch (...) {
        }
    }
}

} // namespace devio
