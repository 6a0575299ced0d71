#include "device/Device.h"

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

bool delivering_reports_of(const Device* device)
{
    return std::find(t_delivering.begin(), t_delivering.end(), device) != t_delivering.end();
}

std::int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool retry_error_probe(ErrorCode code)
{
    return code == 4 || code == 17 || code == 52 || code == 61 || code == 68;
}

bool retry_error_request(ErrorCode code)
{
    return retry_error_probe(code) || code == 15;
}

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

// Ends a request that no worker will serve (28, or 80 when superseded), so its waiters and
// continuations learn it instead of waiting for good.
void end_unserved(const std::shared_ptr<DeviceRequest>& request)
{
    if (request->abandon(request->is_superseded() ? 80 : 28))
        request->run_continuation(request, false);
}

} // namespace

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
    std::list<std::function<void(bool)>> continuations;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        continuations.swap(m_continuations);
    }
    for (auto& c : continuations)
        c(false);
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

// ---------------------------------------------------------------- routing and software ids

std::uint32_t Device::getSoftwareId()
{
    std::lock_guard<std::mutex> lock(m_software_id_mutex);
    if (m_software_id == 0) {
        if (auto manager = m_manager.lock())
            m_software_id = manager->getSoftwareId() & 0x0F;
    }
    return m_software_id != 0 ? m_software_id : 15;
}

std::uint32_t Device::choose_software_id()
{
    if (m_software_id_collision) {
        std::lock_guard<std::mutex> lock(m_software_id_mutex);
        std::int64_t bound = m_stamp_counter;
        std::uint32_t best = 0;
        for (std::uint32_t id = 1; id <= 15; ++id) {
            if (m_software_id_stamps[id] <= bound) {
                bound = m_software_id_stamps[id];
                best = id;
            }
        }
        if (best != 0)
            m_software_id = best;
        m_software_id_collision = false;
    }
    return getSoftwareId();
}

std::shared_ptr<IFeature> Device::feature_at(std::uint32_t index)
{
    std::lock_guard<std::mutex> lock(m_feature_mutex);
    auto it = m_features_by_index.find(index);
    return it == m_features_by_index.end() ? nullptr : it->second;
}

IDevice::ReportType Device::route_report(std::vector<Byte> report, bool replaceIndex)
{
    {
        std::lock_guard<std::mutex> lock(m_receive_time_mutex);
        m_last_receive_time = now_ns();
    }
    m_silent = false;
    if (report.size() < 7)
        return ReportOther;
    if (replaceIndex)
        report[1] = 0xFF;
    const Byte sub = report[2];
    if (sub == 0x40 || sub == 0x41 || sub == 0x49 || sub == 0x4B)
        return ReportNotification;
    const bool ownIndex = report[1] == 0x00 || report[1] == 0xFF;
    const unsigned function = report[3] >> 4;
    const unsigned softwareId = report[3] & 0x0F;
    if (m_protocol == 2 && ownIndex && softwareId == 0) {
        if (auto feature = std::dynamic_pointer_cast<Feature>(feature_at(sub))) {
            if (m_notifications_enabled)
                feature->onFeatureReport(static_cast<int>(function), std::vector<Byte>(report.begin() + 4, report.end()));
            return ReportNotification;
        }
    }
    {
        std::unique_lock<std::mutex> lock(m_request_mutex);
        if (m_pending_request && m_pending_request->is_response(report)) {
            m_hardware_device->onReply(m_hardware_device->replyToken());
            m_pending_request->set_response(report);
            m_pending_request.reset();
            lock.unlock();  // the worker wakes to a free mutex
            m_reply_condition.notify_all();
            return ReportReply;
        }
        if (getTransport() == TransportReceiver && config_item(ConfigLateReplies) && !m_late_reply_seen &&
            m_last_request && m_last_request->is_response(report)) {
            m_late_reply_seen = true;
            if (m_pending_request) {
                m_pending_request->set_error(4);
                m_pending_request.reset();
                m_reply_condition.notify_all();
            }
            return ReportReply;
        }
    }
    if (!ownIndex)
        return ReportOther;
    if (m_protocol == 2) {
        const bool pingZero = sub == 0 && function == 1 && report[6] == 0;
        if (!pingZero && softwareId == getSoftwareId()) {
            m_software_id_collision = true;
            m_retry_pending = true;
        }
        {
            std::lock_guard<std::mutex> lock(m_software_id_mutex);
            m_software_id_stamps[softwareId] = ++m_stamp_counter;
        }
        if (m_notifications_enabled) {
            if (auto feature = std::dynamic_pointer_cast<Feature>(feature_at(sub)))
                feature->onUnexpectedResponse(function, softwareId, std::vector<Byte>(report.begin() + 4, report.end()));
        }
    }
    return ReportUnmatched;
}

