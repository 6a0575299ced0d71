#include "TSLDevice.h"

#include "ReplyWait.h"
#include "core/Timing.h"

#include <cctype>
#include <cstring>

using devio::Timing;

namespace qv {

namespace {

constexpr DWORD kWriteWaitMs = 500;
constexpr DWORD kRetryPauseMs = 500;
constexpr DWORD kContentionWaitMs = 500;
constexpr DWORD kRegisterTimeoutMs = 3000;
constexpr int kTries = 3;

// A read that completed with this error means the device is gone.
bool is_gone(DWORD error)
{
    return error == ERROR_DEVICE_NOT_CONNECTED;
}

}  // namespace

CTSLDevice::CTSLDevice()
{
    // Made here, never replaced: a removal on the window thread may signal it while the
    // enumeration thread is still opening the transport.
    m_quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    LARGE_INTEGER f;
    if (QueryPerformanceFrequency(&f))
        m_frequency = f.QuadPart;
}

CTSLDevice::~CTSLDevice()
{
    stop_transport();
    close_collections();
    for (HANDLE h : {m_mutex, m_quit, m_responseEvent, m_queueEvent, m_rescanEvent})
        if (h)
            CloseHandle(h);
}

int CTSLDevice::open_collection(DWORD devInst, HANDLE file, HDEVNOTIFY notify, const WString& path,
                                const HIDP_CAPS& caps, std::uint8_t reportId)
{
    const USAGE usage = caps.Usage;
    if (usage == 0 || usage > 3)
        return 0;
    const int slot = usage - 1;
    {
        std::lock_guard<std::mutex> lock(m_collectionMutex);
        if (m_present[slot])
            return 0;
        Collection& c = m_collections[slot];
        c.devInst = devInst;
        c.file = file;
        c.notify = notify;
        c.path = path.size() < MAX_PATH ? path : path.substr(0, MAX_PATH - 1);
        c.reportId = reportId;
        c.outputLength = caps.OutputReportByteLength;
        c.inputLength = caps.InputReportByteLength;
        c.writeSub = static_cast<std::uint8_t>(0x80 + 2 * slot);
        c.readSub = static_cast<std::uint8_t>(0x81 + 2 * slot);
        m_present[slot] = true;
    }
    if (m_rescanEvent)
        SetEvent(m_rescanEvent);
    return 1;
}

bool CTSLDevice::has_report_id(std::uint8_t reportId) const
{
    std::lock_guard<std::mutex> lock(m_collectionMutex);
    for (int i = 0; i < kSlots; ++i)
        if (m_present[i] && m_collections[i].reportId == reportId)
            return true;
    return false;
}

unsigned CTSLDevice::open_mask() const
{
    std::lock_guard<std::mutex> lock(m_collectionMutex);
    unsigned mask = 0;
    for (int i = 0; i < kSlots; ++i)
        if (m_present[i])
            mask |= 1u << i;
    return mask;
}

bool CTSLDevice::has_collection_file(HANDLE file) const
{
    std::lock_guard<std::mutex> lock(m_collectionMutex);
    for (int i = 0; i < kSlots; ++i)
        if (m_present[i] && m_collections[i].file == file)
            return true;
    return false;
}

bool CTSLDevice::has_collection_instance(DWORD devInst) const
{
    std::lock_guard<std::mutex> lock(m_collectionMutex);
    for (int i = 0; i < kSlots; ++i)
        if (m_present[i] && m_collections[i].devInst == devInst)
            return true;
    return false;
}

CTSLDevice::Collection CTSLDevice::collection(int slot) const
{
    std::lock_guard<std::mutex> lock(m_collectionMutex);
    if (slot < 1 || slot > kSlots || !m_present[slot - 1])
        return Collection{};
    return m_collections[slot - 1];
}

std::string CTSLDevice::mutex_name_for(const WString& path)
{
    std::string name = "Global\\TSL";
    for (WCHAR c : path)
        if (c < 0x80 && std::isalnum(static_cast<unsigned char>(c)))
            name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    return name;
}

bool CTSLDevice::open_transport(HWND window, UINT message)
{
    if (m_started.load())
        return true;
    const Collection first = collection(1);
    if (first.file != INVALID_HANDLE_VALUE)
        m_mutex = CreateMutexW(nullptr, FALSE, widen(mutex_name_for(first.path)).c_str());
    else
        m_mutex = CreateMutexW(nullptr, FALSE, nullptr);
    m_responseEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_queueEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_rescanEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_mutex || !m_quit || !m_responseEvent || !m_queueEvent || !m_rescanEvent)
        return false;
    m_window = window;
    m_message = message;
    m_reader = std::thread([this] { reader_loop(); });
    m_dispatcher = std::thread([this] { dispatcher_loop(); });
    m_started.store(true);
    return true;
}

