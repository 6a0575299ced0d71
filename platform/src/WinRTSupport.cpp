// Buffers, readers, the cryptographic buffer factory and the runtime's serial event thread.
#include "WinRTSupport.h"

#include <condition_variable>
#include <deque>

namespace platform::detail {

HSTRING make_hstring(const std::u16string& text)
{
    HSTRING out = nullptr;
    WindowsCreateString(text.c_str(), static_cast<std::uint32_t>(text.size()), &out);
    return out;
}

std::u16string hstring_text(HSTRING text)
{
    std::uint32_t length = 0;
    const WCHAR* raw = WindowsGetStringRawBuffer(text, &length);
    return std::u16string(raw, length);
}

std::vector<std::uint8_t> buffer_bytes(ABI::Windows::Storage::Streams::IBuffer* buffer)
{
    ComPtr<IBufferBytes> bytes;
    if (!buffer || FAILED(buffer->QueryInterface(IBufferBytes::iid(), reinterpret_cast<void**>(bytes.GetAddressOf()))))
        return {};
    return bytes->bytes();
}

namespace {

struct EventThread {
    std::mutex mutex;
    std::condition_variable ready;
    std::condition_variable idle;
    std::deque<std::function<void()>> queue;
    bool running = false;
    bool started = false;
};

EventThread& events()
{
    static EventThread& e = *new EventThread;  // its thread outlives static destruction
    return e;
}

void event_loop()
{
    EventThread& e = events();
    std::unique_lock<std::mutex> lock(e.mutex);
    for (;;) {
        e.ready.wait(lock, [&] { return !e.queue.empty(); });
        auto work = std::move(e.queue.front());
        e.queue.pop_front();
        e.running = true;
        lock.unlock();
        try {
            work();
        } catch (...) {
        }
        work = nullptr;
        lock.lock();
        e.running = false;
        if (e.queue.empty())
            e.idle.notify_all();
    }
}

class DataReader : public RuntimeClass<ABI::Windows::Storage::Streams::IDataReader, FtmBase> {
public:
    explicit DataReader(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    HRESULT get_UnconsumedBufferLength(std::uint32_t* value) override
    {
        *value = static_cast<std::uint32_t>(m_bytes.size() - m_position);
        return S_OK;
    }
    HRESULT ReadBytes(std::uint32_t count, BYTE* value) override
    {
        if (count > m_bytes.size() - m_position)
            return E_BOUNDS;
        if (count && !value)
            return E_POINTER;
        std::copy(m_bytes.begin() + m_position, m_bytes.begin() + m_position + count, value);
        m_position += count;
        return S_OK;
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_position = 0;
};

class DataReaderStatics : public RuntimeClass<ABI::Windows::Storage::Streams::IDataReaderStatics, FtmBase> {
public:
    HRESULT FromBuffer(ABI::Windows::Storage::Streams::IBuffer* buffer,
                       ABI::Windows::Storage::Streams::IDataReader** reader) override
    {
        if (!buffer || !reader)
            return E_POINTER;
        return Make<DataReader>(buffer_bytes(buffer)).CopyTo(reader);
    }
};

class CryptographicBufferStatics
    : public RuntimeClass<ABI::Windows::Security::Cryptography::ICryptographicBufferStatics, FtmBase> {
public:
    HRESULT CreateFromByteArray(std::uint32_t length, BYTE* value,
                                ABI::Windows::Storage::Streams::IBuffer** buffer) override
    {
        if (!buffer || (length && !value))
            return E_POINTER;
        return Make<Buffer>(std::vector<std::uint8_t>(value, value + length)).CopyTo(buffer);
    }
};

template <class T>
platform::sim::ActivationFactory factory_of()
{
    return [](REFIID iid, void** out) { return Make<T>()->QueryInterface(iid, out); };
}

const bool g_installed = [] {
    platform::sim::register_activation_factory(u"Windows.Storage.Streams.DataReader", factory_of<DataReaderStatics>());
    platform::sim::register_activation_factory(u"Windows.Security.Cryptography.CryptographicBuffer",
                                               factory_of<CryptographicBufferStatics>());
    return true;
}();

}  // namespace

void post_runtime_event(std::function<void()> event)
{
    EventThread& e = events();
    std::lock_guard<std::mutex> lock(e.mutex);
    e.queue.push_back(std::move(event));
    if (!e.started) {
        e.started = true;
        std::thread(event_loop).detach();
    }
    e.ready.notify_one();
}

}  // namespace platform::detail

namespace platform::sim {

bool wait_runtime_events(unsigned timeoutMs)
{
    auto& e = platform::detail::events();
    std::unique_lock<std::mutex> lock(e.mutex);
    return e.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return e.queue.empty() && !e.running; });
}

}  // namespace platform::sim
