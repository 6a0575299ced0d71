#include "cDFUDeviceProvider.h"

#include "cDevioDevice.h"
#include "cQVDevice.h"

#include "core/CDevio.h"
#include "core/Timer.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "quillon/ProductIds.h"

#include <quillon/WideText.h>
#include <versionhelpers.h>

#include <algorithm>
#include <future>

namespace {

const WCHAR kWindowClass[] = QUILLON_W("Tarn_DFUAPI_MainWindow");

std::mutex g_instance_engine_mutex;
std::shared_ptr<IQVEngine> g_instance_engine;

bool is_provider_receiver(std::uint32_t productId)
{
    for (std::uint16_t id : quillon::ids::kProviderReceiverIds)
        if (id == productId)
            return true;
    return false;
}

} // namespace

DfuCallbackRegistration& DfuCallbackRegistration::instance()
{
    static DfuCallbackRegistration registration;
    return registration;
}

void DfuCallbackRegistration::set(DFU_Callback callback, void* context)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_callback = callback;
    m_context = context;
}

void DfuCallbackRegistration::notify(DFU_DEVICE device, DFU_EVENTTYPE event, int parameter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_callback)
        m_callback(m_context, device, event, parameter);
}

cDFUDeviceProvider::cDFUDeviceProvider(std::shared_ptr<IQVEngine> engine, DfuCallbackRegistration& registration)
    : m_engine(std::move(engine)), m_registration(registration)
{
}

cDFUDeviceProvider::~cDFUDeviceProvider()
{
    devio::Subscriber<devio::IRunLoopManager::RunLoopEvent>::stop_deliveries();
    devio::Subscriber<devio::IDeviceManager::ArrivalRemoval>::stop_deliveries();
    devio::Subscriber<devio::ITimer::TimerEvent>::stop_deliveries();
    if (m_thread.joinable()) {
        if (HWND window = m_window.load())
            PostMessageW(window, WM_CLOSE, 0, 0);
        m_thread.join();
    }
    if (m_receiverTimer)
        m_receiverTimer->stop();
    m_pendingReceiver.reset();
    std::vector<std::shared_ptr<cDFUDevice>> devices, engineDevices;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        devices.swap(m_devices);
        engineDevices.swap(m_engineDevices);
    }
}

cDFUDeviceProvider& cDFUDeviceProvider::instance()
{
    // The facade is made first so that it outlives the provider, whose thread closes it at
    // the end of the process.
    devio::CDevio::instance();
    static cDFUDeviceProvider provider([] {
        std::lock_guard<std::mutex> lock(g_instance_engine_mutex);
        return g_instance_engine ? g_instance_engine : realQVEngine();
    }());
    return provider;
}

void cDFUDeviceProvider::useEngineForInstance(std::shared_ptr<IQVEngine> engine)
{
    std::lock_guard<std::mutex> lock(g_instance_engine_mutex);
    g_instance_engine = std::move(engine);
}

void cDFUDeviceProvider::start()
{
    std::call_once(m_started, [this] {
        // Returns once the window exists (or could not be made), so a provider ended at
        // once still finds the window to close.
        std::promise<void> ready;
        std::future<void> made = ready.get_future();
        m_thread = std::thread([this, &ready] { threadMain(&ready); });
        made.wait();
    });
}

void cDFUDeviceProvider::threadMain(std::promise<void>* windowReady)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &cDFUDeviceProvider::windowProc;
    windowClass.lpszClassName = kWindowClass;
    // A second provider in the same process finds the class already there.
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, kWindowClass, WS_POPUP, 0, 0, 0, 0, nullptr,
                                  nullptr, nullptr, this);
    if (window) {
        m_window.store(window);
        ShowWindow(window, SW_HIDE);
    }
    windowReady->set_value();

    devio::CDevio& facade = devio::CDevio::instance();
    if (window) {
        facade.setConfig(devio::ConfigUsbHid, true);
        facade.setConfig(devio::ConfigReceivers, true);
        const bool windows10 = IsWindowsVersionOrGreater(10, 0, 0);
        facade.setConfig(devio::ConfigBluetoothLE, windows10);
        facade.setConfig(devio::ConfigWinRTBluetooth, windows10);

        std::shared_ptr<devio::DeviceManager> manager = facade.get_or_create_manager();
        if (manager) {
            devio::Subscriber<devio::IRunLoopManager::RunLoopEvent>::subscribe(
                manager, 1, "cDFUDeviceProvider::RunLoopEvent");
            devio::Subscriber<devio::IDeviceManager::ArrivalRemoval>::subscribe(manager, 0, "");
            m_receiverTimer = std::make_shared<devio::Timer>(std::weak_ptr<devio::IRunLoopManager>(manager), 0);
            devio::Subscriber<devio::ITimer::TimerEvent>::subscribe(m_receiverTimer, 0, "");
        }
        for (const auto& device : facade.getDevices())
            onDeviceArrival(device);
        if (m_engine)
            m_engine->init(&cDFUDeviceProvider::engineCallback, this);

        MSG message;
        for (;;) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == 0 || got == -1)
                break;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        m_window.store(nullptr);
    }
    facade.close();
    if (m_engine)
        m_engine->shutdown();
}

