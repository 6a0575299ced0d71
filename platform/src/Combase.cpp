// "combase.dll": HSTRINGs, activation by class name, RoInitialize; and the runtime's threads.
#include "KernelObject.h"

#include <inspectable.h>
#include <sim/WinRT.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

struct HSTRING__ {
    std::u16string text;
};

namespace {

std::atomic<long> g_live_strings{0};
std::atomic<unsigned> g_initialize_count{0};

struct Classes {
    std::mutex mutex;
    std::map<std::u16string, platform::sim::ActivationFactory> factories;
    std::map<std::u16string, platform::sim::Activator> activators;
};

Classes& classes()
{
    static Classes& c = *new Classes;  // threads may still activate at exit
    return c;
}

// Runtime threads: a worker takes queued work; when none is idle a new one is started, so a
// handler that blocks never holds up another completion.
struct Pool {
    std::mutex mutex;
    std::condition_variable work_ready;
    std::condition_variable idle;
    std::deque<std::function<void()>> queue;
    unsigned threads = 0;
    unsigned waiting = 0;
    unsigned running = 0;
};

Pool& pool()
{
    static Pool& p = *new Pool;  // its threads outlive static destruction
    return p;
}

thread_local bool t_runtime_thread = false;

void worker()
{
    t_runtime_thread = true;
    Pool& p = pool();
    std::unique_lock<std::mutex> lock(p.mutex);
    for (;;) {
        ++p.waiting;
        p.work_ready.wait(lock, [&] { return !p.queue.empty(); });
        --p.waiting;
        std::function<void()> work = std::move(p.queue.front());
        p.queue.pop_front();
        ++p.running;
        lock.unlock();
        try {
            work();
        } catch (...) {
            // The runtime never lets a handler's exception escape its thread.
        }
        work = nullptr;
        lock.lock();
        --p.running;
        if (p.running == 0 && p.queue.empty())
            p.idle.notify_all();
    }
}

} // namespace

namespace platform::sim {

void register_activation_factory(const std::u16string& className, ActivationFactory factory)
{
    std::lock_guard<std::mutex> lock(classes().mutex);
    classes().factories[className] = std::move(factory);
}

void register_activatable_class(const std::u16string& className, Activator activator)
{
    std::lock_guard<std::mutex> lock(classes().mutex);
    classes().activators[className] = std::move(activator);
}

void unregister_runtime_class(const std::u16string& className)
{
    std::lock_guard<std::mutex> lock(classes().mutex);
    classes().factories.erase(className);
    classes().activators.erase(className);
}

void run_on_runtime_thread(std::function<void()> work)
{
    Pool& p = pool();
    std::lock_guard<std::mutex> lock(p.mutex);
    p.queue.push_back(std::move(work));
    if (p.waiting < p.queue.size()) {
        ++p.threads;
        std::thread(worker).detach();
    }
    p.work_ready.notify_one();
}

bool wait_runtime_idle(unsigned timeoutMs)
{
    Pool& p = pool();
    std::unique_lock<std::mutex> lock(p.mutex);
    return p.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return p.running == 0 && p.queue.empty(); });
}

bool on_runtime_thread() { return t_runtime_thread; }

long live_hstring_count() { return g_live_strings.load(); }
unsigned ro_initialize_count() { return g_initialize_count.load(); }

std::u16string to_utf16(const std::string& utf8) { return platform::detail::utf8_to_utf16(utf8); }
std::string to_utf8(const std::u16string& utf16) { return platform::detail::utf16_to_utf8(utf16); }

} // namespace platform::sim

HRESULT RoInitialize(std::uint32_t type)
{
    if (type > 1)
        return E_INVALIDARG;
    ++g_initialize_count;
    return S_OK;
}

HRESULT WindowsCreateString(const WCHAR* text, std::uint32_t length, HSTRING* string)
{
    if (!string)
        return E_INVALIDARG;
    *string = nullptr;
    if (!text && length != 0)
        return E_POINTER;
    if (length == 0)
        return S_OK;  // the empty string is the null handle
    *string = new HSTRING__{std::u16string(text, length)};
    ++g_live_strings;
    return S_OK;
}

HRESULT WindowsDeleteString(HSTRING string)
{
    if (string) {
        delete string;
        --g_live_strings;
    }
    return S_OK;
}

const WCHAR* WindowsGetStringRawBuffer(HSTRING string, std::uint32_t* length)
{
    static const WCHAR empty[1] = {0};
    if (!string) {
        if (length)
            *length = 0;
        return empty;
    }
    if (length)
        *length = static_cast<std::uint32_t>(string->text.size());
    return string->text.c_str();
}

namespace {
std::u16string class_name(HSTRING classId)
{
    std::uint32_t length = 0;
    const WCHAR* raw = WindowsGetStringRawBuffer(classId, &length);
    return std::u16string(raw, length);
}
} // namespace

HRESULT RoGetActivationFactory(HSTRING classId, REFIID iid, void** factory)
{
    if (!factory)
        return E_POINTER;
    *factory = nullptr;
    platform::sim::ActivationFactory found;
    {
        std::lock_guard<std::mutex> lock(classes().mutex);
        auto it = classes().factories.find(class_name(classId));
        if (it == classes().factories.end())
            return REGDB_E_CLASSNOTREG;
        found = it->second;
    }
    return found(iid, factory);
}

HRESULT RoActivateInstance(HSTRING classId, IInspectable** instance)
{
    if (!instance)
        return E_POINTER;
    *instance = nullptr;
    platform::sim::Activator found;
    {
        std::lock_guard<std::mutex> lock(classes().mutex);
        auto it = classes().activators.find(class_name(classId));
        if (it == classes().activators.end())
            return REGDB_E_CLASSNOTREG;
        found = it->second;
    }
    return found(instance);
}

namespace platform::detail {
namespace {
template <class F>
FARPROC entry(F* function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const bool g_installed = [] {
    register_module("combase.dll", {
        {"RoInitialize", entry(&RoInitialize)},
        {"RoGetActivationFactory", entry(&RoGetActivationFactory)},
        {"RoActivateInstance", entry(&RoActivateInstance)},
        {"WindowsCreateString", entry(&WindowsCreateString)},
        {"WindowsDeleteString", entry(&WindowsDeleteString)},
        {"WindowsGetStringRawBuffer", entry(&WindowsGetStringRawBuffer)},
    });
    return true;
}();
} // namespace
} // namespace platform::detail
