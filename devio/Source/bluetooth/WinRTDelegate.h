// Event handlers handed to the Windows Runtime: agile objects calling a function (which holds
// its owner weakly) and never letting an exception reach the platform.
#pragma once

#include <winrt_foundation.h>
#include <wrl.h>

#include <functional>
#include <exception>

namespace devio {

template <class Sender, class Args>
class Delegate
    : public Microsoft::WRL::RuntimeClass<ABI::Windows::Foundation::ITypedEventHandler<Sender, Args>,
                                          Microsoft::WRL::FtmBase> {
public:
    explicit Delegate(std::function<void(Sender, Args)> call) : m_call(std::move(call)) {}
    HRESULT Invoke(Sender sender, Args args) override
    {
        try {
            if (m_call)
                m_call(sender, args);
        } catch (...) {
            // The event is lost; the platform must not see the exception.
        }
        return S_OK;
    }

private:
    std::function<void(Sender, Args)> m_call;
};

template <class Sender, class Args>
Microsoft::WRL::ComPtr<ABI::Windows::Foundation::ITypedEventHandler<Sender, Args>>
make_delegate(std::function<void(Sender, Args)> call)
{
    Microsoft::WRL::ComPtr<ABI::Windows::Foundation::ITypedEventHandler<Sender, Args>> out;
    Microsoft::WRL::Make<Delegate<Sender, Args>>(std::move(call)).CopyTo(out.GetAddressOf());
    return out;
}

} // namespace devio
