// The host side of a simulated collection as the engine drives it: CreateFileW on the interface
// path with "\QVAPI" after it, overlapped WriteFile and ReadFile with a deadline.
#pragma once

#include <windows.h>

#include <sim/HidCollection.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace simtest {

class HidPort {
public:
    explicit HidPort(const std::shared_ptr<platform::sim::HidCollection>& collection)
        : m_output(collection->output_length()), m_input(collection->input_length())
    {
        // As the engine opens it: the interface path with "\QVAPI" after it.
        const std::string path = collection->path() + "\\QVAPI";
        const std::u16string wide(path.begin(), path.end());
        m_file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        m_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~HidPort()
    {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
        CloseHandle(m_event);
    }
    HidPort(const HidPort&) = delete;
    HidPort& operator=(const HidPort&) = delete;

    bool open() const { return m_file != INVALID_HANDLE_VALUE; }
    DWORD error() const { return m_error; }

    // The report, zero-filled to the output length.
    bool write(platform::sim::Bytes report)
    {
        report.resize(m_output, 0);
        OVERLAPPED o{};
        o.hEvent = m_event;
        ResetEvent(m_event);
        DWORD done = 0;
        if (!WriteFile(m_file, report.data(), static_cast<DWORD>(report.size()), nullptr, &o)) {
            if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(m_file, &o, &done, TRUE)) {
                m_error = GetLastError();
                return false;
            }
        }
        return true;
    }

    // The next input report; empty on the deadline or a failed read (see error()).
    platform::sim::Bytes read(std::chrono::milliseconds deadline = std::chrono::seconds(5))
    {
        platform::sim::Bytes buffer(m_input);
        OVERLAPPED o{};
        o.hEvent = m_event;
        ResetEvent(m_event);
        DWORD done = 0;
        m_error = 0;
        if (!ReadFile(m_file, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &o)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                m_error = GetLastError();
                return {};
            }
            if (WaitForSingleObject(m_event, static_cast<DWORD>(deadline.count())) != WAIT_OBJECT_0) {
                CancelIoEx(m_file, &o);
                GetOverlappedResult(m_file, &o, &done, TRUE);
                m_error = WAIT_TIMEOUT;
                return {};
            }
        }
        if (!GetOverlappedResult(m_file, &o, &done, TRUE)) {
            m_error = GetLastError();
            return {};
        }
        buffer.resize(done);
        return buffer;
    }

    // Reads until a report passes `wanted`; empty when none comes in time.
    platform::sim::Bytes read_until(const std::function<bool(const platform::sim::Bytes&)>& wanted,
                                    std::chrono::milliseconds deadline = std::chrono::seconds(5))
    {
        const auto end = std::chrono::steady_clock::now() + deadline;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return {};
            platform::sim::Bytes r = read(left);
            if (r.empty() || wanted(r))
                return r;
        }
    }

    // Writes and reads the first report that answers it (same bytes 1..3, or an error report
    // naming its sub-id and register). Seven zero bytes when nothing answers, so a caller looking
    // at a byte fails cleanly.
    platform::sim::Bytes ask(const platform::sim::Bytes& request)
    {
        platform::sim::Bytes r;
        if (write(request))
            r = read_until([&](const platform::sim::Bytes& x) {
                if (x.size() < 5 || x[1] != request[1])
                    return false;
                return (x[2] == request[2] && x[3] == request[3]) || (x[2] == 0x8F && x[3] == request[2] && x[4] == request[3]);
            });
        if (r.empty())
            r.assign(7, 0);
        return r;
    }

private:
    HANDLE m_file = INVALID_HANDLE_VALUE;
    HANDLE m_event = nullptr;
    std::size_t m_output;
    std::size_t m_input;
    DWORD m_error = 0;
};

}  // namespace simtest
