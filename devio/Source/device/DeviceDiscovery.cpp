// Feature discovery of devio::Device.
#include "device/Device.h"
#include "device/DeviceRequestChain.h"

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

// ---------------------------------------------------------------- discovery

std::shared_ptr<IFeature> Device::add_feature(std::uint32_t index, std::uint32_t featureId, std::shared_ptr<IFeature> feature)
{
    std::lock_guard<std::mutex> lock(m_feature_mutex);
    auto it = m_features_by_index.find(index);
    if (it != m_features_by_index.end())
        return it->second;
    m_features_by_index[index] = feature;
    m_features_by_id[featureId] = feature;
    m_all_features_known = m_features_by_index.size() == m_feature_count;
    return feature;
}
std::shared_ptr<IRequest> Device::load_feature_root()
{
    auto self = shared_from_this();
    const std::uint32_t protocol = m_protocol;
    if (protocol == 1)
        return make_immediate_result(22, nullptr, 0);
    if (protocol == 2) {
        if (m_discovery_incomplete.exchange(false))
            return finish_discovery();
        return make_immediate_success();
    }
    std::weak_ptr<Device> weak = self;
    auto feature = make_feature(0x0000, 0, std::weak_ptr<IDevice>(self));
    if (!feature)
        return make_immediate_result(1, "cannot create root feature", 0);
    auto root = std::dynamic_pointer_cast<IFeature0000Root>(feature);
    if (!root)
        return make_immediate_result(1, "load_feature_root cannot cast root feature", 0);
    return root->TargetSw()->then(
        weak,
        on_device<IRequest, IFeature0000Root::TargetSwResponse*>(weak, [weak, feature](const std::shared_ptr<Device>& device, IFeature0000Root::TargetSwResponse* reply) -> std::shared_ptr<IRequest> {
            if (!reply) {
                if (last_error().code == 9) {
                    device->m_protocol = 1;
                    return make_immediate_result(22, nullptr, 0);
                }
                return make_immediate_failure_from_error();
            }
            device->m_protocol = 2;
            device->add_feature(0, 0, feature);
            device->m_retry_pending = true;
            return device->finish_discovery();
        }),
        "process TargetSw results (TSL1 vs TSL2), then load fwinfo");
}

std::shared_ptr<IRequest> Device::finish_discovery()
{
    std::weak_ptr<Device> weak = shared_from_this();
    return load_fwinfo()->then(
        weak,
        on_device<IRequest, bool>(weak, [weak](const std::shared_ptr<Device>& device, bool ok) -> std::shared_ptr<IRequest> {
            if (!ok) {
                device->m_discovery_incomplete = true;
                return make_immediate_success();
            }
            if (device->getTransport() != TransportReceiver)
                return make_immediate_success();
            return device->get_feature_as<IFeature1D4BWirelessStatus>()->then(
                weak,
                on_device<IRequest, std::shared_ptr<IFeature1D4BWirelessStatus>*>(weak, [weak](const std::shared_ptr<Device>& device, std::shared_ptr<IFeature1D4BWirelessStatus>* feature) -> std::shared_ptr<IRequest> {
                    if (feature && *feature) {
                        device->Subscriber<IFeature1D4BWirelessStatus::Report>::subscribe(*feature, 0, "");
                    } else if (last_error().code != 30) {
                        device->m_discovery_incomplete = true;
                    }
                    return make_immediate_success();
                }),
                "");
        }),
        "");
}

std::shared_ptr<IRequest> Device::load_fwinfo()
{
    std::weak_ptr<Device> weak = shared_from_this();
    return get_feature_as<IFeature0003FirmwareInfo>("get IFeature0003FirmwareInfo")
        ->then(
            weak,
            on_device<IRequest, std::shared_ptr<IFeature0003FirmwareInfo>*>(weak, [weak](const std::shared_ptr<Device>& device, std::shared_ptr<IFeature0003FirmwareInfo>* feature) -> std::shared_ptr<IRequest> {
                bool first;
                {
                    std::lock_guard<std::mutex> lock(device->m_firmware_mutex);
                    first = device->m_firmware_text.empty();
                }
                if (!feature || !*feature) {
                    if (first)
                        return make_immediate_failure_from_error();
                    device->m_firmware_check_needed = true;
                    return make_immediate_success();
                }
                return (*feature)->GetFwInfoString()->then(
                    weak,
                    on_device<IRequest, IFeature0003FirmwareInfo::GetFwInfoStringResponse*>(weak, [weak, first](const std::shared_ptr<Device>& device, IFeature0003FirmwareInfo::GetFwInfoStringResponse* reply) -> std::shared_ptr<IRequest> {
                        if (!reply) {
                            if (first)
                                return make_immediate_failure_from_error();
                            device->m_firmware_check_needed = true;
                            return make_immediate_success();
                        }
                        {
                            std::lock_guard<std::mutex> lock(device->m_firmware_mutex);
                            device->m_firmware_values = {reply->featureIndex, reply->featureVersion, reply->entity};
                            if (first) {
                                device->m_firmware_text = reply->text;
                                return make_immediate_success();
                            }
                        }
                        device->m_firmware_check_needed = true;
                        if (!device->attach())
                            return make_immediate_success();
                        return device->send({}, 0, {}, nullptr, 0)
                            ->then(
                                weak,
                                [](std::shared_ptr<IDeviceRequest>) -> std::shared_ptr<IRequest> {
                                    return make_immediate_success();
                                },
                                "ignore fwcheck flush data");
                    }),
                    "");
            }),
            "get IFeature0003FirmwareInfo");
}

