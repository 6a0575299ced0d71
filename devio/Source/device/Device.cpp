// Construction, teardown, lifecycle and event handling of devio::Device.
#include "device/Device.h"
#include "device/DeviceInternal.h"

#include "core/Configuration.h"
#include "core/ErrorRecord.h"
#include "core/IHardwareBus.h"
#include "core/IReceiver.h"
#include "core/Timer.h"
#include "core/Timing.h"
#include "device/DeviceLock.h"
#include "features/Feature.h"
#include "features/FeatureRegistry.h"
#include "features/IFeature0003FirmwareInfo.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <cstdlib>

namespace devio {

namespace {

// Devices whose reports the calling thread is delivering (deliveries can nest).
thread_local std::vector<const Device*> t_delivering;

struct DeliveringReports {
    explicit DeliveringReports(const Device* device) { t_delivering.push_back(device); }
    ~DeliveringReports() { t_delivering.pop_back(); }
    DeliveringReports(const DeliveringReports&) = delete;
    DeliveringReports& operator=(const DeliveringReports&) = delete;
};

// The device may end on one of its own timers' threads (the last reference went with a
// delivery that timer made); that timer has fired already, so there is nothing to stop.
void stop_timer(const std::shared_ptr<ITimer>& timer)
{
    if (!timer)
        return;
    try {
        timer->stop();
    } catch (const std::system_error&) {
    }
}

} // namespace

namespace device_internal {

bool delivering_reports_of(const Device* device)
{
    return std::find(t_delivering.begin(), t_delivering.end(), device) != t_delivering.end();
}

// Ends a request that no worker will serve (28, or 80 when superseded), so its waiters and
// continuations learn it instead of waiting for good.
void end_unserved(const std::shared_ptr<DeviceRequest>& request)
{
    if (request->abandon(request->is_superseded() ? 80 : 28))
        request->run_continuation(request, false);
}

} // namespace device_internal

using device_internal::end_unserved;

std::shared_ptr<Device> Device::create(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hardware,
                                       std::shared_ptr<Configuration> configuration)
{
    return std::make_shared<Device>(std::move(manager), std::move(hardware), std::move(configuration));
}

Device::Device(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hardware,
               std::shared_ptr<Configuration> configuration)
    : m_configuration(std::move(configuration)),
      m_manager(manager),
      m_hardware_device(std::move(hardware)),
      m_queue(std::make_shared<WorkQueue>())
{
    set_run_loop(std::weak_ptr<IRunLoopManager>(manager));
}

Device::~Device()
{
    // Direct deliveries from the hardware run under its producer's lock: leaving its
    // producers first waits for any of them still running.
    Subscriber<IHardwareDevice::Read>::unsubscribe(m_hardware_device);
    Subscriber<IHardwareDevice::FastDisconnect>::unsubscribe(m_hardware_device);
    Subscriber<IHardwareDevice::Write>::unsubscribe(m_hardware_device);
    Subscriber<IHardwareDevice::Connect>::unsubscribe(m_hardware_device);
    // Queued deliveries may be running on the host thread: wait for them before members go.
    Subscriber<IHardwareDevice::Connect>::stop_deliveries();
    Subscriber<IDeviceManager::ActiveChanged>::stop_deliveries();
    Subscriber<IFeature1D4BWirelessStatus::Report>::stop_deliveries();
    Subscriber<ITimer::TimerEvent>::stop_deliveries();
    m_device_gone = true;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        m_retry_delay_condition.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(m_request_mutex);
        m_pending_request.reset();
        m_reply_condition.notify_all();
    }
    if (m_cache_dirty)
        write_response_cache();
    std::list<QueuedContinuation> continuations;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        continuations.swap(m_continuations);
    }
    for (auto& c : continuations)
        c.task(false);
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        m_writes_closed = true;
        m_write_done_condition.notify_all();
        m_retry_delay_condition.notify_all();
        m_waiter_condition.notify_all();
    }
    std::list<std::shared_ptr<DeviceRequest>> unserved;
    {
        std::lock_guard<std::mutex> lock(m_queue->mutex);
        m_queue->stop = true;
        unserved.swap(m_queue->superseded);
        unserved.splice(unserved.end(), m_queue->requests);
    }
    m_queue->condition.notify_all();
    if (m_worker.joinable()) {
        // The worker may hold the last reference: the destructor then runs on it.
        if (m_worker.get_id() == std::this_thread::get_id())
            m_worker.detach();
        else
            m_worker.join();
    }
    // Requests still queued will never be served.
    for (const auto& request : unserved)
        end_unserved(request);
    for (const auto& timer : {m_deactivation_timer, m_cache_write_timer, m_fw_check_timer, m_quarantine_timer})
        stop_timer(timer);
}

// ---------------------------------------------------------------- lifecycle

