#pragma once
#include "core/IDeviceRequestHost.h"
#include "core/Request.h"
#include "core/Types.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace devio {

class IDeviceRequest;

// Receives the device request itself, whatever the outcome.
using DeviceRequestContinuation = std::function<std::shared_ptr<IRequest>(std::shared_ptr<IDeviceRequest>)>;

// One protocol exchange: command, reply, result.
class IDeviceRequest : public IRequestControl {
public:
    virtual std::vector<Byte>& command() = 0;
    // Last error := result; then fails on error replies and on replies too short to judge.
    virtual bool check_response() = 0;
    // Grows the response to n bytes (new bytes 0); never shrinks it.
    virtual std::vector<Byte>& resize_response(std::size_t n) = 0;
    virtual std::vector<Byte>& response() = 0;
    // Response bytes 4.. (empty below 5 bytes).
    virtual std::vector<Byte> payload() = 0;
    // Sets superseded; returns the previous value.
    virtual bool supersede() = 0;
    // 0 queued, 1 sent, 2 complete.
    virtual unsigned state() = 0;
    virtual bool is_superseded() = 0;
    virtual bool is_complete() = 0;
    virtual bool has_continuation() = 0;
    virtual bool continuation_pending() = 0;
    virtual std::shared_ptr<IDeviceRequest> self() = 0;
    virtual std::shared_ptr<IRequest> then(RequestOwner owner, DeviceRequestContinuation continuation,
                                           const char* name) = 0;
};

class DeviceRequest : public IDeviceRequest, public std::enable_shared_from_this<DeviceRequest> {
public:
    // Kind 1 (answerable from the cache) is dropped for commands whose byte 2 is 0x80 or more.
    DeviceRequest(std::weak_ptr<IDeviceRequestHost> device, std::vector<Byte> command, unsigned kind,
                  std::vector<unsigned> positions);
    ~DeviceRequest() override;

    bool wait() override;
    const char* name() override;
    std::vector<Byte>& command() override { return m_command; }
    bool check_response() override;
    std::vector<Byte>& resize_response(std::size_t n) override;
    std::vector<Byte>& response() override { return m_response; }
    std::vector<Byte> payload() override;
    bool supersede() override { return m_superseded.exchange(true); }
    unsigned state() override;
    bool is_superseded() override { return m_superseded.load(); }
    bool is_complete() override { return m_completed.load(); }
    bool has_continuation() override;
    bool continuation_pending() override { return m_continuation_pending.load(); }
    std::shared_ptr<IDeviceRequest> self() override { return shared_from_this(); }
    std::shared_ptr<IRequest> then(RequestOwner owner, DeviceRequestContinuation continuation,
                                   const char* name) override;

    unsigned kind() const { return m_kind; }
    unsigned sort_key() const { return m_sort_key; }
    void set_sort_key(unsigned key) { m_sort_key = key; }
    const std::vector<unsigned>& positions() const { return m_positions; }
    std::weak_ptr<IDeviceRequestHost> device() const { return m_device; }
    std::vector<Byte>& params();
    void copy_command(const DeviceRequest& other);
    void set_software_id(unsigned id);
    bool mark_sent() { return m_sent.exchange(true); }
    bool mark_complete() { return m_completed.exchange(true); }
    // Ends a request that nobody will serve any more, unless it has ended already (its
    // result then stays as it is); several threads may try at once.
    bool abandon(ErrorCode code);
    void set_written(bool written) { m_written = written; }
    bool was_written() const { return m_written; }
    void set_error(ErrorCode code) { set_result(ErrorRecord{code, nullptr, 0}); }
    void clear_error() { set_result(ErrorRecord{}); }
    void store_error() { set_result(last_error_record()); }
    // The result may be rewritten (a discarded continuation) while a waiter reads it.
    ErrorRecord result() const
    {
        std::lock_guard<std::mutex> lock(m_result_mutex);
        return m_result;
    }
    void set_result(const ErrorRecord& record)
    {
        std::lock_guard<std::mutex> lock(m_result_mutex);
        m_result = record;
    }
    // response := report; an error reply becomes the result.
    void set_response(const std::vector<Byte>& report);
    bool is_response(const std::vector<Byte>& report) const;
    // Hands the completed request to its continuation: on this thread when direct, else
    // through the device's run-loop task.
    void run_continuation(const std::shared_ptr<DeviceRequest>& self, bool direct);

private:
    std::weak_ptr<IDeviceRequestHost> m_device;
    std::vector<Byte> m_command;
    std::vector<Byte> m_params;
    unsigned m_kind;
    std::vector<unsigned> m_positions;
    std::vector<Byte> m_response;
    mutable std::mutex m_result_mutex;
    ErrorRecord m_result;
    std::atomic<bool> m_completed{false};
    std::atomic<bool> m_continuation_pending{false};
    std::shared_ptr<Request> m_waiting;
    std::atomic<bool> m_sent{false};
    bool m_written = false;
    std::atomic<bool> m_superseded{false};
    std::mutex m_mutex;
    bool m_has_continuation = false;
    unsigned m_sort_key = 0;
};

// Failed before it was sent; continuations run at once, any number of times.
class DeviceRequestImmediateFailure : public IDeviceRequest,
                                      public std::enable_shared_from_this<DeviceRequestImmediateFailure> {
public:
    explicit DeviceRequestImmediateFailure(const ErrorRecord& result) : m_result(result) {}

    bool wait() override;
    const char* name() override { return "DeviceRequestImmediateFailure"; }
    std::vector<Byte>& command() override { return m_empty; }
    bool check_response() override { return wait(); }
    std::vector<Byte>& resize_response(std::size_t) override { return m_empty; }
    std::vector<Byte>& response() override { return m_empty; }
    std::vector<Byte> payload() override { return {}; }
    bool supersede() override { return false; }
    unsigned state() override { return 2; }
    bool is_superseded() override { return false; }
    bool is_complete() override { return true; }
    bool has_continuation() override { return false; }
    bool continuation_pending() override { return false; }
    std::shared_ptr<IDeviceRequest> self() override { return shared_from_this(); }
    std::shared_ptr<IRequest> then(RequestOwner owner, DeviceRequestContinuation continuation,
                                   const char* name) override;

private:
    ErrorRecord m_result;
    std::vector<Byte> m_empty;
};

// Root ping [0x10, 0xFF, 0x00, 0x10 | swid, 0, 0, ping]; the reply must echo the ping byte.
std::shared_ptr<IDeviceRequest> make_ping_request(std::weak_ptr<IDeviceRequestHost> device, unsigned softwareId,
                                                  Byte ping);
std::shared_ptr<IDeviceRequest> make_device_request_failure(ErrorCode code, const char* text, std::uint32_t detail);

} // namespace devio
