#pragma once
#include "core/IRunLoopManager.h"

#include <memory>
#include <mutex>

namespace devio {

// Virtual base of every producer: one run-loop reference per object however many events it raises.
class IRunLoopAccess {
public:
    IRunLoopAccess() = default;
    IRunLoopAccess(const IRunLoopAccess&) = delete;
    IRunLoopAccess& operator=(const IRunLoopAccess&) = delete;
    virtual ~IRunLoopAccess() = default;

    void set_run_loop(std::weak_ptr<IRunLoopManager> runLoop)
    {
        std::lock_guard<std::mutex> lock(m_run_loop_mutex);
        m_run_loop = std::move(runLoop);
    }
    std::weak_ptr<IRunLoopManager> get_run_loop() const
    {
        std::lock_guard<std::mutex> lock(m_run_loop_mutex);
        return m_run_loop;
    }
    std::shared_ptr<IRunLoopManager> lock_run_loop() const { return get_run_loop().lock(); }

private:
    mutable std::mutex m_run_loop_mutex;
    std::weak_ptr<IRunLoopManager> m_run_loop;
};

} // namespace devio
