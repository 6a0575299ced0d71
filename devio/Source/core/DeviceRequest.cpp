#include "core/DeviceRequest.h"

#include <string>
#include <thread>

namespace devio {

DeviceRequest::DeviceRequest(std::weak_ptr<IDeviceRequestHost> device, std::vector<Byte> command, unsigned kind,
                             std::vector<unsigned> positions)
    : m_device(std::move(device)), m_command(std::move(command)), m_kind(kind), m_positions(std::move(positions))
{
    if (m_kind == 1 && m_command.size() >= 3 && m_command[2] >= 0x80)
        m_kind = 0;
}

DeviceRequest::~DeviceRequest() = default;

const char* DeviceRequest::name()
{
    static const char digits[] = "0123456789ABCDEF";
    thread_local std::string text;
    text.clear();
    const std::size_t n = std::min<std::size_t>(m_command.size(), 32);
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            text += ' ';
        text += digits[m_command[i] >> 4];
        text += digits[m_command[i] & 0x0F];
    }
    return text.c_str();
}

bool DeviceRequest::check_response()
{
    const ErrorRecord record = result();
    set_last_error(record);
    if (record.code != 0)
        return false;
    if (m_response.size() < 4) {
        // Too short to tell success from failure: never report it as "no error".
        set_last_error(2, 0, nullptr);
        return false;
    }
    // An error reply of 4 or 5 bytes has no error byte: read it as 0.
    const unsigned e = m_response.size() > 5 ? m_response[5] : 0;
    if (m_response[2] == 0x8F) {
        set_last_error(e <= 12 ? 8 + e : 21, e, nullptr);
        return false;
    }
    if (m_response[2] == 0xFF) {
        set_last_error(e <= 9 ? 44 + e : 54, e, nullptr);
        return false;
    }
    return true;
}

std::vector<Byte>& DeviceRequest::resize_response(std::size_t n)
{
    if (m_response.size() < n)
        m_response.resize(n, 0);
    return m_response;
}

std::vector<Byte> DeviceRequest::payload()
{
    if (m_response.size() < 5)
        return {};
    return std::vector<Byte>(m_response.begin() + 4, m_response.end());
}

unsigned DeviceRequest::state()
{
    if (m_completed.load())
        return 2;
    return m_sent.load() ? 1 : 0;
}

bool DeviceRequest::has_continuation()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_has_continuation;
}

std::vector<Byte>& DeviceRequest::params()
{
    if (m_params.empty() && m_command.size() >= 5)
        m_params.assign(m_command.begin() + 4, m_command.end());
    return m_params;
}

void DeviceRequest::copy_command(const DeviceRequest& other)
{
    m_command = other.m_command;
    m_params.clear();
}

void DeviceRequest::set_software_id(unsigned id)
{
    if (m_command.size() >= 4)
        m_command[3] = static_cast<Byte>((m_command[3] & 0xF0) | (id & 0x0F));
}

void DeviceRequest::set_response(const std::vector<Byte>& report)
{
    m_response = report;
    if (!check_response())
        set_result(last_error_record());
}

bool DeviceRequest::is_response(const std::vector<Byte>& r) const
{
    const std::vector<Byte>& c = m_command;
    const std::size_t n = r.size();
    const std::size_t m = c.size();
    if (n > 4) {
        if (r[2] == 0x8F) {
            if (m > 3 && r[3] == c[2] && r[4] == c[3] && (r[1] == c[1] || (r[1] == 0 && c[1] == 0xFF)))
                return true;
        } else if (r[2] == 0xFF) {
            if (m > 3 && r[1] == c[1] && r[3] == c[2] && r[4] == c[3])
                return true;
        }
    }
    if (m == 0 || n == 0)
        return false;
    auto at = [](const std::vector<Byte>& v, std::size_t i) -> Byte { return i < v.size() ? v[i] : 0; };
    for (std::size_t i = 1; i <= 3; ++i)
        if (at(r, i) != at(c, i))
            return false;
    for (unsigned p : m_positions)
        if (at(r, p + 4u) != at(c, p + 4u))
            return false;
    return true;
}