LRESULT CALLBACK cDFUDeviceProvider::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* provider = reinterpret_cast<cDFUDeviceProvider*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!provider)
        return 0;
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_DFUAPI_RUNLOOP:
        devio::CDevio::instance().process();
        return 0;
    case WM_DFUAPI_ENGINE_EVENT: {
        const auto packed = static_cast<std::uint64_t>(lParam);
        const auto event = static_cast<std::uint32_t>((packed >> 16) & 0xFF);
        const auto value = static_cast<std::uint32_t>(packed & 0xFF00FFFFu);
        provider->onEngineEvent(static_cast<std::int64_t>(wParam), event, value);
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

int cDFUDeviceProvider::engineCallback(void* context, std::uint64_t handle, std::uint32_t event,
                                       std::uint64_t value)
{
    auto* provider = static_cast<cDFUDeviceProvider*>(context);
    if (!provider)
        return 1;
    if (HWND window = provider->m_window.load()) {
        const auto shifted = static_cast<std::int64_t>(static_cast<std::int32_t>(event << 16));
        const auto lParam = static_cast<LPARAM>(static_cast<std::uint64_t>(shifted) | value);
        PostMessageW(window, WM_DFUAPI_ENGINE_EVENT, static_cast<WPARAM>(handle), lParam);
    }
    return 1;
}

void cDFUDeviceProvider::startDetection() { devio::CDevio::instance().setConfig(devio::ConfigDetection, true); }

std::shared_ptr<cDFUDevice> cDFUDeviceProvider::findDevice(DFU_DEVICE device)
{
    if (device == 0)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& adapter : m_devices)
        if (adapter->handle() == device)
            return adapter;
    for (const auto& adapter : m_engineDevices)
        if (adapter->handle() == device)
            return adapter;
    return nullptr;
}

std::shared_ptr<cQVDevice> cDFUDeviceProvider::findEngineDevice(std::int64_t engineHandle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& adapter : m_engineDevices) {
        auto qv = std::static_pointer_cast<cQVDevice>(adapter);
        if (qv->engineHandle() == engineHandle)
            return qv;
    }
    return nullptr;
}

std::size_t cDFUDeviceProvider::deviceCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_devices.size() + m_engineDevices.size();
}

void cDFUDeviceProvider::notify(DFU_DEVICE device, DFU_EVENTTYPE event, int parameter)
{
    m_registration.notify(device, event, parameter);
}

void cDFUDeviceProvider::onRunLoopEvent()
{
    if (HWND window = m_window.load())
        PostMessageW(window, WM_DFUAPI_RUNLOOP, 0, 0);
}

void cDFUDeviceProvider::onDeviceArrival(std::shared_ptr<devio::IDevice> device)
{
    if (!device || is_provider_receiver(device->getProductId()))
        return;
    // A device the adoption step found may also come as a queued arrival: one adapter each.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (adapter_for(device) != m_devices.end())
            return;
    }
    DfuAdapterHost host;
    host.notify = [this](DFU_DEVICE d, DFU_EVENTTYPE e, int p) { notify(d, e, p); };
    // The construction asks the device for its name and firmware, which takes as long as its
    // replies do: it runs without the lock, so the window's API calls are not held up. A
    // removal of the device is handled on this thread too, after this handler.
    std::shared_ptr<cDFUDevice> adapter = std::make_shared<cDevioDevice>(device, std::move(host));
    std::unique_lock<std::mutex> lock(m_mutex);
    if (adapter_for(device) != m_devices.end()) {
        lock.unlock();
        adapter.reset();
        return;
    }
    m_devices.push_back(adapter);
    notify(adapter->handle(), DFU_EVENT_DEVICE_ARRIVAL, 0);
}

std::vector<std::shared_ptr<cDFUDevice>>::iterator
cDFUDeviceProvider::adapter_for(const std::shared_ptr<devio::IDevice>& device)
{
    return std::find_if(m_devices.begin(), m_devices.end(), [&](const std::shared_ptr<cDFUDevice>& adapter) {
        return std::static_pointer_cast<cDevioDevice>(adapter)->isDevice(device);
    });
}

