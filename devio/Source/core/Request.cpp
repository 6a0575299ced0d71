#include "core/Request.h"

#include <thread>

namespace devio {

Request::Request(std::shared_ptr<IRequestControl> source, RequestOwner owner, RequestContinuation continuation,
                 const char* name)
    : m_pending(std::move(source)), m_owner(std::move(owner)), m_continuation(std::move(continuation)),
      m_result(last_error_record()), m_name(name)
{
}

Request::~Request() = default;

bool Request::wait()
{
    std::shared_ptr<Request> self = shared_from_this();
    for (;;) {
        std::shared_ptr<IRequestControl> pending;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            pending = m_pending;
        }
        if (!pending)
            break;
        pending->wait();
        // The request we waited on may be complete yet still about to hand over to us from
        // another thread: let that thread run before looking again.
        bool unchanged;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            unchanged = m_pending == pending;
        }
        if (unchanged)
            std::this_thread::yield();
    }
    ErrorRecord r = result();
    set_last_error(r);
    return r.code == 0;
}

std::shared_ptr<IRequest> Request::then(RequestOwner owner, RequestContinuation continuation, const char* name)
{
    std::shared_ptr<Request> self = shared_from_this();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_then_registered)
        return make_immediate_result(83, nullptr, 0);
    auto next = std::make_shared<Request>(self, std::move(owner), std::move(continuation), name);
    m_then_registered = true;
    if (!m_completed) {
        m_waiter = next;
        m_keep_alive = self;
        return next;
    }
    ErrorRecord r = m_result;
    lock.unlock();
    next->on_source_complete(r);
    return next;
}

bool Request::is_complete()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_completed;
}

ErrorRecord Request::result()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_result;
}

void Request::complete(const ErrorRecord& record)
{
    // Releasing what the request holds may drop the last outside reference to it.
    const std::shared_ptr<Request> self = weak_from_this().lock();
    std::shared_ptr<Request> waiter;
    std::shared_ptr<Request> keepAlive;
    std::shared_ptr<IRequestControl> pending;
    // A chain ended before its continuation ran (device gone) never runs it: let it go now,
    // as it may hold the object that holds this request.
    RequestContinuation unrun;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_completed)
            return;
        m_completed = true;
        m_result = record;
        waiter = std::move(m_waiter);
        m_waiter.reset();
        pending = std::move(m_pending);
        m_pending.reset();
        keepAlive = std::move(m_keep_alive);
        m_keep_alive.reset();
        unrun = std::move(m_continuation);
        m_continuation = nullptr;
    }
    unrun = nullptr;
    if (waiter)
        waiter->on_source_complete(record);
    // keepAlive may hold the last reference: nothing touches this object after here.
}

void Request::set_waiter(std::shared_ptr<Request> waiter)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_completed) {
        m_waiter = std::move(waiter);
        return;
    }
    ErrorRecord r = m_result;
    lock.unlock();
    if (waiter)
        waiter->on_source_complete(r);
}

void Request::set_pending(std::shared_ptr<IRequest> pending)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_completed)
        m_pending = std::move(pending);
}

void Request::on_source_complete(const ErrorRecord& record)
{
    RequestContinuation continuation;
    RequestOwner ownerRef;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_source_done = true;
        continuation = std::move(m_continuation);
        m_continuation = nullptr;
        ownerRef = m_owner;
    }
    if (!continuation) {
        complete(record);
        return;
    }
    std::shared_ptr<Request> self = shared_from_this();
    std::shared_ptr<void> owner = ownerRef.lock();
    std::shared_ptr<IRequest> next;
    if (!owner) {
        next = make_immediate_result(84, nullptr, 0);
    } else {
        set_last_error(record);
        next = continuation(record.code == 0);
    }
    continuation = nullptr; // never runs twice
    if (!next) {
        // A continuation that returns nothing is a failure, not a hang.
        complete(ErrorRecord{1, nullptr, 0});
        return;
    }
    if (next->is_complete()) {
        if (next->wait())
            complete(ErrorRecord{0, nullptr, 0});
        else
            complete(last_error_record());
        return;
    }
    // Pending first: an immediate hand-over from set_waiter completes us and clears it.
    set_pending(next);
    next->set_waiter(self);
}

bool RequestImmediate::wait()
{
    set_last_error(m_result);
    return m_result.code == 0;
}

std::shared_ptr<IRequest> RequestImmediate::then(RequestOwner, RequestContinuation continuation, const char*)
{
    if (!continuation)
        throw std::bad_function_call();
    set_last_error(m_result);
    return continuation(m_result.code == 0);
}

std::shared_ptr<IRequest> make_immediate_success() { return std::make_shared<RequestImmediate>(ErrorRecord{}); }

std::shared_ptr<IRequest> make_immediate_result(ErrorCode code, const char* text, std::uint32_t detail)
{
    return std::make_shared<RequestImmediate>(ErrorRecord{code, text, detail});
}

std::shared_ptr<IRequest> make_immediate_failure_from_error()
{
    ErrorRecord r = last_error_record();
    if (r.code == 0)
        r = ErrorRecord{1, nullptr, 0};
    return std::make_shared<RequestImmediate>(r);
}

} // namespace devio
