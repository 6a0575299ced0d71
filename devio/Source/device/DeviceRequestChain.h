// Steps of the request chains the files of devio::Device build; not part of its interface.
#pragma once

#include "device/Device.h"

#include "core/ErrorRecord.h"
#include "core/Timing.h"
#include "device/IReceiverLink.h"
#include "features/Feature.h"
#include "features/FeatureRegistry.h"
#include "features/IFeature0000Root.h"
#include "features/IFeature0001FeatureSet.h"
#include "features/IFeature0003FirmwareInfo.h"
#include "features/IFeature0020ConfigChange.h"

#include <algorithm>
#include <chrono>

namespace devio {

// Named, not anonymous: the member template below uses these from more than one file.
namespace device_chain {

using FeaturePtr = std::shared_ptr<IFeature>;

template <class T>
std::shared_ptr<IDataRequest<T>> fail_data(ErrorCode code, const char* text = nullptr)
{
    return make_data_failure<T>(code, text, 0);
}

// What a step of a chain answers when the device went away while the chain waited.
template <class R>
struct DeviceGone;
template <>
struct DeviceGone<IRequest> {
    static std::shared_ptr<IRequest> result() { return make_immediate_result(28, nullptr, 0); }
};
template <class T>
struct DeviceGone<IDataRequest<T>> {
    static std::shared_ptr<IDataRequest<T>> result() { return make_data_failure<T>(28, nullptr, 0); }
};

// A step of a request chain that runs with the device held, or ends the chain with 28.
template <class R, class Arg, class Step>
std::function<std::shared_ptr<R>(Arg)> on_device(std::weak_ptr<Device> weak, Step step)
{
    return [weak = std::move(weak), step = std::move(step)](Arg arg) -> std::shared_ptr<R> {
        auto device = weak.lock();
        if (!device)
            return DeviceGone<R>::result();
        return step(device, std::move(arg));
    };
}

} // namespace device_chain

using namespace device_chain;

template <class T>
std::shared_ptr<IDataRequest<std::shared_ptr<T>>> Device::get_feature_as(const char*)
{
    std::weak_ptr<Device> weak = shared_from_this();
    return DataRequest<std::shared_ptr<T>, IDataRequest<FeaturePtr>, FeaturePtr*>::create(
        getFeature(T::FeatureId), weak,
        [](FeaturePtr* feature) -> std::shared_ptr<IDataRequest<std::shared_ptr<T>>> {
            if (!feature)
                return make_data_failure_from_error<std::shared_ptr<T>>();
            auto typed = std::dynamic_pointer_cast<T>(*feature);
            if (!typed)
                return fail_data<std::shared_ptr<T>>(1, "cannot cast feature to proper type");
            return make_data_success(typed);
        },
        "cast feature-by-id to specific feature class");
}

} // namespace devio