std::shared_ptr<IDataRequest<FeaturePtr>> Device::getFeature(std::uint32_t featureId)
{
    {
        std::lock_guard<std::mutex> lock(m_feature_mutex);
        auto it = m_features_by_id.find(featureId);
        if (it != m_features_by_id.end()) {
            if (it->second)
                return make_data_success(it->second);
            return fail_data<FeaturePtr>(30);
        }
        if (m_all_features_known)
            return fail_data<FeaturePtr>(30);
    }
    return lookup_feature_by_id(featureId);
}

std::shared_ptr<IDataRequest<FeaturePtr>> Device::lookup_feature_by_id(std::uint32_t featureId)
{
    std::weak_ptr<Device> weak = shared_from_this();
    return DataRequest<FeaturePtr, IRequest, bool>::create(
        load_feature_root(), weak,
        on_device<IDataRequest<FeaturePtr>, bool>(weak, [weak, featureId](const std::shared_ptr<Device>& device, bool ok) -> std::shared_ptr<IDataRequest<FeaturePtr>> {
            if (!ok)
                return make_data_failure_from_error<FeaturePtr>();
            {
                std::lock_guard<std::mutex> lock(device->m_feature_mutex);
                auto it = device->m_features_by_id.find(featureId);
                if (it != device->m_features_by_id.end() && it->second)
                    return make_data_success(it->second);
            }
            if (featureId == 0)
                return fail_data<FeaturePtr>(30);
            auto root = std::dynamic_pointer_cast<IFeature0000Root>(device->feature_at(0));
            if (!root)
                return fail_data<FeaturePtr>(30);
            return DataRequest<FeaturePtr, IDataRequest<IFeature0000Root::GetFeatureResponse>,
                               IFeature0000Root::GetFeatureResponse*>::
                create(
                    root->GetFeature(featureId, 1), weak,
                    on_device<IDataRequest<FeaturePtr>, IFeature0000Root::GetFeatureResponse*>(weak, [weak, featureId](const std::shared_ptr<Device>& device, IFeature0000Root::GetFeatureResponse* reply) -> std::shared_ptr<IDataRequest<FeaturePtr>> {
                        if (!reply)
                            return make_data_failure_from_error<FeaturePtr>();
                        if (reply->feature_index == 0) {
                            std::lock_guard<std::mutex> lock(device->m_feature_mutex);
                            device->m_features_by_id[featureId] = nullptr;
                            return fail_data<FeaturePtr>(30);
                        }
                        auto feature = make_feature(featureId, static_cast<std::uint8_t>(reply->feature_index),
                                                    std::weak_ptr<IDevice>(device));
                        if (auto concrete = std::dynamic_pointer_cast<Feature>(feature))
                            concrete->set_discovered(reply->type_bit7, reply->type_bit6, reply->type_bit5,
                                                     reply->feature_version);
                        return make_data_success(device->add_feature(reply->feature_index, featureId, feature));
                    }),
                    "use index of feature-by-id to create feature");
        }),
        "use feature 0 to get index of feature by id");
}

std::shared_ptr<IDataRequest<FeaturePtr>> Device::getFeatureByIndex(std::uint32_t index)
{
    {
        std::lock_guard<std::mutex> lock(m_feature_mutex);
        auto it = m_features_by_index.find(index);
        if (it != m_features_by_index.end())
            return make_data_success(it->second);
        if (m_all_features_known)
            return fail_data<FeaturePtr>(30);
    }
    return lookup_feature_by_index(index);
}