void cDFUDeviceProvider::onDeviceRemoval(std::shared_ptr<devio::IDevice> device)
{
    std::shared_ptr<cDFUDevice> removed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = adapter_for(device);
        if (it == m_devices.end())
            return;
        removed = *it;
        notify(removed->handle(), DFU_EVENT_DEVICE_REMOVAL, 0);
        m_devices.erase(it);
    }
    // The adapter ends here, outside the lock (it lets go of its device), unless an API call
    // still holds it; mid-update it reports the failure itself, after the removal.
    removed.reset();
}

void cDFUDeviceProvider::onTimerEvent(int id)
{
    if (id == 0 && m_pendingReceiver)
        finishPendingReceiver();
}

void cDFUDeviceProvider::finishPendingReceiver()
{
    std::shared_ptr<cQVDevice> pending = std::move(m_pendingReceiver);
    m_pendingReceiver.reset();
    if (!pending)
        return;
    notify(pending->handle(), DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED);
    if (m_receiverTimer)
        m_receiverTimer->stop();
    notify(pending->handle(), DFU_EVENT_DEVICE_REMOVAL, 0);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_engineDevices.erase(std::remove(m_engineDevices.begin(), m_engineDevices.end(),
                                      std::static_pointer_cast<cDFUDevice>(pending)),
                          m_engineDevices.end());
}

void cDFUDeviceProvider::endEngineUpdate(const std::shared_ptr<cQVDevice>& adapter, int status)
{
    adapter->setUpdateRunning(false);
    notify(adapter->handle(), DFU_EVENT_STATUS, status);
}

void cDFUDeviceProvider::onEngineEvent(std::int64_t engineHandle, std::uint32_t event, std::uint32_t value)
{
    switch (event) {
    case QV_EVENT_DEVICE_ARRIVAL: {
        QV_DEVICE_INFO record{};
        if (!m_engine || m_engine->getDeviceInfo(engineHandle, &record) != 0)
            return;
        if (record.DevType != QV_DEVTYPE_RECEIVER && record.DevType != QV_DEVTYPE_BOOTLOADER)
            return;
        auto adapter = std::make_shared<cQVDevice>(engineHandle, m_engine);
        if (m_pendingReceiver && record.DevType == QV_DEVTYPE_RECEIVER)
            finishPendingReceiver();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_engineDevices.push_back(adapter);
        notify(adapter->handle(), DFU_EVENT_DEVICE_ARRIVAL, 0);
        return;
    }
    case QV_EVENT_DEVICE_REMOVAL: {
        auto adapter = findEngineDevice(engineHandle);
        if (!adapter || adapter == m_pendingReceiver)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        notify(adapter->handle(), DFU_EVENT_DEVICE_REMOVAL, 0);
        m_engineDevices.erase(std::remove(m_engineDevices.begin(), m_engineDevices.end(),
                                          std::static_pointer_cast<cDFUDevice>(adapter)),
                              m_engineDevices.end());
        return;
    }
    case QV_EVENT_ENUMERATION_COMPLETE:
        notify(0, DFU_EVENT_ENUMERATION_COMPLETE, 0);
        return;
    case QV_EVENT_DFU_PROGRESS:
        if (auto adapter = findEngineDevice(engineHandle))
            notify(adapter->handle(), DFU_EVENT_PROGRESS, static_cast<int>(value));
        return;
    case QV_EVENT_DFU_STATUS_CHANGED: {
        auto adapter = findEngineDevice(engineHandle);
        if (!adapter)
            return;
        switch (value) {
        case QV_DFU_FAILED:
            endEngineUpdate(adapter, DFU_STATUS_FAILED);
            return;
        case QV_DFU_SUCCEEDED:
            adapter->setUpdateRunning(false);
            m_pendingReceiver = adapter;
            if (m_receiverTimer)
                m_receiverTimer->start(devio::Timing::scaled(kPendingReceiverMs));
            return;
        case QV_DFU_NO_NEWER_FW:
        case QV_DFU_NEWER_FW_AVAILABLE:
        case QV_DFU_NO_FW_UPDATE:
        case QV_DFU_CRITICAL_ERROR:
            // An update of ours that ends any other way than success has failed; outside
            // one, these are the engine's own firmware checks.
            if (adapter->updateRunning())
                endEngineUpdate(adapter, DFU_STATUS_FAILED);
            return;
        default:
            return;
        }
    }
    default:
        return;
    }
}