std::shared_ptr<IRequest> DeviceRequest::then(RequestOwner owner, DeviceRequestContinuation continuation,
                                              const char* name)
{
    std::shared_ptr<DeviceRequest> self = shared_from_this();
    std::shared_ptr<IDeviceRequest> selfInterface = self;
    auto chained = std::make_shared<Request>(
        self, std::move(owner),
        [selfInterface, continuation = std::move(continuation)](bool) { return continuation(selfInterface); }, name);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_has_continuation)
            return make_immediate_result(83, nullptr, 0);
        m_waiting = chained;
        m_continuation_pending = true;
        m_has_continuation = true;
    }
    run_continuation(self, true);
    return chained;
}

void DeviceRequest::run_continuation(const std::shared_ptr<DeviceRequest>& self, bool direct)
{
    std::shared_ptr<Request> waiting;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_completed.load() || !m_waiting)
            return;
        waiting = std::move(m_waiting);
        m_waiting.reset();
    }
    std::shared_ptr<IDeviceRequestHost> device = m_device.lock();
    if (!device) {
        // Nobody will ever deliver it: end the chain instead of leaving its waiters stuck.
        waiting->complete(ErrorRecord{28, nullptr, 0});
        m_continuation_pending = false;
        return;
    }
    if (direct) {
        waiting->on_source_complete(result());
        m_continuation_pending = false;
        return;
    }
    device->post_continuation([self, waiting](bool run) {
        if (run) {
            waiting->on_source_complete(self->result());
        } else {
            self->set_result(ErrorRecord{28, nullptr, 0});
            waiting->complete(ErrorRecord{28, nullptr, 0});
        }
        self->m_continuation_pending = false;
    });
}

bool DeviceRequest::abandon(ErrorCode code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_completed.load())
        return false;
    set_result(ErrorRecord{code, nullptr, 0});
    m_completed.store(true);
    return true;
}

bool DeviceRequest::wait()
{
    std::shared_ptr<DeviceRequest> self = shared_from_this();
    std::shared_ptr<IDeviceRequestHost> device = m_device.lock();
    if (!device) {
        // Not completed before the device went: it never will be.
        abandon(28);
        run_continuation(self, true);
    } else {
        for (;;) {
            device->wait_for_work([this] { return m_completed.load(); });
            if (m_completed.load() && !m_continuation_pending.load())
                break;
            const bool wrote = device->run_pending_write();
            const bool ran = device->run_continuation();
            if (!wrote && !ran && m_completed.load())
                std::this_thread::yield(); // our continuation runs elsewhere right now
        }
    }
    return check_response();
}

bool DeviceRequestImmediateFailure::wait()
{
    set_last_error(m_result);
    return m_result.code == 0;
}

std::shared_ptr<IRequest> DeviceRequestImmediateFailure::then(RequestOwner, DeviceRequestContinuation continuation,
                                                              const char*)
{
    return continuation(shared_from_this());
}

std::shared_ptr<IDeviceRequest> make_ping_request(std::weak_ptr<IDeviceRequestHost> device, unsigned softwareId,
                                                  Byte ping)
{
    std::vector<Byte> command{0x10, 0xFF, 0x00, static_cast<Byte>(0x10 | (softwareId & 0x0F)), 0x00, 0x00, ping};
    return std::make_shared<DeviceRequest>(std::move(device), std::move(command), 0, std::vector<unsigned>{2});
}

std::shared_ptr<IDeviceRequest> make_device_request_failure(ErrorCode code, const char* text, std::uint32_t detail)
{
    return std::make_shared<DeviceRequestImmediateFailure>(ErrorRecord{code, text, detail});
}

} // namespace devio