std::shared_ptr<IDataRequest<FeaturePtr>> Device::lookup_feature_by_index(std::uint32_t index)
{
    std::weak_ptr<Device> weak = shared_from_this();
    return DataRequest<FeaturePtr, IDataRequest<std::uint32_t>, std::uint32_t*>::create(
        getFeatureCount(), weak,
        on_device<IDataRequest<FeaturePtr>, std::uint32_t*>(weak, [weak, index](const std::shared_ptr<Device>& device, std::uint32_t* count) -> std::shared_ptr<IDataRequest<FeaturePtr>> {
            if (!count)
                return make_data_failure_from_error<FeaturePtr>();
            std::shared_ptr<IFeature0001FeatureSet> featureSet;
            {
                std::lock_guard<std::mutex> lock(device->m_feature_mutex);
                if (index >= device->m_feature_count)
                    return fail_data<FeaturePtr>(30);
                auto it = device->m_features_by_index.find(index);
                if (it != device->m_features_by_index.end())
                    return make_data_success(it->second);
                auto fs = device->m_features_by_id.find(0x0001);
                if (fs != device->m_features_by_id.end())
                    featureSet = std::dynamic_pointer_cast<IFeature0001FeatureSet>(fs->second);
            }
            if (!featureSet)
                return fail_data<FeaturePtr>(1);
            return DataRequest<FeaturePtr, IDataRequest<IFeature0001FeatureSet::GetFeatureIdResponse>,
                               IFeature0001FeatureSet::GetFeatureIdResponse*>::
                create(
                    featureSet->GetFeatureId(index), weak,
                    on_device<IDataRequest<FeaturePtr>, IFeature0001FeatureSet::GetFeatureIdResponse*>(weak, [weak, index](const std::shared_ptr<Device>& device, IFeature0001FeatureSet::GetFeatureIdResponse* reply) -> std::shared_ptr<IDataRequest<FeaturePtr>> {
                        if (!reply)
                            return make_data_failure_from_error<FeaturePtr>();
                        auto feature = make_feature(reply->feature_id, static_cast<std::uint8_t>(index),
                                                    std::weak_ptr<IDevice>(device));
                        if (auto concrete = std::dynamic_pointer_cast<Feature>(feature))
                            concrete->set_discovered(reply->type_bit7, reply->type_bit6, reply->type_bit5,
                                                     reply->feature_version);
                        return make_data_success(device->add_feature(index, reply->feature_id, feature));
                    }),
                    "after getting desired feature, save it");
        }),
        "after verifying feature count, see if desired feature is in range and get it");
}

std::shared_ptr<IDataRequest<std::uint32_t>> Device::getFeatureCount()
{
    std::weak_ptr<Device> weak = shared_from_this();
    using FeatureSetPtr = std::shared_ptr<IFeature0001FeatureSet>;
    return DataRequest<std::uint32_t, IDataRequest<FeatureSetPtr>, FeatureSetPtr*>::create(
        get_feature_as<IFeature0001FeatureSet>(), weak,
        [weak](FeatureSetPtr* featureSet) -> std::shared_ptr<IDataRequest<std::uint32_t>> {
            if (!featureSet || !*featureSet)
                return make_data_failure_from_error<std::uint32_t>();
            return DataRequest<std::uint32_t, IDataRequest<IFeature0001FeatureSet::GetCountResponse>,
                               IFeature0001FeatureSet::GetCountResponse*>::
                create(
                    (*featureSet)->GetCount(), weak,
                    [weak](IFeature0001FeatureSet::GetCountResponse* reply)
                        -> std::shared_ptr<IDataRequest<std::uint32_t>> {
                        if (!reply)
                            return make_data_failure_from_error<std::uint32_t>();
                        auto device = weak.lock();
                        if (!device)
                            return make_data_failure<std::uint32_t>(28, nullptr, 0);
                        std::lock_guard<std::mutex> lock(device->m_feature_mutex);
                        device->m_feature_count = reply->count + 1;
                        device->m_all_features_known = device->m_features_by_index.size() == device->m_feature_count;
                        return make_data_success<std::uint32_t>(reply->count + 1);
                    },
                    "after getting feature count response, save it");
        },
        "after getting IFeature0001FeatureSet, use it to get feature count");
}

std::shared_ptr<IFeature> Device::getFeatureSync(std::uint32_t featureId)
{
    FeaturePtr feature;
    if (!getFeature(featureId)->get(feature))
        return nullptr;
    return feature;
}

std::shared_ptr<IFeature> Device::getFeatureByIndexSync(std::uint32_t index)
{
    FeaturePtr feature;
    if (!getFeatureByIndex(index)->get(feature))
        return nullptr;
    return feature;
}

std::uint32_t Device::getFeatureCountSync()
{
    std::uint32_t count = 0;
    if (!getFeatureCount()->get(count))
        return 0;
    return count;
}

std::vector<FeaturePtr> Device::discoverFeatures()
{
    bool known;
    {
        std::lock_guard<std::mutex> lock(m_feature_mutex);
        known = m_all_features_known;
    }
    if (!known) {
        const std::uint32_t count = getFeatureCountSync();
        if (count == 0)
            return {};
        for (std::uint32_t index = 2; index < count; ++index)
            if (!getFeatureByIndexSync(index))
                return {};
    }
    return getFeatures();
}

std::vector<FeaturePtr> Device::getFeatures()
{
    std::vector<FeaturePtr> features;
    std::lock_guard<std::mutex> lock(m_feature_mutex);
    for (const auto& entry : m_features_by_index)
        features.push_back(entry.second);
    return features;
}

} // namespace devio
