// Waits for a Windows Runtime asynchronous operation through a std::future: a completion handler
// fulfils the promise with the result, or with DevioException "oops" when the operation did not
// complete or its result cannot be fetched.
#pragma once

#include "core/ErrorRecord.h"

#include <winrt_foundation.h>
#include <wrl.h>

#include <future>
#include <memory>
#include <type_traits>

namespace devio {

// What the future carries for an operation whose ABI result is R.
template <class R>
using FutureValue = std::conditional_t<std::is_pointer_v<R>, Microsoft::WRL::ComPtr<std::remove_pointer_t<R>>, R>;

namespace internal {

template <class R>
class CompletionHandler
    : public Microsoft::WRL::RuntimeClass<ABI::Windows::Foundation::IAsyncOperationCompletedHandler<R>,
                                          Microsoft::WRL::FtmBase> {
public:
    using Promise = std::shared_ptr<std::promise<FutureValue<R>>>;
    CompletionHandler(Microsoft::WRL::ComPtr<ABI::Windows::Foundation::IAsyncOperation<R>> operation, Promise promise)
        : m_operation(std::move(operation)), m_promise(std::move(promise))
    {
    }

    HRESULT Invoke(ABI::Windows::Foundation::IAsyncOperation<R>*, ABI::Windows::Foundation::AsyncStatus status) override
    {
        try {
            if (status == ABI::Windows::Foundation::Completed) {
                FutureValue<R> value{};
                HRESULT hr;
                if constexpr (std::is_pointer_v<R>)
                    hr = m_operation->GetResults(value.ReleaseAndGetAddressOf());
                else
                    hr = m_operation->GetResults(&value);
                // A result that cannot be fetched must not pass for a value (0 is a success status).
                if (FAILED(hr))
                    m_promise->set_exception(
                        std::make_exception_ptr(DevioException("oops", 1, static_cast<std::uint32_t>(hr))));
                else
                    m_promise->set_value(std::move(value));
            } else {
                m_promise->set_exception(std::make_exception_ptr(DevioException("oops", 1, 0)));
            }
        } catch (const std::future_error&) {
            // Called a second time: the first answer stands.
        }
        // The operation holds this handler: break the cycle.
        m_operation.Reset();
        return S_OK;
    }

private:
    Microsoft::WRL::ComPtr<ABI::Windows::Foundation::IAsyncOperation<R>> m_operation;
    Promise m_promise;
};

} // namespace internal

// Takes over the caller's reference to `operation`.
template <class R>
std::future<FutureValue<R>> toFuture(Microsoft::WRL::ComPtr<ABI::Windows::Foundation::IAsyncOperation<R>> operation)
{
    auto promise = std::make_shared<std::promise<FutureValue<R>>>();
    std::future<FutureValue<R>> future = promise->get_future();
    if (!operation) {
        promise->set_exception(std::make_exception_ptr(DevioException("oops", 1, 0)));
        return future;
    }
    {
        auto handler = Microsoft::WRL::Make<internal::CompletionHandler<R>>(operation, promise);
        if (!handler || FAILED(operation->put_Completed(handler.Get()))) {
            // No handler will ever run: answer now rather than leave the waiter hanging.
            try {
                promise->set_exception(std::make_exception_ptr(DevioException("oops", 1, 0)));
            } catch (const std::future_error&) {
            }
        }
    }
    operation.Reset();
    return future;
}

// Starts nothing: waits for an operation already made by a runtime call and returns its result.
template <class R>
FutureValue<R> await(Microsoft::WRL::ComPtr<ABI::Windows::Foundation::IAsyncOperation<R>> operation)
{
    std::future<FutureValue<R>> future = toFuture<R>(std::move(operation));
    try {
        return future.get();
    } catch (const DevioException& e) {
        // The stored exception is shared with the runtime's thread, which may let go of it last:
        // the caller gets a copy of its own, made while this future still holds the original.
        throw DevioException(e.text(), e.code(), e.platformError());
    }
}

} // namespace devio
