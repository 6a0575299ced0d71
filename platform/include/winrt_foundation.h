// The stand-in's Windows Runtime foundation: asynchronous operations, typed event handlers,
// collections, property values and buffers. Parameterised interfaces take their ABI type
// arguments directly (an interface pointer, an enumeration, HSTRING or a scalar); their ids
// are derived from the generic interface's id and the arguments' ids.
#pragma once

#include <inspectable.h>

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <typeinfo>

namespace ABI::Windows::Foundation {

namespace Details {
inline std::uint64_t fnv(const char* text, std::uint64_t h = 1469598103934665603ull)
{
    for (; *text; ++text)
        h = (h ^ static_cast<unsigned char>(*text)) * 1099511628211ull;
    return h;
}
inline std::uint64_t guid_hash(const GUID& g)
{
    std::uint64_t h = g.Data1 * 0x9E3779B97F4A7C15ull ^ (std::uint64_t(g.Data2) << 16 | g.Data3);
    for (BYTE b : g.Data4)
        h = (h ^ b) * 1099511628211ull;
    return h;
}
template <class T>
std::uint64_t type_hash()
{
    if constexpr (std::is_same_v<T, HSTRING>)
        return fnv("HSTRING");
    else if constexpr (std::is_pointer_v<T> && std::is_base_of_v<IUnknown, std::remove_pointer_t<T>>)
        return guid_hash(std::remove_pointer_t<T>::iid());
    else
        return fnv(typeid(T).name());
}
template <class... Args>
IID derive(const IID& generic)
{
    std::uint64_t h = guid_hash(generic);
    ((h = (h ^ type_hash<Args>()) * 1099511628211ull), ...);
    IID id = generic;
    id.Data1 ^= static_cast<DWORD>(h);
    id.Data2 ^= static_cast<WORD>(h >> 32);
    id.Data3 ^= static_cast<WORD>(h >> 48);
    return id;
}
} // namespace Details

enum AsyncStatus { Started = 0, Completed = 1, Canceled = 2, Error = 3 };

struct IAsyncInfo : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x00000036, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
        return id;
    }
    virtual HRESULT get_Id(std::uint32_t* id) = 0;
    virtual HRESULT get_Status(AsyncStatus* status) = 0;
    virtual HRESULT get_ErrorCode(HRESULT* code) = 0;
    virtual HRESULT Cancel() = 0;
    virtual HRESULT Close() = 0;

protected:
    ~IAsyncInfo() = default;
};

template <class R>
struct IAsyncOperation;

template <class R>
struct IAsyncOperationCompletedHandler : IUnknown {
    static const IID& iid()
    {
        static const IID id = Details::derive<R>({0xFCDCF02C, 0xE5D8, 0x4478, {0x91, 0x5A, 0x4D, 0x90, 0xB7, 0x4B, 0x83, 0xA5}});
        return id;
    }
    virtual HRESULT Invoke(IAsyncOperation<R>* operation, AsyncStatus status) = 0;

protected:
    ~IAsyncOperationCompletedHandler() = default;
};

// R: the ABI result, an interface pointer or a value.
template <class R>
struct IAsyncOperation : IInspectable {
    static const IID& iid()
    {
        static const IID id = Details::derive<R>({0x9FC2B0BB, 0xE446, 0x44E2, {0xAA, 0x61, 0x9C, 0xAB, 0x8F, 0x63, 0x6A, 0xF2}});
        return id;
    }
    virtual HRESULT put_Completed(IAsyncOperationCompletedHandler<R>* handler) = 0;
    virtual HRESULT get_Completed(IAsyncOperationCompletedHandler<R>** handler) = 0;
    virtual HRESULT GetResults(R* results) = 0;

protected:
    ~IAsyncOperation() = default;
};

template <class Sender, class Args>
struct ITypedEventHandler : IUnknown {
    static const IID& iid()
    {
        static const IID id =
            Details::derive<Sender, Args>({0x9DE1C534, 0x6AE1, 0x11E0, {0x84, 0xE1, 0x18, 0xA9, 0x05, 0xBC, 0xC5, 0x3F}});
        return id;
    }
    virtual HRESULT Invoke(Sender sender, Args args) = 0;

protected:
    ~ITypedEventHandler() = default;
};

struct IPropertyValue : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x4BD682DD, 0x7554, 0x40E9, {0x9A, 0x9B, 0x82, 0x65, 0x4E, 0xDE, 0x7E, 0x62}};
        return id;
    }
    virtual HRESULT GetString(HSTRING* value) = 0;
    virtual HRESULT GetBoolean(boolean* value) = 0;

protected:
    ~IPropertyValue() = default;
};

} // namespace ABI::Windows::Foundation

