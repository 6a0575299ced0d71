// The request queue and its worker of devio::Device.
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

bool retry_error_probe(ErrorCode code)
{
    return code == 4 || code == 17 || code == 52 || code == 61 || code == 68;
}

bool retry_error_request(ErrorCode code)
{
    return retry_error_probe(code) || code == 15;
}

} // namespace

using device_internal::delivering_reports_of;
using device_internal::end_unserved;

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

} // namespace devio