void CTSLDevice::stop_transport()
{
    std::lock_guard<std::mutex> lock(m_stopMutex);
    if (!m_started.load())
        return;
    SetEvent(m_quit);
    const auto self = std::this_thread::get_id();
    // A report handler may end its own receiver: the thread then detaches from itself.
    for (std::thread* t : {&m_reader, &m_dispatcher}) {
        if (!t->joinable())
            continue;
        if (t->get_id() == self)
            t->detach();
        else
            t->join();
    }
}

void CTSLDevice::close_collections()
{
    std::lock_guard<std::mutex> lock(m_collectionMutex);
    for (int i = 0; i < kSlots; ++i) {
        if (!m_present[i])
            continue;
        Collection& c = m_collections[i];
        if (c.notify)
            UnregisterDeviceNotification(c.notify);
        if (c.file != INVALID_HANDLE_VALUE)
            CloseHandle(c.file);
        c = Collection{};
        m_present[i] = false;
    }
}

void CTSLDevice::set_link_event(int index, HANDLE event)
{
    if (index < 1 || index > 6)
        return;
    std::lock_guard<std::mutex> lock(m_linkMutex);
    m_linkEvents[index] = event;
}

int CTSLDevice::collection_for_output(std::size_t length) const
{
    std::lock_guard<std::mutex> lock(m_collectionMutex);
    for (int i = 0; i < kSlots; ++i)
        if (m_present[i] && m_collections[i].outputLength == length)
            return i + 1;
    return 0;
}

int CTSLDevice::collection_for_input(std::size_t length) const
{
    std::lock_guard<std::mutex> lock(m_collectionMutex);
    for (int i = 0; i < kSlots; ++i)
        if (m_present[i] && m_collections[i].inputLength == length)
            return i + 1;
    return 0;
}

bool CTSLDevice::write_report(const Collection& c, const std::vector<std::uint8_t>& report)
{
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent)
        return false;
    DWORD done = 0;
    bool ok = WriteFile(c.file, report.data(), static_cast<DWORD>(report.size()), &done, &ov) != FALSE;
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        const HANDLE waits[2] = {ov.hEvent, m_quit};
        const DWORD w = WaitForMultipleObjects(2, waits, FALSE, reply_wait(kWriteWaitMs));
        if (w != WAIT_OBJECT_0) {
            // Never leave the write pending on a buffer that is about to go.
            CancelIoEx(c.file, &ov);
            GetOverlappedResult(c.file, &ov, &done, TRUE);
            ok = false;
        } else {
            ok = GetOverlappedResult(c.file, &ov, &done, FALSE) != FALSE;
        }
    }
    CloseHandle(ov.hEvent);
    return ok;
}