// ---------------------------------------------------------------- request queue

std::shared_ptr<IDeviceRequest> Device::send(std::vector<Byte> command, std::uint32_t kind,
                                             std::vector<unsigned> positions, MergeRule merge, std::int32_t order)
{
    if (m_device_gone && kind == 0)
        return make_device_request_failure(5, nullptr, 0);
    // Callers reach us through raw pointers (handlers, register commands): if another thread
    // drops the last owner meanwhile, the device must outlive this call, not end inside it.
    auto self = weak_from_this().lock();
    if (!self)
        return make_device_request_failure(28, nullptr, 0);
    auto request = std::make_shared<DeviceRequest>(std::weak_ptr<IDeviceRequestHost>(self),
                                                   std::move(command), kind, std::move(positions));
    {
        std::lock_guard<std::mutex> lock(m_queue->mutex);
        auto& queue = m_queue->requests;
        if (merge) {
            // Newest to oldest. The oldest match keeps its place and takes the new command;
            // every newer match is superseded. `kept` starts as "no match yet".
            auto kept = queue.end();
            for (auto it = queue.end(); it != queue.begin();) {
                --it;
                auto& queued = *it;
                if (queued->is_superseded() || !request->is_response(queued->command()))
                    continue;
                if (!merge(queued->params(), request->params()))
                    continue;
                if (kept != queue.end()) {
                    (*kept)->supersede();
                    m_queue->superseded.push_back(*kept);
                    queue.erase(kept);
                }
                kept = it;
            }
            if (kept != queue.end())
                (*kept)->copy_command(*request);
        }
        auto pos = queue.end();
        while (pos != queue.begin()) {
            auto prev = std::prev(pos);
            if (static_cast<std::int32_t>((*prev)->sort_key()) >= order)
                break;
            pos = prev;
        }
        queue.insert(pos, request);
        if (!m_worker.joinable())
            m_worker = std::thread(&Device::worker_main, std::weak_ptr<Device>(shared_from_this()), m_queue);
    }
    m_queue->condition.notify_all();
    return request;
}

void Device::worker_main(std::weak_ptr<Device> weak, std::shared_ptr<WorkQueue> queue)
{
    for (;;) {
        std::shared_ptr<DeviceRequest> request;
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(queue->mutex);
            if (!queue->superseded.empty()) {
                request = queue->superseded.front();
                queue->superseded.pop_front();
            } else {
                queue->condition.wait(lock, [&] { return !queue->requests.empty() || queue->stop; });
                if (queue->stop)
                    return;
                request = queue->requests.front();
                queue->requests.pop_front();
            }
            stopping = queue->stop;
        }
        // Taken off the queue, so the destructor no longer sees it: end it here when the device
        // is going.
        auto device = stopping ? nullptr : weak.lock();
        if (!device) {
            end_unserved(request);
            return;
        }
        try {
            device->process_request(request);
        } catch (const std::system_error&) {
            end_unserved(request);
            return;
        }
        request.reset();
        // The last reference may go here; the destructor then detaches this thread.
        device.reset();
    }
}

