#pragma once
// Shared pieces of the application tests: a record of DFU events, a scripted double of the
// engine's four calls, and engine device records.

#include "ApplicationManifest.h"
#include "DfuApi.h"
#include "QVEngine.h"

#include <sim/Kernel.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace app::test {

using namespace std::chrono_literals;

// These suites stand in for the program, so the simulated loader sees the program's manifest.
inline const bool kProgramManifestDeclared = (platform::sim::declare_manifest(applicationManifest()), true);

struct DfuEvent {
    DFU_DEVICE device;
    DFU_EVENTTYPE event;
    int parameter;
    bool operator==(const DfuEvent& o) const
    {
        return device == o.device && event == o.event && parameter == o.parameter;
    }
};

inline std::string describe(const DfuEvent& e)
{
    static const char* names[] = {"arrival", "removal", "enumerated", "connected", "disconnected", "progress",
                                  "status"};
    return std::string(e.event < 7 ? names[e.event] : "?") + " " + std::to_string(e.parameter);
}

// Every callback in order; waits on a condition, never sleeps.
class EventLog {
public:
    static void callback(void* context, DFU_DEVICE device, DFU_EVENTTYPE event, int parameter)
    {
        static_cast<EventLog*>(context)->add({device, event, parameter});
    }
    void add(const DfuEvent& e)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(e);
        m_condition.notify_all();
    }
    std::vector<DfuEvent> events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    // Texts of one device's events ("status 0", "progress 25", ...), progress left out unless asked.
    std::vector<std::string> of(DFU_DEVICE device, bool withProgress = false) const
    {
        std::vector<std::string> out;
        for (const DfuEvent& e : events())
            if (e.device == device && (withProgress || e.event != DFU_EVENT_PROGRESS))
                out.push_back(describe(e));
        return out;
    }
    std::vector<int> progress(DFU_DEVICE device) const
    {
        std::vector<int> out;
        for (const DfuEvent& e : events())
            if (e.device == device && e.event == DFU_EVENT_PROGRESS)
                out.push_back(e.parameter);
        return out;
    }
    // The first event matching `pred` (called under the log's lock); false on the deadline.
    bool wait_for(const std::function<bool(const DfuEvent&)>& pred, DfuEvent* found = nullptr,
                  std::chrono::milliseconds deadline = 20s) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, deadline, [&] {
            for (const DfuEvent& e : m_events)
                if (pred(e)) {
                    if (found)
                        *found = e;
                    return true;
                }
            return false;
        });
    }
    // At least `count` events for which `pred` holds.
    bool wait_for_count(const std::function<bool(const DfuEvent&)>& pred, std::size_t count,
                        std::chrono::milliseconds deadline = 20s) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, deadline, [&] {
            std::size_t n = 0;
            for (const DfuEvent& e : m_events)
                n += pred(e) ? 1 : 0;
            return n >= count;
        });
    }
    bool wait_for_event(DFU_DEVICE device, DFU_EVENTTYPE event, int parameter,
                        std::chrono::milliseconds deadline = 20s) const
    {
        return wait_for([&](const DfuEvent& e) {
            return e.device == device && e.event == event && e.parameter == parameter;
        }, nullptr, deadline);
    }
    // The first event for which `pred` holds, with `pred` called outside the log's lock (it may
    // call into the DFU API, whose locks are taken before the log's on the provider thread).
    bool wait_matching(const std::function<bool(const DfuEvent&)>& pred, DfuEvent* found = nullptr,
                       std::chrono::milliseconds deadline = 20s) const
    {
        const auto until = std::chrono::steady_clock::now() + deadline;
        std::size_t seen = 0;
        for (;;) {
            std::vector<DfuEvent> snapshot;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (!m_condition.wait_until(lock, until, [&] { return m_events.size() > seen; }))
                    return false;
                snapshot.assign(m_events.begin() + static_cast<std::ptrdiff_t>(seen), m_events.end());
                seen = m_events.size();
            }
            for (const DfuEvent& e : snapshot)
                if (pred(e)) {
                    if (found)
                        *found = e;
                    return true;
                }
        }
    }
    // The device of the first arrival for which `accept` holds.
    DFU_DEVICE wait_for_arrival(const std::function<bool(DFU_DEVICE)>& accept = {}) const
    {
        DfuEvent e{};
        if (!wait_matching([&](const DfuEvent& x) {
                return x.event == DFU_EVENT_DEVICE_ARRIVAL && (!accept || accept(x.device));
            }, &e))
            return 0;
        return e.device;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.clear();
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_condition;
    std::vector<DfuEvent> m_events;
};

inline void set_wide(WCHAR* field, const std::string& text)
{
    std::size_t i = 0;
    for (; i < text.size() && i < 79; ++i)
        field[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i]));
    field[i] = 0;
}

inline QV_DEVICE_INFO engine_record(std::uint32_t devType, std::uint32_t productId, const std::string& fw,
                                    const std::string& bl)
{
    QV_DEVICE_INFO r{};
    r.DevType = devType;
    r.ModelID = (0x7E51u << 16) | productId;
    set_wide(r.FW, fw);
    set_wide(r.NextFW, fw);
    set_wide(r.BL, bl);
    return r;
}

// The engine's four calls, scripted by the test.
class EngineDouble : public IQVEngine {
public:
    struct StartCall {
        std::int64_t handle;
        unsigned silent;
        int forceOldest;
        std::u16string firmwareFile;
        int forceCrash;
        bool hasSignature;
        std::u16string signatureFile;
    };

    int init(QV_Callback callback, void* context) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_inits;
        m_callback = callback;
        m_context = context;
        m_condition.notify_all();
        return 0;
    }
    void shutdown() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_shutdowns;
        m_callback = nullptr;
    }
    int getDeviceInfo(std::int64_t handle, QV_DEVICE_INFO* out) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!out)
            return 1;
        auto it = m_records.find(handle);
        if (it == m_records.end())
            return 8;
        *out = it->second;
        return 0;
    }
    int startDFU(std::int64_t handle, unsigned silent, int forceOldest, const WCHAR* firmwareFile, int forceCrash,
                 const WCHAR* signatureFile) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_starts.push_back({handle, silent, forceOldest, firmwareFile ? firmwareFile : u"", forceCrash,
                            signatureFile != nullptr, signatureFile ? signatureFile : u""});
        return m_startResult;
    }

    void set_record(std::int64_t handle, const QV_DEVICE_INFO& record)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records[handle] = record;
    }
    void drop_record(std::int64_t handle)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records.erase(handle);
    }
    void set_start_result(int result)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_startResult = result;
    }
    std::vector<StartCall> starts()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_starts;
    }
    // Raises an event as an engine thread would; false before init.
    bool raise(std::uint64_t handle, std::uint32_t event, std::uint64_t value)
    {
        QV_Callback callback;
        void* context;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            callback = m_callback;
            context = m_context;
        }
        if (!callback)
            return false;
        callback(context, handle, event, value);
        return true;
    }
    bool wait_for_init(std::chrono::milliseconds deadline = 20s)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, deadline, [&] { return m_inits > 0; });
    }
    int inits()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_inits;
    }
    int shutdowns()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_shutdowns;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::map<std::int64_t, QV_DEVICE_INFO> m_records;
    std::vector<StartCall> m_starts;
    int m_startResult = 0;
    int m_inits = 0;
    int m_shutdowns = 0;
    QV_Callback m_callback = nullptr;
    void* m_context = nullptr;
};

} // namespace app::test
