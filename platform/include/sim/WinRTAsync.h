// Asynchronous operations of the stand-in Windows Runtime. Every operation completes exactly
// once, on a runtime thread; a handler set after completion is called inside put_Completed.
#pragma once

#include <sim/WinRT.h>
#include <winrt_foundation.h>
#include <wrl.h>

#include <mutex>
#include <type_traits>

namespace platform::sim {

template <class R>
class AsyncOperation
    : public Microsoft::WRL::RuntimeClass<ABI::Windows::Foundation::IAsyncOperation<R>,
                                          ABI::Windows::Foundation::IAsyncInfo, Microsoft::WRL::FtmBase> {
public:
    using Handler = ABI::Windows::Foundation::IAsyncOperationCompletedHandler<R>;
    using Status = ABI::Windows::Foundation::AsyncStatus;
    static constexpr bool holds_interface = std::is_pointer_v<R>;
    using Stored = std::conditional_t<holds_interface, Microsoft::WRL::ComPtr<std::remove_pointer_t<R>>, R>;

    // An operation finished at once or later through `complete`/`fail`/`cancel`.
    static Microsoft::WRL::ComPtr<AsyncOperation> make() { return Microsoft::WRL::Make<AsyncOperation>(); }
    // One that completes on a runtime thread with `value`.
    static Microsoft::WRL::ComPtr<AsyncOperation> completing(Stored value)
    {
        auto op = make();
        Microsoft::WRL::ComPtr<AsyncOperation> keep = op;
        run_on_runtime_thread([keep, value]() mutable { keep->complete(std::move(value)); });
        return op;
    }
    static Microsoft::WRL::ComPtr<AsyncOperation> failing(HRESULT error)
    {
        auto op = make();
        Microsoft::WRL::ComPtr<AsyncOperation> keep = op;
        run_on_runtime_thread([keep, error] { keep->fail(error); });
        return op;
    }

    // The first of these wins; later ones change nothing. They call the handler on this thread.
    void complete(Stored value) { finish(ABI::Windows::Foundation::Completed, S_OK, std::move(value)); }
    void fail(HRESULT error) { finish(ABI::Windows::Foundation::Error, error, Stored{}); }
    // GetResults of a completed operation answers `error`.
    void set_results_error(HRESULT error)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_results_error = error;
    }

    HRESULT put_Completed(Handler* handler) override
    {
        if (!handler)
            return E_POINTER;
        Microsoft::WRL::ComPtr<Handler> call;
        Status status;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_handler_set)
                return E_ILLEGAL_METHOD_CALL;
            m_handler_set = true;
            status = m_status;
            if (status == ABI::Windows::Foundation::Started)
                m_handler = handler;
            else
                call = handler;
        }
        if (call)
            call->Invoke(this, status);
        return S_OK;
    }
    HRESULT get_Completed(Handler** handler) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_handler.CopyTo(handler);
    }
    HRESULT GetResults(R* results) override
    {
        if (!results)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_status != ABI::Windows::Foundation::Completed)
            return E_ILLEGAL_METHOD_CALL;
        if (FAILED(m_results_error))
            return m_results_error;
        if constexpr (holds_interface)
            return m_value.CopyTo(results);
        else
            *results = m_value;
        return S_OK;
    }

    HRESULT get_Id(std::uint32_t* id) override
    {
        *id = 1;
        return S_OK;
    }
    HRESULT get_Status(Status* status) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        *status = m_status;
        return S_OK;
    }
    HRESULT get_ErrorCode(HRESULT* code) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        *code = m_error;
        return S_OK;
    }
    HRESULT Cancel() override
    {
        finish(ABI::Windows::Foundation::Canceled, S_OK, Stored{});
        return S_OK;
    }
    HRESULT Close() override { return S_OK; }

private:
    void finish(Status status, HRESULT error, Stored value)
    {
        Microsoft::WRL::ComPtr<Handler> call;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_status != ABI::Windows::Foundation::Started)
                return;
            m_status = status;
            m_error = error;
            m_value = std::move(value);
            call = std::move(m_handler);
        }
        // Keep this operation alive through the call: the handler may drop the last reference.
        Microsoft::WRL::ComPtr<AsyncOperation> self(this);
        if (call)
            call->Invoke(this, status);
    }

    std::mutex m_mutex;
    Status m_status = ABI::Windows::Foundation::Started;
    HRESULT m_error = S_OK;
    HRESULT m_results_error = S_OK;
    Stored m_value{};
    bool m_handler_set = false;
    Microsoft::WRL::ComPtr<Handler> m_handler;
};

} // namespace platform::sim