bool Device::execute(const std::vector<Byte>& command, std::vector<Byte>& reply, std::uint32_t kind,
                     std::vector<unsigned> positions)
{
    // The reply could only arrive through this very thread: waiting would run out every retry
    // and get the device quarantined.
    if (delivering_reports_of(this)) {
        set_last_error(4, 0, nullptr);
        return false;
    }
    auto self = weak_from_this().lock(); // kept across the wait, for the same reason as in send
    auto request = send(command, kind, std::move(positions), nullptr, 0);
    if (!request->wait())
        return false;
    reply = request->response();
    return true;
}

void Device::stop()
{
    m_stopped = true;
}

void Device::finish(const std::shared_ptr<DeviceRequest>& request)
{
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        request->mark_complete();
    }
    request->run_continuation(request, false);
    // Completion was marked under the mutex: waking the waiters outside it is safe.
    m_waiter_condition.notify_all();
}

void Device::give_up_unresponsive()
{
    const std::uint32_t seconds = m_quarantine_seconds;
    if (seconds == 0)
        return;
    m_unresponsive = true;
    auto self = shared_from_this();
    Producer<IDevice::Connect>::notify([self](IDevice::Connect* s) { s->onUnresponsive(self); },
                                       "Device::Connect::onUnresponsive");
    if (seconds < 4294967u && m_quarantine_timer)
        m_quarantine_timer->start(Timing::scaled(std::uint64_t(seconds) * 1000));
}

std::vector<Byte> Device::cache_key(std::vector<Byte> bytes)
{
    if (bytes.size() > 3)
        bytes[3] = static_cast<Byte>((bytes[3] & 0xFA) | 0x0A);
    return bytes;
}

