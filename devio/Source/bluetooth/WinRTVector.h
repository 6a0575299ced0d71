// A writable, observable runtime vector that the system hands to the platform (the device
// watchers' property list). It stores the handles it is given: the caller keeps the strings
// alive while the vector is in use. Views are invalidated by any change of their vector.
#pragma once

#include <winrt_foundation.h>
#include <wrl.h>

#include <cstdint>
#include <map>
#include <vector>

namespace devio {

template <class T>
class WinRTVector;

namespace internal {

using ABI::Windows::Foundation::Collections::CollectionChange;

class WinRTVectorChangedEventArgs
    : public Microsoft::WRL::RuntimeClass<ABI::Windows::Foundation::Collections::IVectorChangedEventArgs,
                                          Microsoft::WRL::FtmBase> {
public:
    WinRTVectorChangedEventArgs(CollectionChange change, std::uint32_t index) : m_change(change), m_index(index) {}
    HRESULT get_CollectionChange(CollectionChange* change) override
    {
        *change = m_change;
        return S_OK;
    }
    HRESULT get_Index(std::uint32_t* index) override
    {
        *index = m_index;
        return S_OK;
    }

private:
    CollectionChange m_change;
    std::uint32_t m_index;
};

template <class T>
class WinRTVectorView
    : public Microsoft::WRL::RuntimeClass<ABI::Windows::Foundation::Collections::IVectorView<T>,
                                          ABI::Windows::Foundation::Collections::VectorChangedEventHandler<T>,
                                          Microsoft::WRL::FtmBase> {
public:
    explicit WinRTVectorView(Microsoft::WRL::ComPtr<WinRTVector<T>> vector) : m_vector(std::move(vector))
    {
        if (FAILED(m_vector->add_VectorChanged(this, &m_token)))
            m_vector.Reset();
    }
    ~WinRTVectorView() override { unregister(); }

    HRESULT GetAt(std::uint32_t index, T* item) override
    {
        return m_vector ? m_vector->GetAt(index, item) : E_CHANGED_STATE;
    }
    HRESULT get_Size(std::uint32_t* size) override { return m_vector ? m_vector->get_Size(size) : E_CHANGED_STATE; }
    HRESULT IndexOf(T item, std::uint32_t* index, boolean* found) override
    {
        return m_vector ? m_vector->IndexOf(item, index, found) : E_CHANGED_STATE;
    }
    HRESULT GetMany(std::uint32_t start, std::uint32_t capacity, T* items, std::uint32_t* actual) override
    {
        return m_vector ? m_vector->GetMany(start, capacity, items, actual) : E_CHANGED_STATE;
    }
    // Any change of the vector ends this view.
    HRESULT Invoke(ABI::Windows::Foundation::Collections::IObservableVector<T>*,
                   ABI::Windows::Foundation::Collections::IVectorChangedEventArgs*) override
    {
        unregister();
        return S_OK;
    }

private:
    void unregister()
    {
        if (auto vector = std::move(m_vector))
            vector->remove_VectorChanged(m_token);
    }
    Microsoft::WRL::ComPtr<WinRTVector<T>> m_vector;
    EventRegistrationToken m_token{};
};

template <class T>
class WinRTVectorIterator
    : public Microsoft::WRL::RuntimeClass<ABI::Windows::Foundation::Collections::IIterator<T>, Microsoft::WRL::FtmBase> {
public:
    explicit WinRTVectorIterator(Microsoft::WRL::ComPtr<ABI::Windows::Foundation::Collections::IVectorView<T>> view)
        : m_view(std::move(view))
    {
    }
    HRESULT get_Current(T* current) override { return m_view->GetAt(m_position, current); }
    // Past the end: false with success, as the platform's own iterators answer.
    HRESULT get_HasCurrent(boolean* has) override
    {
        *has = false;
        std::uint32_t size = 0;
        HRESULT hr = m_view->get_Size(&size);
        if (FAILED(hr))
            return hr;
        *has = m_position < size;
        return S_OK;
    }
    HRESULT MoveNext(boolean* has) override
    {
        ++m_position;
        return get_HasCurrent(has);
    }
    HRESULT GetMany(std::uint32_t capacity, T* items, std::uint32_t* actual) override
    {
        return m_view->GetMany(m_position, capacity, items, actual);
    }

private:
    Microsoft::WRL::ComPtr<ABI::Windows::Foundation::Collections::IVectorView<T>> m_view;
    std::uint32_t m_position = 0;
};

} // namespace internal

template <class T>
class WinRTVector
    : public Microsoft::WRL::RuntimeClass<ABI::Windows::Foundation::Collections::IVector<T>,
                                          ABI::Windows::Foundation::Collections::IObservableVector<T>,
                                          ABI::Windows::Foundation::Collections::IIterable<T>, Microsoft::WRL::FtmBase> {
public:
    using Handler = ABI::Windows::Foundation::Collections::VectorChangedEventHandler<T>;
    using Change = ABI::Windows::Foundation::Collections::CollectionChange;

    HRESULT GetAt(std::uint32_t index, T* item) override
    {
        if (index >= m_items.size())
            return E_BOUNDS;
        *item = m_items[index];
        return S_OK;
    }
    HRESULT get_Size(std::uint32_t* size) override
    {
        *size = static_cast<std::uint32_t>(m_items.size());
        return S_OK;
    }
    HRESULT GetView(ABI::Windows::Foundation::Collections::IVectorView<T>** view) override
    {
        auto made = Microsoft::WRL::Make<internal::WinRTVectorView<T>>(Microsoft::WRL::ComPtr<WinRTVector>(this));
        if (!made)
            return E_OUTOFMEMORY;
        *view = made.Detach();
        return S_OK;
    }
    HRESULT IndexOf(T item, std::uint32_t* index, boolean* found) override
    {
        for (std::uint32_t i = 0; i < m_items.size(); ++i)
            if (m_items[i] == item) {
                *index = i;
                *found = true;
                return S_OK;
            }
        *index = 0;
        *found = false;
        return S_OK;
    }
    HRESULT SetAt(std::uint32_t index, T item) override
    {
        if (index >= m_items.size())
            return E_BOUNDS;
        m_items[index] = item;
        return raise(ABI::Windows::Foundation::Collections::CollectionChange_ItemChanged, index);
    }
    HRESULT InsertAt(std::uint32_t index, T item) override
    {
        if (index > m_items.size())
            return E_BOUNDS;
        m_items.insert(m_items.begin() + index, item);
        return raise(ABI::Windows::Foundation::Collections::CollectionChange_ItemInserted, index);
    }
    HRESULT RemoveAt(std::uint32_t index) override
    {
        if (index >= m_items.size())
            return E_BOUNDS;
        m_items.erase(m_items.begin() + index);
        return raise(ABI::Windows::Foundation::Collections::CollectionChange_ItemRemoved, index);
    }
    HRESULT Append(T item) override
    {
        m_items.push_back(item);
        return raise(ABI::Windows::Foundation::Collections::CollectionChange_ItemInserted,
                     static_cast<std::uint32_t>(m_items.size() - 1));
    }
    HRESULT RemoveAtEnd() override
    {
        if (m_items.empty())
            return E_BOUNDS;
        m_items.pop_back();
        return raise(ABI::Windows::Foundation::Collections::CollectionChange_ItemRemoved,
                     static_cast<std::uint32_t>(m_items.size()));
    }
    HRESULT Clear() override
    {
        m_items.clear();
        return raise(ABI::Windows::Foundation::Collections::CollectionChange_Reset, 0);
    }
    HRESULT GetMany(std::uint32_t start, std::uint32_t capacity, T* items, std::uint32_t* actual) override
    {
        if (start > m_items.size())
            return E_BOUNDS;
        const std::uint32_t count = std::min<std::uint32_t>(capacity, static_cast<std::uint32_t>(m_items.size()) - start);
        for (std::uint32_t i = 0; i < count; ++i)
            items[i] = m_items[start + i];
        *actual = count;
        return S_OK;
    }
    HRESULT ReplaceAll(std::uint32_t count, T* items) override
    {
        if (count > m_items.capacity())
            m_items.reserve(std::max<std::size_t>(count, m_items.capacity() + m_items.capacity() / 2));
        m_items.assign(items, items + count);
        return raise(ABI::Windows::Foundation::Collections::CollectionChange_Reset, 0);
    }

    HRESULT add_VectorChanged(Handler* handler, EventRegistrationToken* token) override
    {
        token->value = m_next_token++;
        m_handlers[token->value] = handler;
        return S_OK;
    }
    HRESULT remove_VectorChanged(EventRegistrationToken token) override
    {
        m_handlers.erase(token.value);
        return S_OK;
    }

    HRESULT First(ABI::Windows::Foundation::Collections::IIterator<T>** first) override
    {
        Microsoft::WRL::ComPtr<ABI::Windows::Foundation::Collections::IVectorView<T>> view;
        HRESULT hr = GetView(view.GetAddressOf());
        if (FAILED(hr))
            return hr;
        auto iterator = Microsoft::WRL::Make<internal::WinRTVectorIterator<T>>(std::move(view));
        if (!iterator)
            return E_OUTOFMEMORY;
        *first = iterator.Detach();
        return S_OK;
    }

private:
    HRESULT raise(Change change, std::uint32_t index)
    {
        auto args = Microsoft::WRL::Make<internal::WinRTVectorChangedEventArgs>(change, index);
        if (!args)
            return E_OUTOFMEMORY;
        const auto handlers = m_handlers;  // a view's handler unregisters itself
        for (const auto& entry : handlers)
            entry.second->Invoke(this, args.Get());
        return S_OK;
    }

    std::vector<T> m_items;
    std::map<std::int64_t, Handler*> m_handlers;  // not counted: views unregister themselves
    std::int64_t m_next_token = 0;
};

} // namespace devio
