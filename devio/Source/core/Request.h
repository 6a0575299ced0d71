#pragma once
#include "core/ErrorRecord.h"

#include <functional>
#include <memory>
#include <mutex>

namespace devio {

class Request;
class IRequest;

// Continuation of a plain request: receives whether the preceding request succeeded
// (the last error holds its result) and returns the next request.
using RequestContinuation = std::function<std::shared_ptr<IRequest>(bool)>;
// Owner of a continuation: only its expiry is observed.
using RequestOwner = std::weak_ptr<void>;

class IRequestControl {
public:
    virtual ~IRequestControl() = default;
    // Blocks until complete; last error := result; true on success.
    virtual bool wait() = 0;
    virtual const char* name() = 0;
};

class IRequest : public IRequestControl {
public:
    virtual std::shared_ptr<IRequest> then(RequestOwner owner, RequestContinuation continuation, const char* name) = 0;
    virtual bool is_complete() = 0;
    virtual void complete(const ErrorRecord& record) = 0;
    virtual void set_waiter(std::shared_ptr<Request> waiter) = 0;
    virtual void set_pending(std::shared_ptr<IRequest> pending) = 0;
};

// Chaining request. Completion and continuation registration may come from different
// threads, so a small lock guards the hand-over; continuations run outside it.
class Request : public IRequest, public std::enable_shared_from_this<Request> {
public:
    Request(std::shared_ptr<IRequestControl> source, RequestOwner owner, RequestContinuation continuation,
            const char* name);
    ~Request() override;

    bool wait() override;
    const char* name() override { return m_name; }
    std::shared_ptr<IRequest> then(RequestOwner owner, RequestContinuation continuation, const char* name) override;
    bool is_complete() override;
    void complete(const ErrorRecord& record) override;
    // Delivers at once when this request is already complete.
    void set_waiter(std::shared_ptr<Request> waiter) override;
    void set_pending(std::shared_ptr<IRequest> pending) override;

    void on_source_complete(const ErrorRecord& record);
    ErrorRecord result();

private:
    std::mutex m_mutex;
    std::shared_ptr<IRequestControl> m_pending;
    std::shared_ptr<Request> m_keep_alive;
    std::shared_ptr<Request> m_waiter;
    RequestOwner m_owner;
    RequestContinuation m_continuation;
    ErrorRecord m_result;
    const char* m_name;
    bool m_then_registered = false;
    bool m_completed = false;
    bool m_source_done = false;
};

// Complete from construction; any number of continuations run at once.
class RequestImmediate : public IRequest {
public:
    explicit RequestImmediate(const ErrorRecord& result) : m_result(result) {}

    bool wait() override;
    const char* name() override { return m_result.code == 0 ? "ImmediateSuccess" : "ImmediateFailure"; }
    std::shared_ptr<IRequest> then(RequestOwner owner, RequestContinuation continuation, const char* name) override;
    bool is_complete() override { return true; }
    void complete(const ErrorRecord&) override {}
    void set_waiter(std::shared_ptr<Request>) override {}
    void set_pending(std::shared_ptr<IRequest>) override {}

private:
    ErrorRecord m_result;
};

std::shared_ptr<IRequest> make_immediate_success();
std::shared_ptr<IRequest> make_immediate_result(ErrorCode code, const char* text, std::uint32_t detail);
// From the last error; a code of 0 becomes 1 so the request always fails.
std::shared_ptr<IRequest> make_immediate_failure_from_error();

} // namespace devio