void Device::initDevice(std::shared_ptr<IDeviceManager> manager)
{
    if (!manager)
        return;
    if (!Subscriber<IDeviceManager::ActiveChanged>::subscribe(manager, 0, ""))
        manager->reportError("Device::initDevice subscribe(IDeviceManager::ActiveChanged)");
    m_notifications_enabled = manager->is_active();

    static const char* const kTimerErrors[4] = {
        "Device::initDevice subscribe(m_deactivation_timer)", "Device::initDevice subscribe(m_cache_write_timer)",
        "Device::initDevice subscribe(m_fw_check_timer)", "Device::initDevice subscribe(m_quarantine_timer)"};
    std::shared_ptr<ITimer>* timers[4] = {&m_deactivation_timer, &m_cache_write_timer, &m_fw_check_timer,
                                          &m_quarantine_timer};
    for (std::uint32_t id = 0; id < 4; ++id) {
        auto timer = std::make_shared<Timer>(std::weak_ptr<IRunLoopManager>(manager), id);
        *timers[id] = timer;
        if (!Subscriber<ITimer::TimerEvent>::subscribe(std::shared_ptr<ITimer>(timer), 0, ""))
            manager->reportError(kTimerErrors[id]);
    }
    bool item9 = false;
    if (manager->getConfig(ConfigUnhashedCache, &item9) && item9)
        m_config_item9 = true;
}

bool Device::subscribe_read()
{
    if (m_read_subscribed)
        return true;
    if (!Subscriber<IHardwareDevice::Read>::subscribe(m_hardware_device, 1, "Device::initDevice subscribe(IHardwareDevice::Read)"))
        return false;
    m_read_subscribed = true;
    return true;
}

bool Device::subscribe_hardware()
{
    if (m_attached)
        return true;
    auto manager = m_manager.lock();
    if (!Subscriber<IHardwareDevice::Connect>::subscribe(m_hardware_device, 0, "")) {
        if (manager)
            manager->reportError("Device::initDevice subscribe(IHardwareDevice::Connect)");
        return false;
    }
    if (!Subscriber<IHardwareDevice::FastDisconnect>::subscribe(m_hardware_device, 1, "")) {
        if (manager)
            manager->reportError("Device::initDevice subscribe(IHardwareDevice::FastDisconnect)");
        return false;
    }
    if (!m_hardware_device->isConnected()) {
        m_connected = false;
        m_attached = true;
        return true;
    }
    if (!subscribe_read()) {
        if (manager)
            manager->reportError("Device::initDevice subscribe(IHardwareDevice::Read)");
        m_hardware_device->open();
    }
    m_connected = m_notifications_enabled.load();
    m_attached = true;
    return true;
}

bool Device::attach()
{
    subscribe_hardware();
    std::uint32_t expected = 0;
    m_connection_state.compare_exchange_strong(expected, m_connected ? 2u : 1u);
    return m_connected;
}

bool Device::on_subscribe(IDevice::Connect*)
{
    return subscribe_hardware();
}

bool Device::on_subscribe(IDevice::WriteReport*)
{
    return Subscriber<IHardwareDevice::Write>::subscribe(m_hardware_device, 1, "Device subscribe(IHardwareDevice::Write)");
}

void Device::close()
{
    m_closed = true;
    Subscriber<IHardwareDevice::Connect>::unsubscribe(m_hardware_device);
    Subscriber<IHardwareDevice::FastDisconnect>::unsubscribe(m_hardware_device);
    Subscriber<IHardwareDevice::Read>::unsubscribe(m_hardware_device);
    m_read_subscribed = false;
    m_attached = false;
    if (auto manager = m_manager.lock())
        Subscriber<IDeviceManager::ActiveChanged>::unsubscribe(manager);
    m_hardware_device->close();
}

bool Device::is_unresponsive() const { return m_unresponsive; }

void Device::set_parameters(std::uint32_t retries, std::uint32_t failureThreshold, std::uint32_t quarantineSeconds)
{
    m_max_retries = retries;
    m_failure_threshold = failureThreshold;
    m_quarantine_seconds = quarantineSeconds;
}

void Device::set_response_timeout(std::uint32_t ms) { m_response_timeout = ms; }

bool Device::is_closed() const { return m_closed; }

std::uint32_t Device::getTransport() const { return m_hardware_device->getTransportType(); }

std::uint32_t Device::getDeviceIndex() const { return m_hardware_device->getSubIndex(); }

std::shared_ptr<IReceiver> Device::getReceiver() const
{
    return std::dynamic_pointer_cast<IReceiver>(m_hardware_device->getBus());
}

std::string Device::getPath() const { return m_hardware_device->getPath(); }

void Device::getPaths(std::vector<std::string>& paths) const
{
    if (m_hardware_device)
        m_hardware_device->appendPaths(paths);
    else
        paths.push_back(getPath());
}

std::uint16_t Device::getProductId() const { return m_hardware_device->getProductId(); }