int CTSLDevice::SendAndWait(int slot, std::vector<std::uint8_t>& request, std::vector<std::uint8_t>* response,
                            DWORD timeoutMs, std::size_t matchLength)
{
    if (!m_started.load() || !m_quit || WaitForSingleObject(m_quit, 0) == WAIT_OBJECT_0)
        return kRawClosing;
    if (timeoutMs > 60000)
        timeoutMs = kRegisterTimeoutMs;
    const Collection c = collection(slot);
    if (c.file == INVALID_HANDLE_VALUE || request.size() < 4)
        return kRawNoCollection;
    request.resize(c.outputLength, 0);
    request[0] = c.reportId;
    const int index = request[1];

    int failures = 0;
    for (;;) {
        const HANDLE lockWaits[2] = {m_mutex, m_quit};
        const DWORD got = WaitForMultipleObjects(2, lockWaits, FALSE, Timing::scaled(m_mutexWaitMs.load()));
        if (got == WAIT_OBJECT_0 + 1)
            return kRawClosing;
        if (got == WAIT_TIMEOUT) {
            const DWORD wait = m_mutexWaitMs.load();
            if (wait < 10000)
                m_mutexWaitMs.store(wait + 2000);
            return kRawBusy;
        }
        // An abandoned mutex passes ownership all the same.
        if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED_0)
            return kRawSystem;

        {
            std::lock_guard<std::mutex> lock(m_pendingMutex);
            m_pending = Pending{};
            m_pending.active = true;
            m_pending.request = request;
            m_pending.matchLength = matchLength;
        }
        int result = kRawOk;
        bool timedOut = false;
        bool written = false;
        for (int attempt = 0; attempt < kTries && !written; ++attempt) {
            ResetEvent(m_responseEvent);
            QueryPerformanceCounter(&m_sendTime);
            written = write_report(c, request);
        }
        if (!written)
            result = kRawWriteFailed;
        else if (timeoutMs != 0)
            result = wait_reply(index, timeoutMs, timedOut);
        std::vector<std::uint8_t> answer;
        {
            std::lock_guard<std::mutex> lock(m_pendingMutex);
            answer.swap(m_pending.response);
            m_pending = Pending{};
        }
        ReleaseMutex(m_mutex);

        if (result == kRawOk && response)
            *response = answer;
        const bool retry = timedOut || result == 7;
        if (!retry)
            return result;
        if (++failures >= kTries)
            return timedOut ? kRawTimeout : result;
        if (result == 7 && WaitForSingleObject(m_quit, Timing::scaled(kRetryPauseMs)) == WAIT_OBJECT_0)
            return kRawClosing;
    }
}

int CTSLDevice::wait_reply(int index, DWORD timeoutMs, bool& timedOut)
{
    HANDLE waits[3] = {m_quit, m_responseEvent, nullptr};
    DWORD count = 2;
    if (index >= 1 && index <= 6) {
        std::lock_guard<std::mutex> lock(m_linkMutex);
        if (m_linkEvents[index]) {
            waits[2] = m_linkEvents[index];
            count = 3;
        }
    }
    bool contention = false;
    DWORD wait = reply_wait(timeoutMs);
    for (;;) {
        const DWORD w = WaitForMultipleObjects(count, waits, FALSE, wait);
        if (w == WAIT_OBJECT_0)
            return kRawErrorReply;
        if (w == WAIT_OBJECT_0 + 2)
            return kRawLinkLost;
        if (w == WAIT_OBJECT_0 + 1) {
            std::lock_guard<std::mutex> lock(m_pendingMutex);
            if (!contention && m_frequency >= 10000) {
                // Reply time in 0.1 ms, measured, not scaled: a reply this fast was not ours.
                const LONGLONG ticks = m_receiveTime.QuadPart - m_sendTime.QuadPart;
                const LONGLONG tenths = ticks * 10000 / m_frequency;
                if (tenths < m_contentionThreshold.load()) {
                    contention = true;
                    ResetEvent(m_responseEvent);
                    wait = Timing::scaled(kContentionWaitMs);
                    continue;
                }
            }
            return m_pending.error;
        }
        if (w == WAIT_TIMEOUT) {
            if (contention) {
                const int t = m_contentionThreshold.load();
                if (t >= 6)
                    m_contentionThreshold.store(t - 1);
                std::lock_guard<std::mutex> lock(m_pendingMutex);
                return m_pending.error;
            }
            timedOut = true;
            return kRawTimeout;
        }
        return kRawSystem;
    }
}