void Device::process_request(const std::shared_ptr<DeviceRequest>& request)
{
    request->mark_sent();
    if (request->is_superseded()) {
        request->set_error(80);
        finish(request);
        return;
    }
    if (request->kind() == 1) {
        std::vector<Byte> cached;
        bool hit = false;
        {
            std::lock_guard<std::mutex> lock(m_cache_mutex);
            auto it = m_response_cache.find(cache_key(request->command()));
            if (it != m_response_cache.end()) {
                cached = it->second;
                hit = true;
            }
        }
        if (hit) {
            if (cached.size() > 3)
                cached[3] = static_cast<Byte>((cached[3] & 0xF0) | (getSoftwareId() & 0x0F));
            request->set_response(cached);
            finish(request);
            return;
        }
    }
    if (m_unresponsive) {
        request->set_error(4);
        finish(request);
        return;
    }

    const bool item10 = config_item(ConfigIgnoreBusyRetry);
    std::uint32_t n = 0;
    std::uint32_t f = 0;
    std::int64_t previousN = -1;
    unsigned repeatedProbes = 0;
    bool transmitted = false;
    auto count_failure = [&](ErrorCode code) {
        if (code == 4 && m_silent)
            ++f;
        else
            ++n;
    };
    // A failed request leaves the device's settings in doubt, so its cookie no longer counts as
    // ours. Not when the device went away (5, or its link went down meanwhile): the cookie check
    // on its return tells whether it kept its settings and re-applies the writes kept meanwhile;
    // forgetting the cookie here would read as settings lost and drop those writes.
    auto forget_cookie = [&](ErrorCode code) {
        if (code != 5 && !m_device_gone)
            m_config_cookie = 0;
    };
    auto fail = [&](const ErrorRecord& error) {
        request->clear_error();
        set_last_error(error);
        request->store_error();
        forget_cookie(error.code);
        finish(request);
    };

    for (;;) {
        if (n > m_max_retries) {
            forget_cookie(4);
            request->set_error(4);
            finish(request);
            return;
        }
        m_silent = true;
        if (static_cast<std::int64_t>(n) != previousN) {
            f = 0;
            previousN = n;
        }
        if (f > m_failure_threshold) {
            give_up_unresponsive();
            request->set_error(4);
            finish(request);
            return;
        }
        if (m_retry_pending.exchange(false)) {
            if (m_protocol == 2 && n > 0) {
                const std::uint32_t delay = Timing::scaled((10u << std::min<std::uint32_t>(n, 20)) + std::rand() % 500);
                std::unique_lock<std::mutex> lock(m_write_mutex);
                m_retry_delay_condition.wait_for(lock, std::chrono::milliseconds(delay),
                                                 [&] { return m_device_gone.load() || m_writes_closed.load(); });
            }
            const Byte ping = static_cast<Byte>(random(16, 255));
            const std::uint32_t sw = choose_software_id();
            auto probe = std::static_pointer_cast<DeviceRequest>(
                make_ping_request(std::weak_ptr<IDeviceRequestHost>(shared_from_this()), sw, ping));
            transmit(probe, false);
            const bool ok = probe->check_response();
            const ErrorRecord error = last_error_record();
            // A protocol 1.0 device (a receiver) answers the ping with "invalid sub-id", the same
            // answer by which discovery recognises it: it is there, so the probe passes instead of
            // failing the request it was meant to retry.
            const bool answered10 = error.code == 9 && m_protocol != 2;
            if (ok || answered10 || (error.code == 52 && item10)) {
                if (m_retry_pending) {
                    // A device that answers each probe twice keeps setting the flag again:
                    // the first repeat is free, later ones count as failed attempts.
                    if (repeatedProbes++ > 0)
                        ++n;
                    continue;
                }
            } else if (retry_error_probe(error.code)) {
                m_retry_pending = true;
                count_failure(error.code);
                continue;
            } else {
                fail(error);
                return;
            }
        }
        if (!firmware_check()) {
            const ErrorRecord error = last_error_record();
            if (!(error.code == 52 && item10)) {
                if (retry_error_probe(error.code)) {
                    m_retry_pending = true;
                    count_failure(error.code);
                    continue;
                }
                fail(error);
                return;
            }
        }
        if (request->command().empty()) {
            finish(request);
            return;
        }
        if (m_protocol == 2)
            request->set_software_id(getSoftwareId());
        request->set_written(true);
        transmit(request, transmitted);
        transmitted = true;
        if (request->check_response())
            break;
        const ErrorRecord error = last_error_record();
        if (error.code == 52 && item10) {
            ++n;
            request->clear_error();
            continue;
        }
        if (retry_error_request(error.code)) {
            m_retry_pending = true;
            if (error.code == 4)
                m_firmware_check_needed = true;
            count_failure(error.code);
            request->clear_error();
            continue;
        }
        forget_cookie(error.code);
        finish(request);
        return;
    }

    // Success.
    if (request->kind() == 1) {
        const std::uint32_t sw = getSoftwareId();
        const auto& command = request->command();
        const auto& response = request->response();
        if (command.size() > 3 && response.size() > 3 && (command[3] & 0x0F) == sw && (response[3] & 0x0F) == sw) {
            {
                std::lock_guard<std::mutex> lock(m_cache_mutex);
                m_response_cache[cache_key(command)] = cache_key(response);
            }
            m_cache_dirty = true;
            if (m_cache_write_timer)
                m_cache_write_timer->start(Timing::scaled(10000));
        }
    }
    finish(request);
}