namespace ABI::Windows::Foundation::Collections {

using ABI::Windows::Foundation::Details::derive;

enum CollectionChange { CollectionChange_Reset = 0, CollectionChange_ItemInserted = 1,
                        CollectionChange_ItemRemoved = 2, CollectionChange_ItemChanged = 3 };

template <class T>
struct IIterator : IInspectable {
    static const IID& iid()
    {
        static const IID id = derive<T>({0x6A79E863, 0x4300, 0x459A, {0x99, 0x66, 0xCB, 0xB6, 0x60, 0x96, 0x3E, 0xE1}});
        return id;
    }
    virtual HRESULT get_Current(T* current) = 0;
    virtual HRESULT get_HasCurrent(boolean* has) = 0;
    virtual HRESULT MoveNext(boolean* has) = 0;
    virtual HRESULT GetMany(std::uint32_t capacity, T* items, std::uint32_t* actual) = 0;

protected:
    ~IIterator() = default;
};

template <class T>
struct IIterable : IInspectable {
    static const IID& iid()
    {
        static const IID id = derive<T>({0xFAA585EA, 0x6214, 0x4217, {0xAF, 0xDA, 0x7F, 0x46, 0xDE, 0x58, 0x69, 0xB3}});
        return id;
    }
    virtual HRESULT First(IIterator<T>** first) = 0;

protected:
    ~IIterable() = default;
};

template <class T>
struct IVectorView : IInspectable {
    static const IID& iid()
    {
        static const IID id = derive<T>({0xBBE1FA4C, 0xB0E3, 0x4583, {0xBA, 0xEF, 0x1F, 0x1B, 0x2E, 0x48, 0x3E, 0x56}});
        return id;
    }
    virtual HRESULT GetAt(std::uint32_t index, T* item) = 0;
    virtual HRESULT get_Size(std::uint32_t* size) = 0;
    virtual HRESULT IndexOf(T item, std::uint32_t* index, boolean* found) = 0;
    virtual HRESULT GetMany(std::uint32_t start, std::uint32_t capacity, T* items, std::uint32_t* actual) = 0;

protected:
    ~IVectorView() = default;
};

template <class T>
struct IVector : IInspectable {
    static const IID& iid()
    {
        static const IID id = derive<T>({0x913337E9, 0x11A1, 0x4345, {0xA3, 0xA2, 0x4E, 0x7F, 0x95, 0x6E, 0x22, 0x2D}});
        return id;
    }
    virtual HRESULT GetAt(std::uint32_t index, T* item) = 0;
    virtual HRESULT get_Size(std::uint32_t* size) = 0;
    virtual HRESULT GetView(IVectorView<T>** view) = 0;
    virtual HRESULT IndexOf(T item, std::uint32_t* index, boolean* found) = 0;
    virtual HRESULT SetAt(std::uint32_t index, T item) = 0;
    virtual HRESULT InsertAt(std::uint32_t index, T item) = 0;
    virtual HRESULT RemoveAt(std::uint32_t index) = 0;
    virtual HRESULT Append(T item) = 0;
    virtual HRESULT RemoveAtEnd() = 0;
    virtual HRESULT Clear() = 0;
    virtual HRESULT GetMany(std::uint32_t start, std::uint32_t capacity, T* items, std::uint32_t* actual) = 0;
    virtual HRESULT ReplaceAll(std::uint32_t count, T* items) = 0;

protected:
    ~IVector() = default;
};

struct IVectorChangedEventArgs : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x575933DF, 0x34FE, 0x4480, {0xAF, 0x15, 0x07, 0x69, 0x1F, 0x3D, 0x5D, 0x9B}};
        return id;
    }
    virtual HRESULT get_CollectionChange(CollectionChange* change) = 0;
    virtual HRESULT get_Index(std::uint32_t* index) = 0;

protected:
    ~IVectorChangedEventArgs() = default;
};

template <class T>
struct IObservableVector;

template <class T>
struct VectorChangedEventHandler : IUnknown {
    static const IID& iid()
    {
        static const IID id = derive<T>({0x0C051752, 0x9FBF, 0x4C70, {0xAA, 0x0C, 0x0E, 0x4C, 0x82, 0xD9, 0xA7, 0x61}});
        return id;
    }
    virtual HRESULT Invoke(IObservableVector<T>* sender, IVectorChangedEventArgs* args) = 0;

protected:
    ~VectorChangedEventHandler() = default;
};

template <class T>
struct IObservableVector : IInspectable {
    static const IID& iid()
    {
        static const IID id = derive<T>({0x5917EB53, 0x50B4, 0x4A0D, {0xB3, 0x09, 0x65, 0x86, 0x2B, 0x3F, 0x1D, 0xBC}});
        return id;
    }
    virtual HRESULT add_VectorChanged(VectorChangedEventHandler<T>* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_VectorChanged(EventRegistrationToken token) = 0;

protected:
    ~IObservableVector() = default;
};

template <class K, class V>
struct IMapView : IInspectable {
    static const IID& iid()
    {
        static const IID id = derive<K, V>({0xE480CE40, 0xA338, 0x4ADA, {0xAD, 0xCF, 0x27, 0x22, 0x72, 0xE4, 0x8C, 0xB9}});
        return id;
    }
    virtual HRESULT Lookup(K key, V* value) = 0;
    virtual HRESULT get_Size(std::uint32_t* size) = 0;
    virtual HRESULT HasKey(K key, boolean* found) = 0;

protected:
    ~IMapView() = default;
};

} // namespace ABI::Windows::Foundation::Collections