std::optional<int> CTSLDevice::match_reply(const std::vector<std::uint8_t>& req, std::size_t matchLength,
                                           const std::uint8_t* report, std::size_t length)
{
    if (length < 5 || req.size() < 4 || report[1] != req[1])
        return std::nullopt;
    if (length >= 2 + matchLength && req.size() >= 2 + matchLength &&
        std::memcmp(report + 2, req.data() + 2, matchLength) == 0)
        return 0;
    if (length >= 6 && report[2] == 0x8F && report[3] == req[2] && report[4] == req[3])
        // An error reply is never a success, whatever its code says.
        return report[5] != 0 ? int{report[5]} : int{kRawErrorReply};
    return std::nullopt;
}

bool CTSLDevice::OnResponse(const std::uint8_t* report, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    if (!m_pending.active)
        return false;
    const std::optional<int> error = match_reply(m_pending.request, m_pending.matchLength, report, length);
    if (!error)
        return false;
    m_pending.error = *error;
    // At most what the caller's reply holds: the collection's output length.
    if (*error == 0)
        m_pending.response.assign(report, report + std::min(length, std::size_t{64}));
    m_pending.answered = true;
    QueryPerformanceCounter(&m_receiveTime);
    SetEvent(m_responseEvent);
    return true;
}

void CTSLDevice::OnRead(const std::uint8_t* report, std::size_t length)
{
    if (length == 0 || OnResponse(report, length))
        return;
    if (length < 3 || report[2] >= 0x80)
        return;
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (m_queue.size() >= 100)
            return;
        wasEmpty = m_queue.empty();
        m_queue.emplace_back(report, report + length);
    }
    if (wasEmpty)
        SetEvent(m_queueEvent);
}

void CTSLDevice::OnReport(const std::uint8_t*, std::size_t) {}

void CTSLDevice::dispatcher_loop()
{
    const HANDLE waits[2] = {m_quit, m_queueEvent};
    for (;;) {
        const DWORD w = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (w != WAIT_OBJECT_0 + 1)
            return;
        for (;;) {
            std::vector<std::uint8_t> report;
            {
                std::lock_guard<std::mutex> lock(m_queueMutex);
                if (m_queue.empty())
                    break;
                report = std::move(m_queue.front());
                m_queue.pop_front();
            }
            if (WaitForSingleObject(m_quit, 0) == WAIT_OBJECT_0)
                return;
            OnReport(report.data(), report.size());
        }
    }
}

void CTSLDevice::reader_loop()
{
    struct Reader {
        HANDLE file = INVALID_HANDLE_VALUE;
        std::vector<std::uint8_t> buffer;
        OVERLAPPED ov{};
        bool pending = false;
        int quickFailures = 0;
    };
    Reader readers[kSlots];
    bool gone = false;
    HANDLE goneFile = INVALID_HANDLE_VALUE;

    auto cancel_all = [&] {
        for (Reader& r : readers) {
            if (r.pending) {
                DWORD done = 0;
                CancelIoEx(r.file, &r.ov);
                GetOverlappedResult(r.file, &r.ov, &done, TRUE);
                r.pending = false;
            }
            if (r.ov.hEvent)
                CloseHandle(r.ov.hEvent);
            r.ov.hEvent = nullptr;
        }
    };
    // Issues reads until one stays pending; false when the device is gone.
    auto issue = [&](Reader& r) -> bool {
        for (;;) {
            DWORD done = 0;
            ResetEvent(r.ov.hEvent);
            if (ReadFile(r.file, r.buffer.data(), static_cast<DWORD>(r.buffer.size()), &done, &r.ov)) {
                r.quickFailures = 0;
                OnRead(r.buffer.data(), done);
                continue;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                r.pending = true;
                return true;
            }
            // A read failing again at once will keep failing: the device is as good as gone.
            if (is_gone(error) || ++r.quickFailures > 1)
                return false;
        }
    };
    auto refresh = [&]() -> bool {
        for (int i = 0; i < kSlots; ++i) {
            Reader& r = readers[i];
            if (r.ov.hEvent)
                continue;
            const Collection c = collection(i + 1);
            if (c.file == INVALID_HANDLE_VALUE || c.inputLength == 0)
                continue;
            r.file = c.file;
            r.buffer.assign(c.inputLength, 0);
            r.ov = OVERLAPPED{};
            r.ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!issue(r)) {
                goneFile = r.file;
                return false;
            }
        }
        return true;
    };

    gone = !refresh();
    while (!gone) {
        HANDLE waits[2 + kSlots] = {m_quit, m_rescanEvent};
        int map[2 + kSlots] = {-1, -1};
        DWORD count = 2;
        for (int i = 0; i < kSlots; ++i)
            if (readers[i].pending) {
                map[count] = i;
                waits[count++] = readers[i].ov.hEvent;
            }
        const DWORD w = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
        if (w == WAIT_OBJECT_0 || w >= WAIT_OBJECT_0 + count)
            break;
        if (w == WAIT_OBJECT_0 + 1) {
            gone = !refresh();
            continue;
        }
        Reader& r = readers[map[w - WAIT_OBJECT_0]];
        r.pending = false;
        DWORD done = 0;
        if (GetOverlappedResult(r.file, &r.ov, &done, FALSE)) {
            r.quickFailures = 0;
            OnRead(r.buffer.data(), done);
        } else {
            const DWORD error = GetLastError();
            if (is_gone(error) || ++r.quickFailures > 1) {
                goneFile = r.file;
                gone = true;
                break;
            }
        }
        if (!issue(r)) {
            goneFile = r.file;
            gone = true;
        }
    }
    cancel_all();
    if (gone) {
        if (m_window)
            PostMessageW(m_window, m_message, reinterpret_cast<WPARAM>(goneFile), 0);
        // A caller still waiting learns it at once rather than after its time-out.
        WaitForSingleObject(m_quit, INFINITE);
    }
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    if (m_pending.active) {
        m_pending.error = kRawErrorReply;
        SetEvent(m_responseEvent);
    }
}

