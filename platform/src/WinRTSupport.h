// Internal building blocks of the stand-in Windows Runtime classes: event sources, the serial
// event thread, vector views, property maps and values, buffers.
#pragma once

#include "KernelObject.h"

#include <inspectable.h>
#include <sim/WinRT.h>
#include <sim/WinRTAsync.h>
#include <winrt_bluetooth.h>
#include <wrl.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::detail {

using Microsoft::WRL::ComPtr;
using Microsoft::WRL::FtmBase;
using Microsoft::WRL::Make;
using Microsoft::WRL::RuntimeClass;

HSTRING make_hstring(const std::u16string& text);
std::u16string hstring_text(HSTRING text);

// Watcher, radio and advertisement events run here, one after the other.
void post_runtime_event(std::function<void()> event);

// Handlers of one event. Removing one waits for its call in progress (unless on that call's thread).
template <class Handler>
class EventSource {
public:
    HRESULT add(Handler* handler, EventRegistrationToken* token)
    {
        if (!handler || !token)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_mutex);
        token->value = ++m_next;
        m_handlers[token->value] = handler;
        return S_OK;
    }
    HRESULT remove(EventRegistrationToken token)
    {
        std::lock_guard<std::recursive_mutex> delivery(m_delivery);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handlers.erase(token.value);
        return S_OK;
    }
    template <class... Args>
    void invoke(Args... args)
    {
        std::lock_guard<std::recursive_mutex> delivery(m_delivery);
        std::vector<ComPtr<Handler>> handlers;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const auto& entry : m_handlers)
                handlers.push_back(entry.second);
        }
        for (const auto& h : handlers)
            h->Invoke(args...);
    }
    bool empty()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_handlers.empty();
    }

private:
    std::recursive_mutex m_delivery;
    std::mutex m_mutex;
    std::map<std::int64_t, ComPtr<Handler>> m_handlers;
    std::int64_t m_next = 0;
};

// A read-only vector of interface pointers or values.
template <class T>
class VectorView : public RuntimeClass<ABI::Windows::Foundation::Collections::IVectorView<T>, FtmBase> {
public:
    static constexpr bool holds_interface = std::is_pointer_v<T>;
    using Stored = std::conditional_t<holds_interface, ComPtr<std::remove_pointer_t<T>>, T>;
    explicit VectorView(std::vector<Stored> items) : m_items(std::move(items)) {}
    HRESULT GetAt(std::uint32_t index, T* item) override
    {
        if (index >= m_items.size())
            return E_BOUNDS;
        if constexpr (holds_interface)
            return m_items[index].CopyTo(item);
        else
            *item = m_items[index];
        return S_OK;
    }
    HRESULT get_Size(std::uint32_t* size) override
    {
        *size = static_cast<std::uint32_t>(m_items.size());
        return S_OK;
    }
    HRESULT IndexOf(T, std::uint32_t* index, boolean* found) override
    {
        *index = 0;
        *found = false;
        return S_OK;
    }
    HRESULT GetMany(std::uint32_t start, std::uint32_t capacity, T* items, std::uint32_t* actual) override
    {
        if (start > m_items.size())
            return E_BOUNDS;
        std::uint32_t n = 0;
        for (; n < capacity && start + n < m_items.size(); ++n)
            GetAt(start + n, &items[n]);
        *actual = n;
        return S_OK;
    }

private:
    std::vector<Stored> m_items;
};

class PropertyValue : public RuntimeClass<ABI::Windows::Foundation::IPropertyValue, FtmBase> {
public:
    explicit PropertyValue(std::u16string text) : m_text(std::move(text)), m_is_text(true) {}
    explicit PropertyValue(bool value) : m_bool(value) {}
    HRESULT GetString(HSTRING* value) override
    {
        if (!m_is_text)
            return E_INVALIDARG;
        *value = make_hstring(m_text);
        return S_OK;
    }
    HRESULT GetBoolean(boolean* value) override
    {
        if (m_is_text)
            return E_INVALIDARG;
        *value = m_bool;
        return S_OK;
    }

private:
    std::u16string m_text;
    bool m_is_text = false;
    bool m_bool = false;
};

class PropertyMap : public RuntimeClass<ABI::Windows::Devices::Enumeration::PropertyMap, FtmBase> {
public:
    void set(const std::u16string& key, ComPtr<IInspectable> value) { m_values[key] = std::move(value); }
    HRESULT Lookup(HSTRING key, IInspectable** value) override
    {
        auto it = m_values.find(hstring_text(key));
        if (it == m_values.end())
            return E_BOUNDS;
        return it->second.CopyTo(value);
    }
    HRESULT get_Size(std::uint32_t* size) override
    {
        *size = static_cast<std::uint32_t>(m_values.size());
        return S_OK;
    }
    HRESULT HasKey(HSTRING key, boolean* found) override
    {
        *found = m_values.count(hstring_text(key)) != 0;
        return S_OK;
    }

private:
    std::map<std::u16string, ComPtr<IInspectable>> m_values;
};

// Gives the stand-in's readers the bytes of its buffers.
struct IBufferBytes : IUnknown {
    static const IID& iid()
    {
        static const IID id = {0x51C3B2A7, 0x0E2F, 0x4C8B, {0x9A, 0x01, 0x5E, 0x3F, 0x6D, 0x11, 0x22, 0x33}};
        return id;
    }
    virtual const std::vector<std::uint8_t>& bytes() = 0;

protected:
    ~IBufferBytes() = default;
};

class Buffer : public RuntimeClass<ABI::Windows::Storage::Streams::IBuffer, IBufferBytes, FtmBase> {
public:
    explicit Buffer(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    HRESULT get_Capacity(std::uint32_t* value) override
    {
        *value = static_cast<std::uint32_t>(m_bytes.size());
        return S_OK;
    }
    HRESULT get_Length(std::uint32_t* value) override
    {
        *value = static_cast<std::uint32_t>(m_bytes.size());
        return S_OK;
    }
    HRESULT put_Length(std::uint32_t value) override
    {
        if (value > m_bytes.size())
            return E_INVALIDARG;
        m_bytes.resize(value);
        return S_OK;
    }
    const std::vector<std::uint8_t>& bytes() override { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

std::vector<std::uint8_t> buffer_bytes(ABI::Windows::Storage::Streams::IBuffer* buffer);

}  // namespace platform::detail
