// Writes, their hand-off to waiting threads, and continuations of devio::Device.
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

namespace {

// The run-loop task of one queued continuation: it runs that continuation, or discards it when
// dropped unrun (a run loop that stops, is flushed or is gone). A continuation left queued would
// wait for the device's end, and a chain that holds its device (as a caller's may) would keep it
// for good; so no trigger may run another's continuation and leave its own behind.
struct ContinuationTrigger {
    std::weak_ptr<Device> device;
    std::uint64_t id = 0;
    std::function<void()> discard;
    bool ran = false;

    ~ContinuationTrigger()
    {
        if (!ran)
            discard();
    }
};

} // namespace

void Device::post_continuation(std::function<void(bool)> task)
{
    std::uint64_t id = 0;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        if (m_writes_closed) {
            task(false);
            return;
        }
        id = ++m_continuation_count;
        m_continuations.push_back(QueuedContinuation{id, std::move(task)});
    }
    std::weak_ptr<Device> weak = shared_from_this();
    auto trigger = std::make_shared<ContinuationTrigger>();
    trigger->device = weak;
    trigger->id = id;
    trigger->discard = [weak, id] {
        if (auto device = weak.lock())
            device->discard_continuation(id);
    };
    if (auto manager = m_manager.lock()) {
        manager->post(
            [trigger]() -> bool {
                trigger->ran = true;
                if (auto device = trigger->device.lock())
                    device->run_continuations_through(trigger->id);
                return false;
            },
            nullptr, nullptr, "continuation_trigger");
    }
}

void Device::discard_continuation(std::uint64_t id)
{
    std::function<void(bool)> task;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        auto it = std::find_if(m_continuations.begin(), m_continuations.end(),
                               [id](const QueuedContinuation& c) { return c.id == id; });
        if (it == m_continuations.end())
            return;  // run meanwhile by a waiting thread or an earlier trigger
        task = std::move(it->task);
        m_continuations.erase(it);
    }
    task(false);
}

bool Device::run_continuation()
{
    std::function<void(bool)> task;
    {
        std::lock_guard<std::mutex> lock(m_write_mutex);
        if (m_continuations.empty())
            return false;
        task = std::move(m_continuations.front().task);
        m_continuations.pop_front();
    }
    task(true);
    return true;
}

void Device::run_continuations_through(std::uint64_t id)
{
    // Triggers of two threads' continuations may reach the run loop in either order: one whose
    // continuation comes later in the queue runs the earlier ones first, so that continuations
    // still start in the order they were queued; their own triggers then find nothing to do.
    for (;;) {
        std::function<void(bool)> task;
        {
            std::lock_guard<std::mutex> lock(m_write_mutex);
            // Numbers grow along the queue: a front numbered past ours means ours is gone (run
            // here, by a waiting thread or an earlier trigger, or discarded).
            if (m_continuations.empty() || m_continuations.front().id > id)
                return;
            task = std::move(m_continuations.front().task);
            m_continuations.pop_front();
        }
        task(true);
    }
}

void Device::wait_for_work(const std::function<bool()>& done)
{
    std::unique_lock<std::mutex> lock(m_write_mutex);
    m_waiter_condition.wait(lock, [&] { return !m_continuations.empty() || m_write_pending || done(); });
}

} // namespace devio