void Device::transmit(const std::shared_ptr<DeviceRequest>& request, bool retry)
{
    if (m_device_gone) {
        request->set_error(5);
        return;
    }
    if (config_item(ConfigDeviceLock)) {
        if (!m_device_lock)
            m_device_lock = std::make_unique<DeviceLock>(m_hardware_device->getPath(), 15, false);
    } else {
        m_device_lock.reset();
    }
    if (m_device_lock)
        m_device_lock->acquire();
    struct Release {
        DeviceLock* lock;
        ~Release()
        {
            if (lock)
                lock->release();
        }
    } release{m_device_lock.get()};

    std::unique_lock<std::mutex> lock(m_request_mutex);
    if (m_software_id_collision) {
        request->set_error(68);
        return;
    }
    if (retry)
        m_hardware_device->beforeRetry();
    m_pending_request = request;
    lock.unlock();
    const bool written = post_write(request->command(), true);
    if (written && m_late_reply_seen) {
        std::vector<Byte> flush(7, 0);
        flush[3] = static_cast<Byte>(0x10 | (getSoftwareId() & 0x0F));
        post_write(flush, false);
    }
    lock.lock();
    if (!written) {
        if (m_pending_request == request)
            m_pending_request.reset();
        request->store_error();
        m_check_presence = true;
        m_last_request = request;
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + Timing::scaledDuration(m_response_timeout);
    while (m_pending_request == request) {
        if (m_reply_condition.wait_until(lock, deadline) == std::cv_status::timeout)
            break;
    }
    const bool timedOut = m_pending_request == request;
    m_last_request = request;
    if (timedOut)
        m_pending_request.reset();
    if (m_stopped) {
        request->set_error(55);
    } else if (m_device_gone) {
        request->set_error(5);
    } else if (timedOut) {
        m_check_presence = true;
        request->set_error(4);
    }
}

bool Device::post_write(const std::vector<Byte>& bytes, bool flag)
{
    std::uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        m_write_done = false;
        m_write_ok = false;
        m_pending_write_bytes = bytes;
        m_pending_write_flag = flag;
        m_write_pending = true;
        m_write_abandoned = false;
        generation = ++m_write_generation;
    }
    // A thread blocked on a request usually takes the write first; the run loop is the fallback.
    m_waiter_condition.notify_all();
    std::weak_ptr<Device> weak = shared_from_this();
    // A run loop that stops or is flushed drops the trigger unrun: the write then can never run,
    // so it ends here (code 28) instead of holding this worker, and with it the device, for good.
    std::shared_ptr<void> unrun(nullptr, [weak, generation](void*) {
        if (auto device = weak.lock())
            device->abandon_write(generation);
    });
    if (auto manager = m_manager.lock()) {
        manager->post(
            [weak, unrun]() -> bool {
                if (auto device = weak.lock())
                    device->run_pending_write();
                return false;
            },
            nullptr, nullptr, "write_trigger");
    }
    unrun.reset();
    std::unique_lock<std::mutex> lock(m_write_mutex);
    m_write_done_condition.wait(lock, [&] {
        return m_write_done || m_writes_closed.load() || (!m_write_pending && m_write_generation == generation &&
                                                          m_write_abandoned);
    });
    if (!m_write_done) {
        set_last_error(28);
        return false;
    }
    if (!m_write_ok)
        set_last_error(m_write_error);
    return m_write_ok;
}

void Device::abandon_write(std::uint64_t generation)
{
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        if (!m_write_pending || m_write_generation != generation)
            return;  // taken by a waiter or the run loop, or a later write's
        m_write_pending = false;
        m_pending_write_bytes.clear();
        m_write_abandoned = true;
    }
    m_write_done_condition.notify_all();
}

bool Device::run_pending_write()
{
    std::vector<Byte> bytes;
    bool flag;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        if (!m_write_pending)
            return false;
        m_write_pending = false;
        bytes.swap(m_pending_write_bytes);
        flag = m_pending_write_flag;
    }
    const bool ok = write(bytes, flag);
    const ErrorRecord error = last_error_record();
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        m_write_ok = ok;
        m_write_error = error;
        m_write_done = true;
    }
    m_write_done_condition.notify_all();
    return false;
}

bool Device::write(const std::vector<Byte>& bytes, bool flag)
{
    if (m_stopped) {
        set_last_error(55);
        return false;
    }
    if (m_closed) {
        set_last_error(28);
        return false;
    }
    if (m_device_gone) {
        set_last_error(5);
        return false;
    }
    if (m_check_presence.exchange(false) && !m_hardware_device->stillPresent()) {
        set_last_error(5);
        onFastDisconnect();
        return false;
    }
    if (m_hardware_device->open() && (!flag || subscribe_hardware()))
        return m_hardware_device->write(bytes, flag);
    if (last_error().code == 0)
        set_last_error(5);
    const ErrorRecord error = last_error_record();
    if (auto manager = m_manager.lock())
        manager->reportError("Device::write");
    set_last_error(error);
    return false;
}

