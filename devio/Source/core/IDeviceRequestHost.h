#pragma once
#include <functional>

namespace devio {

// What a device request needs of its device: continuation hand-off to the run loop and the
// hooks of the blocking wait. devio::Device implements it.
class IDeviceRequestHost {
public:
    virtual ~IDeviceRequestHost() = default;

    // Queues task for the run loop ("continuation_trigger"). The device calls it once: with
    // true when it runs it, with false when it discards it (device closing).
    virtual void post_continuation(std::function<void(bool)> task) = 0;

    // Blocks the calling waiter until the device has a posted write or a queued continuation
    // waiting, or done() is true. done() is evaluated under the device's write mutex, and the
    // device wakes waiters whenever a request completes or a write is posted.
    virtual void wait_for_work(const std::function<bool()>& done) = 0;

    // Performs a posted write, if any; may be called from any thread at any time.
    virtual bool run_pending_write() = 0;
    // Runs the oldest queued continuation, if any; true when one ran.
    virtual bool run_continuation() = 0;
};

} // namespace devio
