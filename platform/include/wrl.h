// The stand-in's component library for runtime objects: a counted pointer (`ComPtr`), a base
// that implements IUnknown/IInspectable over a list of interfaces (`RuntimeClass`), the agile
// marker (`FtmBase`) and `Make`. Every RuntimeClass object counts as a live object of the module
// while it exists, so tests can check that nothing leaks.
#pragma once

#include <inspectable.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

namespace Microsoft::WRL {

namespace Details {
inline std::atomic<long>& live_objects()
{
    static std::atomic<long> count{0};
    return count;
}
} // namespace Details

// Runtime objects of the module alive now.
inline long live_object_count() { return Details::live_objects().load(); }

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T* p) : m_p(p) { add(); }
    ComPtr(const ComPtr& other) : m_p(other.m_p) { add(); }
    ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& other) : m_p(other.Get())
    {
        add();
    }
    ~ComPtr() { Reset(); }
    ComPtr& operator=(const ComPtr& other)
    {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(T* p)
    {
        ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t)
    {
        Reset();
        return *this;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** GetAddressOf() { return &m_p; }
    T** ReleaseAndGetAddressOf()
    {
        Reset();
        return &m_p;
    }
    void Attach(T* p)
    {
        Reset();
        m_p = p;
    }
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    void Reset()
    {
        if (T* p = m_p) {
            m_p = nullptr;
            p->Release();
        }
    }
    void Swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }
    template <class U>
    HRESULT As(ComPtr<U>* out) const
    {
        if (!m_p)
            return E_POINTER;
        return m_p->QueryInterface(U::iid(), reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
    }
    // Into a pointer to T or to one of its interfaces.
    template <class U, class = std::enable_if_t<std::is_convertible_v<T*, U*>>>
    HRESULT CopyTo(U** out) const
    {
        if (!out)
            return E_POINTER;
        add();
        *out = m_p;
        return S_OK;
    }

private:
    void add() const
    {
        if (m_p)
            m_p->AddRef();
    }
    T* m_p = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b)
{
    return static_cast<const void*>(a.Get()) == static_cast<const void*>(b.Get());
}

// Marks an object as agile: it answers IAgileObject.
class FtmBase {
};

namespace Details {
template <class I>
inline constexpr bool is_interface = !std::is_same_v<I, FtmBase>;

template <class First, class...>
struct first_interface {
    using type = First;
};
} // namespace Details

// Implements IUnknown and IInspectable for the interfaces listed (FtmBase may be among them).
template <class... Interfaces>
class RuntimeClass : public Interfaces... {
public:
    RuntimeClass() { ++Details::live_objects(); }
    RuntimeClass(const RuntimeClass&) = delete;
    RuntimeClass& operator=(const RuntimeClass&) = delete;
    virtual ~RuntimeClass() { --Details::live_objects(); }

    // Not marked override: delegates derive from IUnknown alone, classes from IInspectable.
    virtual HRESULT QueryInterface(REFIID riid, void** object)
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (riid == IUnknown::iid() || riid == IInspectable::iid() ||
            (riid == IAgileObject::iid() && (std::is_same_v<Interfaces, FtmBase> || ...)))
            *object = static_cast<First*>(this);
        else
            (find<Interfaces>(riid, object) || ...);
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    virtual ULONG AddRef() { return ++m_references; }
    virtual ULONG Release()
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    virtual HRESULT GetIids(ULONG* count, IID** iids)
    {
        if (count)
            *count = 0;
        if (iids)
            *iids = nullptr;
        return S_OK;
    }
    virtual HRESULT GetRuntimeClassName(HSTRING* name)
    {
        if (name)
            *name = nullptr;
        return S_OK;
    }
    virtual HRESULT GetTrustLevel(TrustLevel* level)
    {
        if (level)
            *level = BaseTrust;
        return S_OK;
    }

private:
    using First = typename Details::first_interface<Interfaces...>::type;
    static_assert(Details::is_interface<First>, "list FtmBase after the interfaces");
    template <class I>
    bool find(REFIID riid, void** object)
    {
        if constexpr (Details::is_interface<I>) {
            if (riid == I::iid()) {
                *object = static_cast<I*>(this);
                return true;
            }
        }
        return false;
    }

    std::atomic<ULONG> m_references{1};
};

// Makes an object with one reference, held by the pointer returned (empty when out of memory).
template <class T, class... Args>
ComPtr<T> Make(Args&&... args)
{
    ComPtr<T> result;
    result.Attach(new (std::nothrow) T(std::forward<Args>(args)...));
    return result;
}

} // namespace Microsoft::WRL