void Device::post_continuation(std::function<void(bool)> task)
{
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        if (m_writes_closed) {
            task(false);
            return;
        }
        m_continuations.push_back(std::move(task));
    }
    if (auto manager = m_manager.lock()) {
        std::weak_ptr<Device> weak = shared_from_this();
        manager->post(
            [weak]() -> bool {
                if (auto device = weak.lock())
                    device->run_continuation();
                return false;
            },
            nullptr, nullptr, "continuation_trigger");
    }
}

bool Device::run_continuation()
{
    std::function<void(bool)> task;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        if (m_continuations.empty())
            return false;
        task = std::move(m_continuations.front());
        m_continuations.pop_front();
    }
    task(true);
    return true;
}

void Device::wait_for_work(const std::function<bool()>& done)
{
    std::unique_lock<std::mutex> lock(m_write_mutex);
    m_waiter_condition.wait(lock, [&] { return !m_continuations.empty() || m_write_pending || done(); });
}

// ---------------------------------------------------------------- firmware check

bool Device::direct_exchange(std::uint32_t index, std::uint32_t function, std::vector<Byte> params,
                             std::vector<Byte>& payload)
{
    std::vector<Byte> command = {0x10, 0xFF, static_cast<Byte>(index),
                                 static_cast<Byte>((function << 4) | (getSoftwareId() & 0x0F))};
    command.insert(command.end(), params.begin(), params.end());
    command.resize(std::max<std::size_t>(command.size(), 7), 0);
    auto request = std::make_shared<DeviceRequest>(std::weak_ptr<IDeviceRequestHost>(shared_from_this()),
                                                   std::move(command), 0, std::vector<unsigned>{});
    request->mark_sent();
    transmit(request, false);
    if (!request->check_response())
        return false;
    payload = request->payload();
    if (payload.empty()) {
        set_last_error(2);
        return false;
    }
    return true;
}

bool Device::firmware_check()
{
    if (!m_firmware_check_needed)
        return true;
    std::string text;
    std::array<std::uint32_t, 3> values;
    {
        std::lock_guard<std::mutex> lock(m_firmware_mutex);
        text = m_firmware_text;
        values = m_firmware_values;
    }
    if (text.empty()) {
        m_firmware_check_needed = false;
        return true;
    }
    std::uint32_t index = values[0];
    std::vector<Byte> payload;
    if (index == 0) {
        if (!direct_exchange(0, 0, {0x00, 0x03, 0x00}, payload))
            return false;
        index = payload[0];
    }
    if (!direct_exchange(index, 0, {}, payload))
        return false;
    std::uint32_t unitId = 0;
    payload.resize(std::max<std::size_t>(payload.size(), 16), 0);
    IFeature0003FirmwareInfo::GetEntityCountResponse::get_count_and_unit_id(payload, nullptr, &unitId);
    if (!direct_exchange(index, 1, {static_cast<Byte>(values[2])}, payload))
        return false;
    payload.resize(std::max<std::size_t>(payload.size(), 16), 0);
    const std::string current = format_fw_version(payload, false, values[1] >= 1, unitId);
    m_firmware_check_needed = false;
    if (current == text)
        return true;
    {
        std::lock_guard<std::mutex> lock(m_firmware_mutex);
        m_firmware_text.clear();
    }
    invalidate(nullptr);
    m_cache_dirty = true;
    auto self = shared_from_this();
    Producer<IDevice::Connect>::notify([self](IDevice::Connect* s) { s->onFirmwareChanged(self); },
                                       "Device::Connect::onFirmwareChanged");
    set_last_error(67);
    return false;
}

} // namespace devio
