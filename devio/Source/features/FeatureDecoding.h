#pragma once
#include "core/DataRequest.h"
#include "core/DeviceRequest.h"
#include "features/Feature.h"

#include <functional>
#include <memory>

namespace devio {

// Typed result of a device request: `decode` gets the payload zero-filled to `size` bytes.
// A failed device request gives a failure carrying the last error its check left.
template <class R>
std::shared_ptr<IDataRequest<R>> decode_request(std::shared_ptr<IDeviceRequest> request, std::size_t size,
                                                std::function<R(const std::vector<Byte>&)> decode,
                                                const char* label)
{
    std::shared_ptr<IDeviceRequest> self = request->self();
    std::weak_ptr<IDeviceRequest> owner = self;
    return DataRequest<R, IDeviceRequest, std::shared_ptr<IDeviceRequest>>::create(
        self, owner,
        [decode = std::move(decode), size](std::shared_ptr<IDeviceRequest> done) -> std::shared_ptr<IDataRequest<R>> {
            if (!done->check_response())
                return make_data_failure_from_error<R>();
            return make_data_success<R>(decode(padded(done->payload(), size)));
        },
        label);
}

} // namespace devio