std::string Device::getName() const { return m_hardware_device->getName(); }

std::shared_ptr<IDataRequest<std::string>> Device::nameRequest() { return m_hardware_device->nameRequest(); }

std::uint64_t Device::forward_hardware_first(std::uintptr_t, std::uintptr_t, std::uintptr_t)
{
    return m_hardware_device->reserved11();
}

std::uint64_t Device::forward_hardware_second(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c)
{
    return m_hardware_device->receiverPassThrough(a, b, c);
}

std::weak_ptr<IDeviceManager> Device::getManager() const { return m_manager; }

void Device::replay_connect()
{
    if (m_attached && m_hardware_device->isConnected())
        handle_connect();
}

std::uint32_t Device::random(std::uint32_t min, std::int32_t max)
{
    const std::int64_t span = static_cast<std::int64_t>(max) - min + 1;
    if (span <= 0)
        return min;
    return min + static_cast<std::uint32_t>(std::rand() % span);
}

bool Device::config_item(std::uint32_t item)
{
    if (m_configuration)
        return m_configuration->get(static_cast<ConfigItem>(item));
    bool value = false;
    if (auto manager = m_manager.lock())
        manager->getConfig(static_cast<ConfigItem>(item), &value);
    return value;
}

// ---------------------------------------------------------------- events

void Device::onRead(std::vector<Byte> report, bool relayed, unsigned a, unsigned b)
{
    const DeliveringReports delivering(this);
    const IDevice::ReportType type = route_report(report, relayed);
    // Most reports have no listener: skip building the delivery.
    if (m_notifications_enabled && Producer<IDevice::Report>::subscriber_count() != 0) {
        Producer<IDevice::Report>::notify(
            [report, a, b, type](IDevice::Report* s) { s->onReport(report, a, b, type); }, "Device::Report::onReport");
    }
}

void Device::onWrite(std::vector<Byte> bytes, ErrorCode error, unsigned value)
{
    if (m_notifications_enabled && Producer<IDevice::WriteReport>::subscriber_count() != 0) {
        Producer<IDevice::WriteReport>::notify(
            [bytes, error, value](IDevice::WriteReport* s) { s->onWriteReport(bytes, error, value); },
            "Device::Report::onWriteReport");
    }
}

// Queued handlers hold the device for their run; one that arrives while the device is being
// destroyed finds no owner and does nothing.
void Device::onConnect(std::shared_ptr<IHardwareDevice>)
{
    if (auto self = weak_from_this().lock())
        handle_connect();
}

void Device::onDisconnect(std::shared_ptr<IHardwareDevice>)
{
    if (auto self = weak_from_this().lock())
        handle_disconnect();
}

void Device::handle_disconnect()
{
    auto self = shared_from_this();
    stop_timer(m_deactivation_timer);
    stop_timer(m_fw_check_timer);
    m_unresponsive = false;
    stop_timer(m_quarantine_timer);
    m_connected = false;
    m_connection_state = 1;
    Producer<IDevice::Connect>::notify([self](IDevice::Connect* s) { s->onDisconnect(self); },
                                       "Device::Connect::onDisconnect");
}

void Device::onFastDisconnect()
{
    m_device_gone = true;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        m_waiter_condition.notify_all();
        m_retry_delay_condition.notify_all();
    }
    std::lock_guard<std::mutex> lock(m_request_mutex);
    m_pending_request.reset();
    m_reply_condition.notify_all();
}

void Device::onActiveChanged(bool active)
{
    auto self = weak_from_this().lock();
    if (!self)
        return;
    if (m_notifications_enabled.exchange(active) == active)
        return;
    if (!m_attached || !m_hardware_device->isConnected())
        return;
    if (active) {
        stop_timer(m_deactivation_timer);
        handle_connect();
    } else {
        handle_disconnect();
        if (has_configured_features() && m_deactivation_timer)
            m_deactivation_timer->start(Timing::scaled(5000));
    }
}

void Device::onTimerEvent(int id)
{
    auto self = weak_from_this().lock();
    if (!self)
        return;
    switch (id) {
    case 0:
        deactivate();
        break;
    case 1:
        write_response_cache();
        break;
    case 2:
        // A Connect put off while the device talked. The timer may fire as the device leaves:
        // before the loss is handled (the hardware already says so) or after it (stopping the
        // timer cannot take back an event already queued). Either way the device is gone, and
        // connecting it would publish it as back and clear the marks of its loss.
        if (m_connected && m_hardware_device->isConnected())
            handle_connect();
        break;
    case 3:
        if (m_unresponsive.exchange(false)) {
            Producer<IDevice::Connect>::notify([self](IDevice::Connect* s) { s->onUnresponsiveTimeout(self); },
                                               "Device::Connect::onUnresponsiveTimeout");
        }
        break;
    default:
        break;
    }
}

} // namespace devio