int CTSLDevice::register_read(std::uint8_t index, std::uint8_t reg, bool longReg, const std::uint8_t* params,
                              std::vector<std::uint8_t>& payload)
{
    const int replySlot = collection_for_input(longReg ? 20 : 7);
    const Collection reply = collection(replySlot);
    if (replySlot == 0)
        return kRawNoCollection;
    std::vector<std::uint8_t> request = {0, index, reply.readSub, reg, 0, 0, 0};
    if (params)
        std::memcpy(request.data() + 4, params, 3);
    std::vector<std::uint8_t> response;
    const int raw = SendAndWait(1, request, &response, kRegisterTimeoutMs, 2);
    if (raw == kRawOk)
        payload.assign(response.begin() + std::min<std::size_t>(4, response.size()), response.end());
    return raw;
}

int CTSLDevice::register_write(std::uint8_t index, std::uint8_t reg, const std::uint8_t* data, std::size_t length,
                               std::vector<std::uint8_t>* payload)
{
    const int slot = collection_for_output(length + 4);
    if (slot == 0)
        return kRawNoCollection;
    const Collection c = collection(slot);
    std::vector<std::uint8_t> request(4 + length, 0);
    request[1] = index;
    request[2] = c.writeSub;
    request[3] = reg;
    if (length)
        std::memcpy(request.data() + 4, data, length);
    std::vector<std::uint8_t> response;
    const int raw = SendAndWait(slot, request, &response, kRegisterTimeoutMs, 2);
    if (raw == kRawOk && payload)
        payload->assign(response.begin() + std::min<std::size_t>(4, response.size()), response.end());
    return raw;
}

int CTSLDevice::feature_request(std::uint8_t index, std::uint8_t feature, std::uint8_t function,
                                const std::vector<std::uint8_t>& params, std::vector<std::uint8_t>& reply)
{
    // Sixteen parameter bytes need the long collection.
    int slot = collection_for_output(20);
    if (slot == 0)
        slot = 1;
    std::vector<std::uint8_t> request(4 + params.size(), 0);
    request[1] = index;
    request[2] = feature;
    request[3] = static_cast<std::uint8_t>((function << 4) | 2);
    std::copy(params.begin(), params.end(), request.begin() + 4);
    std::vector<std::uint8_t> response;
    const int raw = SendAndWait(slot, request, &response, kRegisterTimeoutMs, 2);
    if (raw == kRawOk)
        reply.assign(response.begin() + std::min<std::size_t>(4, response.size()), response.end());
    return raw;
}

}  // namespace qv
