// Internal: the stand-in runtime's GATT classes and the completion of its operations.
#pragma once

#include "WinRTSupport.h"

#include <sim/Gatt.h>

namespace platform::detail {

HRESULT runtime_results_failure();
int runtime_service_access();

// An operation that completes on a runtime thread, or fails its results when asked to.
template <class R, class V>
HRESULT complete_later(V value, ABI::Windows::Foundation::IAsyncOperation<R>** out)
{
    if (!out)
        return E_POINTER;
    auto op = sim::AsyncOperation<R>::make();
    if (const HRESULT failure = runtime_results_failure())
        op->set_results_error(failure);
    ComPtr<sim::AsyncOperation<R>> keep = op;
    sim::run_on_runtime_thread([keep, value]() mutable { keep->complete(std::move(value)); });
    return op.CopyTo(out);
}

// The services of a GATT server; cached ones are known without the link.
ComPtr<ABI::Windows::Devices::Bluetooth::GenericAttributeProfile::IGattDeviceServicesResult> services_result(
    const std::shared_ptr<sim::GattServer>& server, ABI::Windows::Devices::Bluetooth::BluetoothCacheMode mode);

}  // namespace platform::detail
