// The process-wide object behind the DFU API: one adapter per device, the provider thread
// that hosts the devio run loop and receives the QV engine's events, and the mapping of both
// stacks' events to DFU events.
#pragma once

#include "DfuApi.h"
#include "QVEngine.h"
#include "cDFUDevice.h"

#include "core/IDeviceManager.h"
#include "core/ITimer.h"
#include "core/Subscriber.h"

#include <windows.h>

#include <atomic>
#include <future>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace devio {
class IDevice;
class Timer;
}
class cDevioDevice;
class cQVDevice;

// The event callback and its context. Every event is delivered under its mutex.
class DfuCallbackRegistration {
public:
    static DfuCallbackRegistration& instance();
    void set(DFU_Callback callback, void* context);
    void notify(DFU_DEVICE device, DFU_EVENTTYPE event, int parameter);

private:
    std::mutex m_mutex;
    DFU_Callback m_callback = nullptr;
    void* m_context = nullptr;
};

class cDFUDeviceProvider : public devio::Subscriber<devio::IRunLoopManager::RunLoopEvent>,
                           public devio::Subscriber<devio::IDeviceManager::ArrivalRemoval>,
                           public devio::Subscriber<devio::ITimer::TimerEvent> {
public:
    static constexpr UINT WM_DFUAPI_RUNLOOP = WM_USER + 1;
    static constexpr UINT WM_DFUAPI_ENGINE_EVENT = WM_USER + 2;
    static constexpr unsigned kPendingReceiverMs = 5000;

    explicit cDFUDeviceProvider(std::shared_ptr<IQVEngine> engine,
                                DfuCallbackRegistration& registration = DfuCallbackRegistration::instance());
    ~cDFUDeviceProvider() override;
    cDFUDeviceProvider(const cDFUDeviceProvider&) = delete;
    cDFUDeviceProvider& operator=(const cDFUDeviceProvider&) = delete;

    // The process's provider, over the engine library unless a test named another first.
    static cDFUDeviceProvider& instance();
    static void useEngineForInstance(std::shared_ptr<IQVEngine> engine);

    // Starts the provider thread; later calls do nothing.
    void start();
    void startDetection();
    std::shared_ptr<cDFUDevice> findDevice(DFU_DEVICE device);
    std::shared_ptr<cQVDevice> findEngineDevice(std::int64_t engineHandle);
    void notify(DFU_DEVICE device, DFU_EVENTTYPE event, int parameter);
    static int engineCallback(void* context, std::uint64_t handle, std::uint32_t event, std::uint64_t value);

    // Test view: the hidden window once the thread made it (null before), and the adapters.
    HWND window() const { return m_window.load(); }
    std::size_t deviceCount();

    void onRunLoopEvent() override;
    void onDeviceArrival(std::shared_ptr<devio::IDevice> device) override;
    void onDeviceRemoval(std::shared_ptr<devio::IDevice> device) override;
    void onTimerEvent(int id) override;
    void onEngineEvent(std::int64_t engineHandle, std::uint32_t event, std::uint32_t value);

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void threadMain(std::promise<void>* windowReady);
    // Under the provider mutex: the protocol-device adapter that holds this device object, or end.
    std::vector<std::shared_ptr<cDFUDevice>>::iterator adapter_for(const std::shared_ptr<devio::IDevice>& device);
    void finishPendingReceiver();
    void endEngineUpdate(const std::shared_ptr<cQVDevice>& adapter, int status);

    const std::shared_ptr<IQVEngine> m_engine;
    DfuCallbackRegistration& m_registration;
    std::atomic<HWND> m_window{nullptr};

    // Provider mutex: both lists. Notifications of arrivals and protocol-device removals
    // happen under it; nothing that waits on a device does.
    std::mutex m_mutex;
    std::vector<std::shared_ptr<cDFUDevice>> m_devices;        // cDevioDevice, arrival order
    std::vector<std::shared_ptr<cDFUDevice>> m_engineDevices;  // cQVDevice, arrival order

    std::once_flag m_started;
    std::thread m_thread;

    // Provider thread only.
    std::shared_ptr<devio::Timer> m_receiverTimer;
    std::shared_ptr<cQVDevice> m_pendingReceiver;
};
