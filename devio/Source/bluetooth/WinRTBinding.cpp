#include "bluetooth/WinRTBinding.h"

#include <quillon/WideText.h>

#include <mutex>

namespace devio {

namespace {

using RoInitializeFn = HRESULT (*)(std::uint32_t);
using RoGetActivationFactoryFn = HRESULT (*)(HSTRING, REFIID, void**);
using RoActivateInstanceFn = HRESULT (*)(HSTRING, IInspectable**);
using WindowsCreateStringFn = HRESULT (*)(const WCHAR*, std::uint32_t, HSTRING*);
using WindowsDeleteStringFn = HRESULT (*)(HSTRING);
using WindowsGetStringRawBufferFn = const WCHAR* (*)(HSTRING, std::uint32_t*);

constexpr DWORD kSearchSystem32 = 0x800;

HMODULE load_combase()
{
    return LoadLibraryExW(QUILLON_W("combase.dll"), nullptr, kSearchSystem32);
}

// Two module handles, one per group of exports, each loaded at most once and never freed.
HMODULE runtime_module()
{
    static const HMODULE module = load_combase();
    return module;
}

HMODULE string_module()
{
    static const HMODULE module = load_combase();
    return module;
}

template <class F>
F cast(FARPROC proc)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

RoInitializeFn ro_initialize_fn()
{
    static const auto fn = cast<RoInitializeFn>(combase_proc("RoInitialize"));
    return fn;
}
RoGetActivationFactoryFn ro_get_activation_factory_fn()
{
    static const auto fn = cast<RoGetActivationFactoryFn>(combase_proc("RoGetActivationFactory"));
    return fn;
}
RoActivateInstanceFn ro_activate_instance_fn()
{
    static const auto fn = cast<RoActivateInstanceFn>(combase_proc("RoActivateInstance"));
    return fn;
}
WindowsCreateStringFn create_string_fn()
{
    static const auto fn = cast<WindowsCreateStringFn>(combase_string_proc("WindowsCreateString"));
    return fn;
}
WindowsDeleteStringFn delete_string_fn()
{
    static const auto fn = cast<WindowsDeleteStringFn>(combase_string_proc("WindowsDeleteString"));
    return fn;
}
WindowsGetStringRawBufferFn raw_buffer_fn()
{
    static const auto fn = cast<WindowsGetStringRawBufferFn>(combase_string_proc("WindowsGetStringRawBuffer"));
    return fn;
}

} // namespace

FARPROC combase_proc(const char* name)
{
    HMODULE module = runtime_module();
    return module ? GetProcAddress(module, name) : nullptr;
}

FARPROC combase_string_proc(const char* name)
{
    HMODULE module = string_module();
    return module ? GetProcAddress(module, name) : nullptr;
}

bool winrt_available()
{
    return ro_initialize_fn() && ro_get_activation_factory_fn() && ro_activate_instance_fn();
}

HRESULT ro_initialize(std::uint32_t type)
{
    auto fn = ro_initialize_fn();
    return fn ? fn(type) : E_FAIL;
}

HRESULT ro_get_activation_factory(HSTRING classId, REFIID iid, void** factory)
{
    auto fn = ro_get_activation_factory_fn();
    return fn ? fn(classId, iid, factory) : E_FAIL;
}

HRESULT ro_activate_instance(HSTRING classId, IInspectable** instance)
{
    auto fn = ro_activate_instance_fn();
    return fn ? fn(classId, instance) : E_FAIL;
}

HString& HString::operator=(HString&& other) noexcept
{
    if (this != &other) {
        hstring_delete(*this);
        m_handle = other.release();
    }
    return *this;
}

HString::~HString() { hstring_delete(*this); }

HSTRING* HString::put()
{
    hstring_delete(*this);
    m_handle = nullptr;
    return &m_handle;
}

HSTRING HString::release()
{
    HSTRING handle = m_handle;
    m_handle = reinterpret_cast<HSTRING>(kNothing);
    return handle;
}

std::string HString::utf8() const
{
    if (reinterpret_cast<std::uintptr_t>(m_handle) == kNothing)
        return {};
    return hstring_to_utf8(m_handle);
}

HString hstring_create(const quillon::WString& text)
{
    HString holder(nullptr);
    if (auto fn = create_string_fn())
        fn(text.c_str(), static_cast<std::uint32_t>(text.size()), holder.put());
    return holder;
}

void hstring_delete(HString& holder)
{
    HSTRING handle = holder.release();
    if (reinterpret_cast<std::uintptr_t>(handle) == HString::kNothing)
        return;
    if (auto fn = delete_string_fn())
        fn(handle);
}

const WCHAR* hstring_raw_buffer(HSTRING string, std::uint32_t* length)
{
    auto fn = raw_buffer_fn();
    return fn ? fn(string, length) : nullptr;
}

std::string hstring_to_utf8(HSTRING string)
{
    std::uint32_t length = 0;
    const WCHAR* raw = hstring_raw_buffer(string, &length);
    if (!raw || length == 0)
        return {};
    std::vector<WCHAR> text(raw, raw + length);
    text.push_back(0);
    std::string out;
    const int size = WideCharToMultiByte(65001, 0, text.data(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return out;
    out.resize(size);
    WideCharToMultiByte(65001, 0, text.data(), -1, out.data(), size, nullptr, nullptr);
    out.resize(size - 1);
    return out;
}

quillon::WString utf8_to_utf16(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(65001, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    quillon::WString out(size > 0 ? size : 0, WCHAR(0));
    if (size > 0)
        MultiByteToWideChar(65001, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

void check_hresult(HRESULT hr)
{
    if (FAILED(hr))
        throw DevioException("hresult_error", 1, static_cast<std::uint32_t>(hr));
}

} // namespace devio
