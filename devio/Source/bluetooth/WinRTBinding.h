// The Windows Runtime bound at run time: "combase.dll" is loaded on first use and each export
// looked up once, so the program runs where the runtime is missing. Activation failures become
// DevioException("hresult_error", 1, HRESULT).
#pragma once

#include "core/ErrorRecord.h"

#include <quillon/WideText.h>
#include <inspectable.h>
#include <wrl.h>

#include <cstdint>
#include <string>

namespace devio {

bool winrt_available();
HRESULT ro_initialize(std::uint32_t type);
HRESULT ro_get_activation_factory(HSTRING classId, REFIID iid, void** factory);
HRESULT ro_activate_instance(HSTRING classId, IInspectable** instance);
FARPROC combase_proc(const char* name);
FARPROC combase_string_proc(const char* name);

// Owns one HSTRING. The all-ones handle marks a holder that owns nothing.
class HString {
public:
    static constexpr std::uintptr_t kNothing = ~std::uintptr_t(0);

    HString() = default;
    explicit HString(HSTRING handle) : m_handle(handle) {}
    HString(const HString&) = delete;
    HString& operator=(const HString&) = delete;
    HString(HString&& other) noexcept : m_handle(other.release()) {}
    HString& operator=(HString&& other) noexcept;
    ~HString();

    HSTRING get() const { return m_handle; }
    HSTRING* put();
    HSTRING release();
    // The text as UTF-8 (empty for a null or unreadable handle).
    std::string utf8() const;

private:
    HSTRING m_handle = reinterpret_cast<HSTRING>(kNothing);
};

// WindowsCreateString of the characters and their length; a missing export leaves it null.
HString hstring_create(const quillon::WString& text);
void hstring_delete(HString& holder);
const WCHAR* hstring_raw_buffer(HSTRING string, std::uint32_t* length);
std::string hstring_to_utf8(HSTRING string);
quillon::WString utf8_to_utf16(const std::string& text);

// Throws DevioException("hresult_error", 1, hr) for a negative result.
void check_hresult(HRESULT hr);

// The factory of `className` as interface I; a new reference on every call.
template <class I>
Microsoft::WRL::ComPtr<I> get_activation_factory(const WCHAR* className)
{
    Microsoft::WRL::ComPtr<I> factory;
    HString name = hstring_create(className);
    check_hresult(ro_get_activation_factory(name.get(), I::iid(), reinterpret_cast<void**>(factory.GetAddressOf())));
    return factory;
}

} // namespace devio
